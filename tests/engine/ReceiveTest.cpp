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

TEST_F(ReceiveTest, DeviceGoingAwayAfterACompleteDumpKeepsTheBackup)
{
    // The far end hangs up (or the adapter is pulled) before the three quiet
    // seconds are over; some of the bytes may still be held by the port.
    for (int length : {1024, 2049, 2548, 5000}) {
        for (int held : {0, 1, 600, 1500}) {
            if (held > length - 13)
                continue; // the header itself must have come
            SCOPED_TRACE(length * 10000 + held);
            window.messages.clear();
            startReceive();
            const QByteArray s = stream(length);
            port.arrive(s.left(length - held));
            port.hold(s.right(held));
            port.raise(CommEvents::comEventPortLost);
            EXPECT_EQ(window.status, QString("File has been saved."));
            EXPECT_EQ(readFile(target), s);
            EXPECT_TRUE(window.messages.isEmpty());
            EXPECT_TRUE(window.idle());
            EXPECT_FALSE(port.PortOpen());
            clock.advance(5000ms);
            EXPECT_TRUE(window.messages.isEmpty()) << "nothing follows the end";
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

} // namespace
