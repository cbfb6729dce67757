// Receiving: the header check, block framing, the end of a backup (the line
// quiet and ':' seven bytes before the last byte, wherever the blocks fall),
// the device going away, write failures, and every ending. An earlier file at
// the target must survive every ending but a successful one.
#include "EngineFixture.h"
#include "FileSizeLimit.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kEarlier = "earlier backup, must survive";

class ReceiveTest : public EngineFixture
{
  protected:
    // A backup stream of length L: header, data without ':', ':' at L - 7.
    static QByteArray stream(int length, int markerAt = -1)
    {
        QByteArray s = "GLOW ARRANGER";
        for (int i = 13; i < length; ++i)
            s += char('A' + i % 26);
        if (markerAt < 0)
            markerAt = length - 7;
        if (markerAt >= 13 && markerAt < length)
            s[markerAt] = ':';
        return s;
    }

    void startReceive()
    {
        target = makeFile("backup.txt", kEarlier);
        dialog.choose = target;
        engine.cmdReceive_Click();
    }

    // Whatever ends the receive unsuccessfully leaves the earlier file as it
    // was, and no temporary copy beside it.
    void expectEarlierFileIntact()
    {
        EXPECT_EQ(readFile(target), kEarlier);
        EXPECT_EQ(filesInDir(), QStringList{"backup.txt"});
        EXPECT_FALSE(engine.state().FileOpen);
        EXPECT_FALSE(engine.state().DeleteOnAbort);
        EXPECT_TRUE(window.idle());
        EXPECT_FALSE(port.PortOpen());
        // The engine is back in its reset state, whatever ended the receive.
        EXPECT_EQ(port.RThreshold(), 0);
        EXPECT_EQ(engine.state().RxState, 0);
        EXPECT_FALSE(timer1.enabled());
    }

    void expectLostConnection()
    {
        EXPECT_EQ(window.messages, QStringList{"Connection was lost."});
        EXPECT_EQ(window.status, QString());
        expectEarlierFileIntact();
    }

    QStringList countTexts() const { return window.statusHistory.filter("bytes received"); }

    QString target;
};

TEST_F(ReceiveTest, StartSetsUpTheDialogAndWaitsForTheHeader)
{
    engine.remembered().RecNameSave = "/shows/last.txt";
    dialog.Flags = 0x1004;
    startReceive();
    EXPECT_FALSE(dialog.lastWasOpen);
    EXPECT_EQ(dialog.flagsShown, 6);
    EXPECT_EQ(dialog.titleShown, QString("Filename to save the data"));
    EXPECT_EQ(dialog.filterShown, QString("Text files (*.txt)|*.txt|All Files (*.*)|*.*"));
    EXPECT_EQ(dialog.filterIndexShown, 0);
    EXPECT_EQ(dialog.fileNameShown, QString("/shows/last.txt"));
    EXPECT_EQ(window.statusHistory.first(),
              QString("Select or enter a file name where the data will be stored."));
    EXPECT_EQ(engine.remembered().RecNameSave, target);
    EXPECT_EQ(window.status, QString("Waiting for data transmission from Glow Arranger."));
    EXPECT_TRUE(window.busy());
    EXPECT_FALSE(window.progressVisible);
    EXPECT_FALSE(window.animationOpen) << "the clip opens with the header";
    EXPECT_EQ(port.RThreshold(), 13);
    EXPECT_EQ(engine.state().RxState, 1);
    EXPECT_FALSE(timer1.enabled());
    clock.advance(60000ms);
    EXPECT_TRUE(port.PortOpen()) << "waiting for the header has no time limit";
}

TEST_F(ReceiveTest, CancelledDialogLeavesEverythingAsItWas)
{
    engine.remembered().RecNameSave = "/shows/last.txt";
    engine.cmdReceive_Click();
    EXPECT_EQ(window.status, QString());
    EXPECT_EQ(engine.remembered().RecNameSave, QString("/shows/last.txt"));
    EXPECT_EQ(port.opens, 0);
}

