// Transfers from a terminal against the engine's fakes: what is written, the
// exit status of each ending, progress, backups into a folder, the port.
#include "BackgroundTarget.h"
#include "FailingTarget.h"
#include "FakeCommPort.h"
#include "ManualTimer.h"
#include "MemorySettingsStore.h"
#include "Rows.h"
#include "SimStream.h"
#include "StartupSettings.h"
#include "TerminalTransfer.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace std::chrono_literals;
using Direction = TransferWindow::Direction;

namespace {

class TerminalTest : public ::testing::Test
{
  public:
    void make(TerminalTransfer::Output output = {},
              std::unique_ptr<ReceiveTarget> target = std::make_unique<DiskTarget>())
    {
        auto fake = std::make_unique<FakeCommPort>(clock);
        port = fake.get();
        TerminalTransfer::Parts parts;
        parts.port = std::move(fake);
        parts.timer1 = std::make_unique<ManualTimer>(clock);
        parts.timer2 = std::make_unique<ManualTimer>(clock);
        timer2 = parts.timer2.get();
        parts.source = std::make_unique<FileSource>();
        parts.target = std::move(target);
        parts.now = [this] { return start.addMSecs(clock.now().count()); };
        output.status = [this](const QString &text) {
            written += text;
            if (!port->PortOpen())
                writtenWhileClosed += text;
        };
        transfer = std::make_unique<TerminalTransfer>(PortChoice{2, "/dev/ttyS1", {}}, output,
                                                      std::move(parts));
        QObject::connect(transfer.get(), &TerminalTransfer::finished,
                         [this](int code) { status = code; });
    }
    QString path(const QString &name) const { return QDir(dir.path()).filePath(name); }
    std::optional<int> ended()
    {
        QCoreApplication::processEvents();
        return status;
    }
    void sendAll(int size)
    {
        transfer->send(TestFiles::write(path("show.gaf"), QByteArray(size, 'x')));
        // A chunk leaves at the line's pace; the port tells once it is empty.
        for (int chunk = 0; port->PortOpen() && !ended() && chunk < 100; ++chunk) {
            clock.advance(533ms);
            if (!timer2->enabled())
                port->transmitEmpty();
        }
    }
    void receiveDump(const QByteArray &dump)
    {
        port->arrive(dump);
        clock.advance(3000ms);
    }

