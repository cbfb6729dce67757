#pragma once

#include "QtPrinters.h"
#include "TransferWindow.h"

#include <QStringList>

#include <map>

// Records what the engine does to the window.
class FakeWindow final : public TransferWindow
{
  public:
    void SbrMessage(const QString &text) override
    {
        status = text;
        statusHistory.append(text);
    }
    void showCount(Direction, qint64 bytes, const QString &text) override
    {
        SbrMessage(text);
        counts.append(bytes);
    }
    void transferStarted(Direction direction) override
    {
        transfers.append(direction == Direction::Send ? "started send" : "started receive");
    }
    void transferEnded(Ending ending, const QString &words) override
    {
        static const char *const names[] = {"sent", "saved", "failed", "canceled",
                                            "port unavailable"};
        transfers.append(QStringLiteral("ended %1: %2").arg(names[int(ending)], words));
    }
    void setControlEnabled(Control control, bool enabled) override
    {
        this->enabled[control] = enabled;
        stateChanges.append(QStringLiteral("%1=%2").arg(int(control)).arg(enabled));
    }
    void setCancelVisible(bool visible) override
    {
        cancelVisible = visible;
        stateChanges.append(QStringLiteral("cancel=%1").arg(visible));
    }
    bool option1Selected() const override { return option1; }
    void setProgressMax(float max) override { progressMaxValue = max; }
    float progressMax() const override { return progressMaxValue; }
    void setProgressValue(float value) override { progressValueValue = value; }
    float progressValue() const override { return progressValueValue; }
    void setProgressVisible(bool visible) override { progressVisible = visible; }
    bool openAnimation(const QString &path) override
    {
        animationOpenedFrom = path;
        animationOpen = animationReadable;
        return animationReadable;
    }
    void closeAnimation() override { animationOpen = false; }
    void detailedMessageBox(const QString &text, const QString &more) override
    {
        details.append(more);
        messageBox(text);
    }
    void messageBox(const QString &text) override
    {
        messages.append(text);
        if (!status.isEmpty())
            statusBehindBoxes.append(status);
        if (onMessage)
            onMessage();
    }

    // True when every control of the busy/idle table is in its idle state.
    bool idle() const
    {
        for (const auto &[control, on] : enabled) {
            if (!on)
                return false;
        }
        return !cancelVisible;
    }
    bool busy() const
    {
        for (const auto &[control, on] : enabled) {
            if (on)
                return false;
        }
        return cancelVisible && enabled.size() == 7;
    }

    QString status;
    QStringList statusHistory;
    QList<qint64> counts; // the numbers of the counts shown
    QStringList messages;
    QStringList details;           // of the boxes that had any
    QStringList statusBehindBoxes; // what the status line said while a box was shown
    QStringList stateChanges;
    QStringList transfers; // "started send", "ended saved: File has been saved."
    std::map<Control, bool> enabled;
    bool cancelVisible = false;
    bool option1 = false;
    float progressMaxValue = 100.0f;
    float progressValueValue = 0.0f;
    bool progressVisible = false;
    bool animationReadable = true;
    bool animationOpen = false;
    QString animationOpenedFrom;
    std::function<void()> onMessage;
};