TEST_F(ReceiveTest, BytesWaitingBeforeTheStartDoNotCountTowardTheHeader)
{
    port.arrive("noise");
    startReceive();
    port.arrive(stream(1024));
    clock.advance(3000ms);
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), stream(1024));
}

TEST_F(ReceiveTest, BlockAlignedDumpIsSavedOnceTheLineFallsQuiet)
{
    for (int blocks : {1, 2, 3}) {
        SCOPED_TRACE(blocks);
        window.statusHistory.clear();
        startReceive();
        const QByteArray s = stream(1024 * blocks);
        port.arrive(s.left(13));
        EXPECT_EQ(window.status, QString("header received"));
        EXPECT_TRUE(window.animationOpen);
        port.arrive(s.mid(13));
        QStringList counts;
        for (int b = 1; b <= blocks; ++b)
            counts << QString("%1 bytes received").arg(1024 * b);
        EXPECT_EQ(countTexts(), counts);
        EXPECT_EQ(readFile(target), kEarlier) << "the target is replaced only at the end";
        // The marker at 1017 of the last block ends nothing by itself: more
        // could follow. Quiet for the inactivity time, it is the end.
        clock.advance(2999ms);
        EXPECT_TRUE(port.PortOpen());
        EXPECT_EQ(window.status, counts.last());
        clock.advance(1ms);
        EXPECT_EQ(window.status, QString("File has been saved."));
        EXPECT_EQ(readFile(target), s);
        EXPECT_EQ(filesInDir(), QStringList{"backup.txt"});
        EXPECT_TRUE(window.idle());
        EXPECT_FALSE(timer1.enabled());
        EXPECT_FALSE(window.animationOpen);
        EXPECT_TRUE(window.messages.isEmpty());
    }
}

TEST_F(ReceiveTest, MarkerInTheTailCompletesWhenTheLineFallsQuiet)
{
    for (int blocks : {0, 1, 2}) {
        for (int tail : {7, 500, 1023 - 13 * (blocks == 0)}) {
            SCOPED_TRACE(blocks * 10000 + tail);
            window.statusHistory.clear();
            startReceive();
            const int length = 1024 * blocks + tail + (blocks == 0 ? 13 : 0);
            const QByteArray s = stream(length);
            port.arrive(s);
            EXPECT_EQ(countTexts().size(), blocks);
            clock.advance(2999ms);
            EXPECT_TRUE(port.PortOpen());
            clock.advance(1ms);
            EXPECT_EQ(window.status, QString("File has been saved."));
            EXPECT_EQ(readFile(target), s);
            EXPECT_EQ(filesInDir(), QStringList{"backup.txt"});
            EXPECT_TRUE(window.messages.isEmpty());
        }
    }
}

TEST_F(ReceiveTest, MarkerInTheLastFullBlockBeforeAShortTailIsSavedWhole)
{
    // L mod 1024 of 1 to 6: the controller's ':' at L - 7 lies in the last
    // full block, past index 1017, and the tail is too short to hold it.
    for (int length : {1025, 1030, 2049, 2054}) {
        SCOPED_TRACE(length);
        window.messages.clear();
        startReceive();
        port.arrive(stream(length));
        clock.advance(3000ms);
        EXPECT_EQ(window.status, QString("File has been saved."));
        EXPECT_EQ(readFile(target), stream(length));
        EXPECT_TRUE(window.messages.isEmpty());
    }
}

TEST_F(ReceiveTest, MarkerAt1017OfAFullBlockFollowedByMoreIsData)
{
    // Block-aligned and with a tail: the ':' at 1017 of the second block was
    // data, and the whole stream is kept.
    for (int length : {4096, 5000}) {
        SCOPED_TRACE(length);
        startReceive();
        QByteArray s = stream(length);
        s[1024 + 1017] = ':';
        port.arrive(s);
        EXPECT_EQ(window.status, QString("%1 bytes received").arg(length / 1024 * 1024));
        EXPECT_TRUE(port.PortOpen()) << "a ':' in the middle ends nothing";
        clock.advance(3000ms);
        EXPECT_EQ(window.status, QString("File has been saved."));
        EXPECT_EQ(readFile(target), s);
    }
}