    QTemporaryDir dir;
    ManualClock clock;
    const QDateTime start{QDate(2026, 12, 8), QTime(21, 14, 3)};
    FakeCommPort *port = nullptr;
    Timer *timer2 = nullptr;
    std::unique_ptr<TerminalTransfer> transfer;
    QString written, writtenWhileClosed;
    std::optional<int> status;
    const QByteArray dump = SimStream::generate(2020);
};

struct Ending
{
    const char *name;
    std::function<void(TerminalTest &)> play;
    int status;
    const char *words;
};

using EndingTest = Rows<TerminalTest, Ending>;

// Every ending says its words and gives its status; the earlier backup is
// kept by all but a saved one.
TEST_P(EndingTest, SaysItsWordsAndGivesItsStatus)
{
    make();
    TestFiles::write(path("show.txt"), "earlier");
    GetParam().play(*this);
    ASSERT_EQ(ended(), GetParam().status) << written.toStdString();
    EXPECT_TRUE(written.contains(GetParam().words)) << written.toStdString();
    // "Waiting" tells the operator to start the desk: only once the line is set.
    EXPECT_FALSE(writtenWhileClosed.contains("Waiting")) << written.toStdString();
    EXPECT_EQ(TestFiles::read(path("show.txt")), GetParam().status ? "earlier" : dump);
    EXPECT_FALSE(port->PortOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Terminal, EndingTest,
    ::testing::Values(
        Ending{"Saved",
               [](TerminalTest &t) {
                   t.transfer->receive(t.path("show.txt"));
                   t.receiveDump(t.dump);
               },
               0, "File has been saved.\n"},
        Ending{"LineError",
               [](TerminalTest &t) {
                   t.transfer->receive(t.path("show.txt"));
                   t.port->raise(1004);
               },
               1, "zo-vovere: framing error on com port, reset and retry"},
        Ending{"PortUnavailable",
               [](TerminalTest &t) {
                   t.port->failOpen = {CommError::Kind::Busy, "/dev/ttyS1", "in use by picocom"};
                   t.transfer->receive(t.path("show.txt"));
               },
               3, "zo-vovere: Cannot open COM2 (/dev/ttyS1) to receive the backup: in use"},
        Ending{"Interrupted",
               [](TerminalTest &t) {
                   t.transfer->receive(t.path("show.txt"));
                   t.port->arrive(t.dump.left(1500));
                   t.transfer->stop(2);
               },
               130, "zo-vovere: Action canceled"},
        Ending{"InterruptedWhileTheHeaderComes",
               [](TerminalTest &t) {
                   t.transfer->receiveInto(t.dir.path());
                   t.port->arrive("GLOW");
                   t.transfer->stop(2);
               },
               130, "zo-vovere: Action canceled"},
        Ending{"MissingFile", [](TerminalTest &t) { t.transfer->send(t.path("none.gaf")); }, 1,
               "zo-vovere: Cannot open"},
        Ending{"UnwritableTarget",
               [](TerminalTest &t) { t.transfer->receive(t.path("no/such/folder.txt")); }, 1,
               "zo-vovere: Cannot save the backup"}),
    rowName);

struct Shown
{
    const char *name;
    bool terminal, quiet;
    const char *expected; // the whole output of a 13000-byte send
};

using ProgressTest = Rows<TerminalTest, Shown>;

// On a terminal one line, rewritten in place at most four times a second;
// into a file or pipe a line every five seconds; quiet, only the outcome.
TEST_P(ProgressTest, IsWrittenAsTheOutputAllows)
{
    make({{}, GetParam().terminal, GetParam().quiet});
    sendAll(13000);
    EXPECT_EQ(ended(), 0);
    EXPECT_EQ(written, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Terminal, ProgressTest,
    ::testing::Values(Shown{"Plain", false, false,
                            "sending file\n"
                            "1024 of 13000 bytes sent (7%)\n"
                            "11264 of 13000 bytes sent (86%), 1.9 kB/s, 0:01 left\n"
                            "13000 of 13000 bytes sent (100%), 1.9 kB/s\n"
                            "file has been sent\n"},
                      Shown{"Quiet", false, true, "file has been sent\n"}),
    rowName);

TEST_F(TerminalTest, ProgressOnATerminalIsOneLineRewrittenInPlace)
{
    make({{}, true, false});
    sendAll(13000);
    const QStringList lines = written.split('\n');
    ASSERT_EQ(lines.size(), 4) << written.toStdString();
    EXPECT_EQ(lines[0], "sending file");
    EXPECT_EQ(lines[1].count('\r'), 13);
    EXPECT_TRUE(lines[1].endsWith("\r13000 of 13000 bytes sent (100%), 1.9 kB/s\x1b[K"));
    EXPECT_EQ(lines[2], "file has been sent");
}

// Backups one after another, each named after the moment it was saved; a
// failed one leaves nothing; stopped while waiting is a success.
TEST_F(TerminalTest, BackupsIntoAFolderUntilStopped)
{
    make();
    transfer->receiveInto(dir.path());
    receiveDump(dump);
    ASSERT_FALSE(ended());
    QCoreApplication::processEvents(); // the next wait
    ASSERT_TRUE(port->PortOpen());
    port->arrive("GLOW Arranger and the rest");
    ASSERT_TRUE(QTest::qWaitFor([&] { return port->PortOpen(); }, 3000)) << "waits again";
    clock.advance(60s);
    const QByteArray second = SimStream::generate(3000);
    receiveDump(second);
    QCoreApplication::processEvents();
    transfer->stop(15);
    EXPECT_EQ(ended(), 0);
    EXPECT_FALSE(port->PortOpen());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{"backup-2026-12-08T21-14-06.txt", "backup-2026-12-08T21-15-09.txt"}))
        << written.toStdString();
    EXPECT_EQ(TestFiles::read(path("backup-2026-12-08T21-15-09.txt")), second);
    EXPECT_TRUE(written.contains("backup-2026-12-08T21-14-06.txt: File has been saved.\n"));
    EXPECT_TRUE(written.contains("zo-vovere: header data error, reset and retry\n"));
}

// A folder where no backup can be made, found once its copy is tried on the
// file thread: the program ends, rather than wait for a backup it cannot keep.
TEST_F(TerminalTest, FolderThatRefusesTheCopyEndsTheWait)
{
    make({}, std::make_unique<BackgroundTarget>([] {
             auto refusing = std::make_unique<FailingTarget>();
             refusing->failure = FailingTarget::Failure{ReceiveTarget::Step::Open, EACCES};
             return refusing;
         }));
    transfer->receiveInto(dir.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended().has_value(); }, 3000)) << "still waiting";
    EXPECT_EQ(status, 1);
    EXPECT_EQ(written.count("Cannot save the backup"), 1) << written.toStdString();
    EXPECT_FALSE(port->PortOpen());
}

