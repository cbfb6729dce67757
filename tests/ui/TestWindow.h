#pragma once

#include "DiskTarget.h"
#include "FakeCommPort.h"
#include "FakeFileDialog.h"
#include "ManualTimer.h"
#include "MemorySettingsStore.h"
#include "SimStream.h"
#include "TestFiles.h"
#include "WindowParts.h"
#include "frmGAbackup.h"

#include <QStringList>
#include <QTemporaryDir>

// The real window with fakes for the port, the timers and the file dialog,
// and its modal boxes recorded instead of shown.
class TestWindow : public frmGAbackup
{
  public:
    struct Fakes
    {
        FakeCommPort *port;
        ManualTimer *timer1;
        ManualTimer *timer2;
        FakeFileDialog *dialog;
        ManualTimer *statusFrame;
    };

    // adjust may replace parts before the window takes them (the desktop
    // session's buses, which are otherwise none).
    TestWindow(SettingsStore &store, ManualClock &clock, Fakes &fakes,
               QStringList dataDirs = {QStringLiteral(ZO_SOURCE_DATA_DIR)},
               const std::function<void(Parts &)> &adjust = {})
        : frmGAbackup(store, makeParts(clock, fakes, std::move(dataDirs), adjust))
    {
    }

    void showMessageBox(const QString &text, const QString &details) override
    {
        messages.append(text);
        this->details.append(details);
    }

    QStringList messages;
    QStringList details; // each box's, empty where it had none
    QStringList abouts;
    bool answerStop = false;
    int stopQuestions = 0;
    bool realStopQuestion = false; // show the window's own box instead

  protected:
    bool confirmStopTransfer() override
    {
        ++stopQuestions;
        if (realStopQuestion)
            return frmGAbackup::confirmStopTransfer();
        return answerStop;
    }
    void showAbout(const QString &title, const QString &text) override { abouts << title << text; }

  private:
    static Parts makeParts(ManualClock &clock, Fakes &fakes, QStringList dataDirs,
                           const std::function<void(Parts &)> &adjust)
    {
        Parts parts;
        auto port = std::make_unique<FakeCommPort>(clock);
        auto timer1 = std::make_unique<ManualTimer>(clock);
        auto timer2 = std::make_unique<ManualTimer>(clock);
        auto dialog = std::make_unique<FakeFileDialog>();
        auto statusFrame = std::make_unique<ManualTimer>(clock);
        fakes = {port.get(), timer1.get(), timer2.get(), dialog.get(), statusFrame.get()};
        parts.port = std::move(port);
        parts.timer1 = std::move(timer1);
        parts.timer2 = std::move(timer2);
        parts.statusFrame = std::move(statusFrame);
        parts.dialog = std::move(dialog);
        parts.dataDirs = std::move(dataDirs);
        // Read and saved on the test's thread, as the fake clock runs
        // everything else.
        parts.source = std::make_unique<FileSource>();
        parts.target = std::make_unique<DiskTarget>();
        withoutDesktopSession(parts);
        if (adjust)
            adjust(parts);
        return parts;
    }
};

// What a window under test needs besides itself: a folder, a store, the
// clock and the fakes it answers through.
struct WindowHarness
{
    // A desk's backup: header, data, the end mark seven bytes before the end.
    static QByteArray dump(int data = 1000) { return SimStream::generate(13 + data + 7); }

    QTemporaryDir dir;
    MemorySettingsStore store;
    ManualClock clock;
    TestWindow::Fakes fakes{};
};