TEST_F(ReceiveTest, MarkerInAMiddleBlockWithoutTheEndingIsALostConnection)
{
    startReceive();
    QByteArray s = stream(4096 + 300, 4096 + 100);
    s[1024 + 1017] = ':';
    port.arrive(s);
    clock.advance(3000ms);
    expectLostConnection();
}

TEST_F(ReceiveTest, ShortTailWithoutTheMarkerIsALostConnection)
{
    for (int tail = 1; tail <= 6; ++tail) {
        SCOPED_TRACE(tail);
        window.messages.clear();
        startReceive();
        port.arrive(stream(1024 + tail, 1024 + tail - 20));
        clock.advance(3000ms);
        expectLostConnection();
    }
}

TEST_F(ReceiveTest, TailWithoutTheMarkerIsALostConnection)
{
    startReceive();
    port.arrive(stream(1024 + 300, 1024 + 100));
    clock.advance(3000ms);
    expectLostConnection();
}

TEST_F(ReceiveTest, SilenceAfterTheHeaderIsALostConnection)
{
    startReceive();
    port.arrive("GLOW ARRANGER");
    clock.advance(3000ms);
    expectLostConnection();
}

TEST_F(ReceiveTest, SilenceAfterSomeBlocksIsALostConnection)
{
    startReceive();
    port.arrive(stream(4096, 4000).left(3072));
    clock.advance(2000ms);
    EXPECT_TRUE(port.PortOpen());
    clock.advance(1000ms);
    expectLostConnection();
}

TEST_F(ReceiveTest, EachBlockRestartsTheInactivityInterval)
{
    startReceive();
    const QByteArray s = stream(4096);
    port.arrive(s.left(1024));
    for (int block = 1; block < 4; ++block) {
        clock.advance(2900ms);
        ASSERT_TRUE(port.PortOpen());
        port.arrive(s.mid(1024 * block, 1024));
    }
    clock.advance(2999ms);
    EXPECT_TRUE(port.PortOpen());
    clock.advance(1ms);
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), s);
}

TEST_F(ReceiveTest, HeaderDifferingOnlyInCaseIsRejected)
{
    startReceive();
    port.arrive("GLOW Arranger" + QByteArray(2000, 'x'));
    EXPECT_EQ(window.messages, QStringList{"header data error, reset and retry"});
    EXPECT_EQ(window.status, QString()) << "nothing waits any more";
    expectEarlierFileIntact();
    EXPECT_EQ(engine.state().RxState, 0);
}

TEST_F(ReceiveTest, CancelAndLineErrorsInEachStateKeepTheEarlierFile)
{
    const std::vector<QByteArray> before = {{}, "GLOW ARRANGER", stream(3000).left(2100)};
    for (const QByteArray &arrived : before) {
        for (int code : {0, 1004, 1012}) {
            SCOPED_TRACE(arrived.size() * 10000 + code);
            window.messages.clear();
            startReceive();
            port.arrive(arrived);
            if (code == 0) {
                engine.cmdCancel_Click();
                EXPECT_EQ(window.status, QString("Action canceled"));
            } else {
                port.raise(code);
                EXPECT_EQ(window.messages.size(), 1);
                EXPECT_EQ(window.status, QString());
            }
            expectEarlierFileIntact();
            clock.advance(5000ms);
            EXPECT_EQ(window.messages.size(), code == 0 ? 0 : 1) << "nothing follows the end";
        }
    }
}

TEST_F(ReceiveTest, DeviceGoingAwayBeforeTheEndIsReported)
{
    for (const QByteArray &arrived : {stream(2100, 2000), stream(3072, 3000), stream(1030, 1020)}) {
        SCOPED_TRACE(arrived.size());
        window.messages.clear();
        startReceive();
        port.arrive(arrived);
        port.raise(CommEvents::comEventPortLost);
        EXPECT_EQ(window.messages,
                  QStringList{"port disconnected error on com port, reset and retry"});
        EXPECT_EQ(window.status, QString());
        expectEarlierFileIntact();
    }
}