// Two backups a second apart: each is saved whole in a file of its own, the
// second received on the line kept open while the first was saved.
TEST_F(TerminalTest, BackupsASecondApartAreTwoFiles)
{
    make();
    transfer->receiveInto(dir.path());
    const QByteArray second = SimStream::generate(3000);
    port->arrive(dump);
    clock.advance(1000ms);
    port->arrive(second);
    QCoreApplication::processEvents(); // the next receive, with the header that began it
    clock.advance(3000ms);
    QCoreApplication::processEvents();
    transfer->stop(15);
    EXPECT_EQ(ended(), 0);
    const QStringList saved = QDir(dir.path()).entryList(QDir::Files);
    ASSERT_EQ(saved.size(), 2) << written.toStdString();
    EXPECT_EQ(TestFiles::read(path(saved[0])), dump);
    EXPECT_EQ(TestFiles::read(path(saved[1])), second);
    EXPECT_EQ(port->opens, 1);
}

// A line kept between backups that fails meanwhile is opened afresh for
// the next, and says nothing of its own.
TEST_F(TerminalTest, KeptLineThatFailsIsOpenedAfresh)
{
    make();
    transfer->receiveInto(dir.path());
    receiveDump(dump);
    ASSERT_TRUE(port->PortOpen());
    port->raise(CommEvents::comEventPortLost);
    QCoreApplication::processEvents(); // the next wait
    EXPECT_EQ(port->opens, 2);
    EXPECT_FALSE(written.contains("disconnected")) << written.toStdString();
    EXPECT_FALSE(ended());
}

struct Choice
{
    const char *name;
    const char *argument;
    int number;
    const char *device; // below the test's /dev, or absolute
};

using PortChoiceTest = ::testing::TestWithParam<Choice>;

// COM1, COM2, a device or a stable name; the number follows a stored device.
TEST_P(PortChoiceTest, NamesTheDeviceAndThePort)
{
    QTemporaryDir dev;
    QDir(dev.path()).mkpath("serial/by-id");
    TestFiles::write(dev.filePath("serial/by-id/usb-FTDI-if00"), "");
    TestFiles::write(dev.filePath("ttyUSB0"), "");
    MemorySettingsStore store;
    store.write(StartupSettings::kPorts, "COM2", dev.filePath("ttyUSB0"));
    store.write(StartupSettings::kStartup, StartupSettings::kBackup, "True");
    const PortChoice choice = PortChoice::from(GetParam().argument, store, dev.path());
    const QString device = GetParam().device;
    EXPECT_EQ(choice.device,
              device.startsWith('/') || device.isEmpty() ? device : dev.filePath(device));
    EXPECT_EQ(choice.number, GetParam().number);
    EXPECT_EQ(choice.refusal.isEmpty(), !device.isEmpty()) << choice.refusal.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Terminal, PortChoiceTest,
                         ::testing::Values(Choice{"WindowsChoice", "", 1, "/dev/ttyS0"},
                                           Choice{"Com2", "com2", 2, "ttyUSB0"},
                                           Choice{"StoredDeviceByName", "ttyUSB0", 2, "ttyUSB0"},
                                           Choice{"StableName", "usb-FTDI-if00", 1,
                                                  "serial/by-id/usb-FTDI-if00"},
                                           Choice{"OtherDevice", "/dev/ttyACM5", 1, "/dev/ttyACM5"},
                                           Choice{"Unknown", "COM7", 1, ""}),
                         rowName);

} // namespace
