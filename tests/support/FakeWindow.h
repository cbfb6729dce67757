#pragma once

#include "QtPrinters.h"
#include "TransferWindow.h"

#include <QStringList>

#include <gtest/gtest.h>

// Records what the engine does to the window.
class FakeWindow final : public TransferWindow
{
  public:
    void SbrMessage(const QString &text) override
    {
        status = text;
        statusHistory.append(text);
    }
    void showCount(Direction, qint64 bytes, const QString &words) override
    {
        SbrMessage(words.arg(bytes));
        counts.append(bytes);
    }
    void transferStarted(Direction direction, qint64 size) override
    {
        transfers.append(direction == Direction::Send ? "started send" : "started receive");
        startedSize = size;
    }
    void transferEnded(Ending ending, const QString &words) override
    {
        static const char *const names[] = {
            "sent", "saved", "failed", "canceled", "port unavailable", "file refused"};
        transfers.append(QStringLiteral("ended %1: %2").arg(names[int(ending)], words));
    }
    void showBusy(bool busy) override
    {
        busyShown = busy;
        stateChanges.append(busy ? "busy" : "idle");
    }
    void showProgress(const Progress &shown) override { progress = shown; }
    void showAnimation(bool playing) override { animationPlays = playing; }
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

    // One message box was shown, holding each of parts.
    ::testing::AssertionResult saidOnce(const QStringList &parts) const
    {
        if (messages.size() != 1)
            return ::testing::AssertionFailure() << "boxes: " << messages.join('|').toStdString();
        for (const QString &part : parts) {
            if (!messages[0].contains(part))
                return ::testing::AssertionFailure()
                       << "no \"" << part.toStdString() << "\" in " << messages[0].toStdString();
        }
        return ::testing::AssertionSuccess();
    }

    bool idle() const { return !busyShown; }
    bool busy() const { return busyShown; }

    QString status;
    QStringList statusHistory;
    QList<qint64> counts; // the numbers of the counts shown
    QStringList messages;
    QStringList details;           // of the boxes that had any
    QStringList statusBehindBoxes; // what the status line said while a box was shown
    QStringList stateChanges;
    QStringList transfers; // "started send", "ended saved: File has been saved."
    bool busyShown = false;
    qint64 startedSize = -1;
    Progress progress;
    bool animationPlays = false;
    std::function<void()> onMessage;
};