TEST_F(ReceiveTest, WriteFailuresEndTheReceiveWithTheSystemsReason)
{
    // Writes beyond the limit fail with EFBIG as they would with ENOSPC on a
    // full disk: in a later block, part way through a block (the first part
    // written, the rest refused), and in the tail written at the end.
    struct Case
    {
        int limit;
        int length;
    } cases[] = {{16384, 24576 + 300}, {1500, 4096}, {2048, 2048 + 500}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.limit);
        window.messages.clear();
        window.statusHistory.clear();
        startReceive();
        {
            FileSizeLimit limit(rlim_t(c.limit));
            ASSERT_TRUE(limit.ok());
            port.arrive(stream(c.length));
            clock.advance(3000ms);
        }
        ASSERT_EQ(window.messages.size(), 1);
        EXPECT_TRUE(window.messages[0].contains(target)) << window.messages[0].toStdString();
        EXPECT_TRUE(window.messages[0].contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
            << window.messages[0].toStdString();
        EXPECT_FALSE(window.statusHistory.contains("File has been saved."));
        EXPECT_EQ(window.status, QString());
        expectEarlierFileIntact();
    }
}

TEST_F(ReceiveTest, TargetThatCannotBeWrittenIsReportedBeforeTheDump)
{
    makeFile("plain.txt", "a file, not a folder");
    for (const QString &bad : {path("no-such-folder/backup.txt"), path("plain.txt/backup.txt")}) {
        SCOPED_TRACE(bad.toStdString());
        window.messages.clear();
        dialog.choose = bad;
        engine.cmdReceive_Click();
        ASSERT_EQ(window.messages.size(), 1);
        EXPECT_TRUE(window.messages[0].contains(bad));
        EXPECT_EQ(engine.remembered().RecNameSave, bad);
        EXPECT_EQ(port.opens, 0) << "the user is told before starting the dump";
        EXPECT_FALSE(
            window.statusHistory.contains("Waiting for data transmission from Glow Arranger."));
        EXPECT_EQ(window.status, QString());
        EXPECT_TRUE(window.idle());
        EXPECT_FALSE(engine.state().FileOpen);
    }
    if (::geteuid() != 0) {
        // Root may write anywhere; a read-only folder stops everyone else.
        QDir().mkpath(path("read-only"));
        ::chmod(QFile::encodeName(path("read-only")).constData(), 0555);
        window.messages.clear();
        dialog.choose = path("read-only/backup.txt");
        engine.cmdReceive_Click();
        EXPECT_EQ(window.messages.size(), 1);
        EXPECT_EQ(port.opens, 0);
    }
}

