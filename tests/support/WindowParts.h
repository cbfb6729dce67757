#pragma once

#include "FakeFileDialog.h"
#include "MemorySettingsStore.h"
#include "TestFiles.h"
#include "frmGAbackup.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>

// No session or system bus for the window under test: nothing reaches the
// machine's logind or notification daemon.
inline void withoutDesktopSession(frmGAbackup::Parts &parts)
{
    const QDBusConnection none(QStringLiteral("zo-vovere-tests-no-bus"));
    parts.inhibitor = std::make_unique<SleepInhibitor>(none);
    parts.notifier = std::make_unique<DesktopNotifier>(none);
}

// Parts for the real window whose only fake is the file dialog; dialog is set
// to the fake so that the caller can answer it. Header-only: for the targets
// that link the window.
inline frmGAbackup::Parts partsWithFakeDialog(FakeFileDialog *&dialog, QStringList dataDirs = {})
{
    frmGAbackup::Parts parts;
    auto fake = std::make_unique<FakeFileDialog>();
    dialog = fake.get();
    parts.dialog = std::move(fake);
    parts.dataDirs = std::move(dataDirs);
    withoutDesktopSession(parts);
    return parts;
}

// The real window with its boxes recorded instead of shown; everything else
// real but the file dialog, which answers as the test says.
class RecordingWindow : public frmGAbackup
{
  public:
    RecordingWindow(SettingsStore &store, FakeFileDialog *&dialog, QStringList dataDirs)
        : frmGAbackup(store, partsWithFakeDialog(dialog, std::move(dataDirs)))
    {
    }
    void showMessageBox(const QString &text, const QString &) override { messages.append(text); }
    // The port opens once the chosen file has, on the file thread: a turn or
    // more of the event loop after the click.
    bool portOpens()
    {
        return QTest::qWaitFor([this] { return Comm1().PortOpen(); }, 5000);
    }
    QStringList messages;
};

// A recording window in a folder of its own, for the tests that drive the
// real program's window end to end: made by SetUp from the data folder.
class RecordingWindowTest : public ::testing::Test
{
  protected:
    void makeWindow(const QString &dataDir)
    {
        window = std::make_unique<RecordingWindow>(store, dialog, QStringList{dataDir});
        window->show();
    }
    QString status() const { return window->sbrPanel->text(); }
    bool waitForStatus(const QString &text,
                       std::chrono::milliseconds limit = std::chrono::seconds(15))
    {
        return QTest::qWaitFor([&] { return status() == text; }, int(limit.count()));
    }
    QString write(const QString &name, const QByteArray &content)
    {
        return TestFiles::write(dir.filePath(name), content);
    }
    static QByteArray read(const QString &path) { return TestFiles::read(path); }

    QTemporaryDir dir;
    MemorySettingsStore store;
    FakeFileDialog *dialog = nullptr;
    std::unique_ptr<RecordingWindow> window;
};