TEST_F(ReceiveTest, SpecialFilesAreNeverReplaced)
{
    const QString fifo = path("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QDir().mkpath(path("folder"));
    for (const QString &special : {fifo, QString("/dev/null"), path("folder")}) {
        SCOPED_TRACE(special.toStdString());
        window.messages.clear();
        dialog.choose = special;
        engine.cmdReceive_Click();
        ASSERT_EQ(window.messages.size(), 1);
        EXPECT_TRUE(window.messages[0].contains("not a regular file"))
            << window.messages[0].toStdString();
        EXPECT_EQ(port.opens, 0);
        EXPECT_TRUE(window.idle());
    }
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the pipe is still a pipe";
    EXPECT_EQ(filesInDir(), QStringList{}) << "no temporary file was left";
}

TEST_F(ReceiveTest, PortThatCannotOpenUndoesTheStart)
{
    port.failOpen = {CommError::Kind::PermissionDenied, "/dev/ttyS1", "permission denied"};
    window.option1 = false;
    startReceive();
    ASSERT_EQ(window.messages.size(), 1);
    EXPECT_TRUE(window.messages[0].contains("COM2 (/dev/ttyS1)"));
    EXPECT_TRUE(window.messages[0].contains("dialout"));
    EXPECT_EQ(window.status, QString());
    EXPECT_EQ(engine.remembered().RecNameSave, target);
    expectEarlierFileIntact();
}

TEST_F(ReceiveTest, OpenErrorsSayWhatToDo)
{
    struct Case
    {
        CommError error;
        QString expected, hint;
    } cases[] = {
        {{CommError::Kind::Busy, "/dev/ttyUSB0", "the port is in use by picocom (process 4242)"},
         "Cannot open COM2 (/dev/ttyUSB0) to receive the backup: the port is in use by picocom "
         "(process 4242).",
         "Close the other program"},
        {{CommError::Kind::NoHardware, "/dev/ttyS1", "there is no serial port at this device"},
         "Cannot open COM2 (/dev/ttyS1) to receive the backup: there is no serial port at this "
         "device.",
         "/dev/ttyUSB0"},
        {{CommError::Kind::NotSerial, "/dev/null",
          "not a serial port (a device that is not a terminal)"},
         "Cannot open COM2 (/dev/null) to receive the backup: not a serial port (a device that "
         "is not a terminal).",
         "Choose the serial device for COM2 under File > Port Settings."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.hint.toStdString());
        window.messages.clear();
        port.failOpen = c.error;
        startReceive();
        ASSERT_EQ(window.messages.size(), 1);
        EXPECT_TRUE(window.messages[0].startsWith(c.expected)) << window.messages[0].toStdString();
        EXPECT_TRUE(window.messages[0].contains(c.hint));
        expectEarlierFileIntact();
    }
}

TEST_F(ReceiveTest, UnreadableClipDoesNotStopTheReceive)
{
    window.animationReadable = false;
    startReceive();
    port.arrive(stream(2048));
    clock.advance(3000ms);
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), stream(2048));
}

TEST_F(ReceiveTest, ReceiveIntoANewFile)
{
    dialog.choose = path("new.txt");
    engine.cmdReceive_Click();
    port.arrive(stream(1024 + 100));
    clock.advance(3000ms);
    EXPECT_EQ(readFile(path("new.txt")), stream(1024 + 100));
    EXPECT_EQ(filesInDir(), QStringList{"new.txt"});
}

// The device goes away (the far end hangs up, the adapter is pulled) after a
// complete dump, some of it still held by the port (read from the driver,
// not yet handed over). What the driver held unread goes with the device:
// the backup is kept only when the port had seen the line quiet first.
struct HangUpCase
{
    int length;
    int held;
    std::chrono::milliseconds quietBefore;
    bool kept;
};

void PrintTo(const HangUpCase &c, std::ostream *os)
{
    *os << c.length << " bytes, " << c.held << " held, quiet " << c.quietBefore.count() << " ms";
}

class HangUpTest : public ReceiveTest, public ::testing::WithParamInterface<HangUpCase>
{
};

TEST_P(HangUpTest, BackupIsKeptOnlyAfterTheLineWasSeenQuiet)
{
    const HangUpCase c = GetParam();
    startReceive();
    const QByteArray s = stream(c.length);
    port.arrive(s.left(c.length - c.held));
    port.hold(s.right(c.held));
    clock.advance(c.quietBefore);
    port.raise(CommEvents::comEventPortLost);
    if (c.kept) {
        EXPECT_EQ(window.status, QString("File has been saved."));
        EXPECT_EQ(readFile(target), s);
        EXPECT_TRUE(window.messages.isEmpty());
        EXPECT_TRUE(window.idle());
        EXPECT_FALSE(port.PortOpen());
    } else {
        EXPECT_EQ(window.messages,
                  QStringList{"port disconnected error on com port, reset and retry"});
        expectEarlierFileIntact();
    }
    clock.advance(5000ms);
    EXPECT_EQ(window.messages.size(), c.kept ? 0 : 1) << "nothing follows the end";
}

INSTANTIATE_TEST_SUITE_P(
    Receive, HangUpTest,
    ::testing::Values(HangUpCase{1024, 0, 100ms, true}, HangUpCase{2049, 1, 100ms, true},
                      HangUpCase{2548, 600, 2000ms, true}, HangUpCase{5000, 1500, 100ms, true},
                      HangUpCase{5000, 0, 0ms, false}, HangUpCase{2548, 600, 99ms, false},
                      HangUpCase{1024, 0, 50ms, false}),
    [](const auto &info) {
        return "Length" + std::to_string(info.param.length) + "Held" +
               std::to_string(info.param.held) + "Quiet" +
               std::to_string(info.param.quietBefore.count()) + "ms";
    });

// A desk that sends slowly or pauses: only three seconds without any byte
// end the receive, and then the whole stream is the backup. markerAt puts a
// ':' where a pause after it would look like an end to a rule that counted
// from the last whole block.
struct PacedDump
{
    const char *name;
    int length;
    int bytesPerSecond;
    int pauseAt; // the pause comes after this many bytes; -1: none
    std::chrono::milliseconds pause;
};

void PrintTo(const PacedDump &d, std::ostream *os)
{
    *os << d.name;
}

class PacedDumpTest : public ReceiveTest, public ::testing::WithParamInterface<PacedDump>
{
};

TEST_P(PacedDumpTest, EndsThreeSecondsAfterTheLastByteWhateverThePace)
{
    const PacedDump d = GetParam();
    startReceive();
    QByteArray s = stream(d.length);
    if (d.pauseAt > 13)
        s[d.pauseAt - 7] = ':';
    const int step = std::max(1, d.bytesPerSecond / 100); // every 10 ms
    for (int sent = 0; sent < d.length;) {
        int n = std::min(step, d.length - sent);
        if (sent < d.pauseAt && sent + n > d.pauseAt)
            n = d.pauseAt - sent;
        port.arrive(s.mid(sent, n));
        sent += n;
        clock.advance(sent == d.pauseAt ? d.pause : 10ms);
        ASSERT_TRUE(port.PortOpen()) << "ended after " << sent << " bytes";
    }
    clock.advance(2990ms - 1ms);
    EXPECT_TRUE(port.PortOpen());
    clock.advance(1ms);
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), s);
    EXPECT_TRUE(window.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Receive, PacedDumpTest,
    ::testing::Values(PacedDump{"SlowSender300BytesASecond", 3000, 300, -1, 0ms},
                      PacedDump{"SlowSender100BytesASecond", 1100, 100, -1, 0ms},
                      PacedDump{"PauseOf2700msAfterAColon", 5000, 1920, 2024, 2700ms},
                      PacedDump{"PauseOf2500msInsideABlock", 3000, 1920, 1500, 2500ms},
                      PacedDump{"PauseOf2800msInsideABlock", 3000, 1920, 1500, 2800ms},
                      PacedDump{"PauseOf2999msInTheHeader", 2000, 1920, 5, 2999ms}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ReceiveTest, WholeBlocksStillWaitingWhenTheLineFallsQuietAreTakenFirst)
{
    // No notification for them has been handed over yet: the quiet end takes
    // them as blocks before it looks at the tail.
    startReceive();
    const QByteArray s = stream(2 * 1024 + 500);
    port.arrive(s.left(13));
    port.hold(s.mid(13));
    clock.advance(3000ms);
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), s);
}

// A header that differs from "GLOW ARRANGER" in any one byte is refused.
class WrongHeaderTest : public ReceiveTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(WrongHeaderTest, OneWrongByteIsEnough)
{
    QByteArray header = "GLOW ARRANGER";
    header[GetParam()] = 'x';
    startReceive();
    port.arrive(header + stream(2048).mid(13));
    EXPECT_EQ(window.messages, QStringList{"header data error, reset and retry"});
    expectEarlierFileIntact();
}

INSTANTIATE_TEST_SUITE_P(Receive, WrongHeaderTest, ::testing::Values(0, 4, 12),
                         [](const auto &info) { return "Byte" + std::to_string(info.param); });

} // namespace
