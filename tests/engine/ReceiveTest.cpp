// Receiving: the header check, block framing, the end of a backup (the line
// quiet and ':' seven bytes before the last byte, wherever the blocks fall),
// the device going away, write failures, and every ending. An earlier file at
// the target must survive every ending but a successful one.
#include "EngineFixture.h"
#include "FileSizeLimit.h"
#include "Rows.h"
#include "SimStream.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kEarlier = "earlier backup, must survive";
const QString kLineWentDown =
    "port disconnected error on com port, reset and retry\n\nThe line went down before the "
    "backup could be confirmed complete: a backup is complete only once the line has been "
    "quiet for three seconds after its last byte. Nothing was saved; any earlier file of that "
    "name is unchanged.";

class ReceiveTest : public EngineFixture
{
  protected:
    // A backup stream of length L: header, data without ':', ':' at L - 7.
    static QByteArray stream(int length, int markerAt = -1)
    {
        return SimStream::generate(length, markerAt);
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
        EXPECT_EQ(descriptorsInto(dir.path()), 0) << "the copy was left open";
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
    EXPECT_FALSE(window.progress.visible);
    EXPECT_FALSE(window.animationPlays) << "the clip opens with the header";
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

using BlockAlignedTest = Rows<ReceiveTest, int>;

TEST_P(BlockAlignedTest, DumpIsSavedOnceTheLineFallsQuiet)
{
    const int blocks = GetParam();
    startReceive();
    const QByteArray s = stream(1024 * blocks);
    port.arrive(s.left(13));
    EXPECT_EQ(window.status, QString("header received"));
    EXPECT_TRUE(window.animationPlays);
    port.arrive(s.mid(13));
    QStringList counts;
    QList<qint64> numbers;
    for (int b = 1; b <= blocks; ++b) {
        counts << QString("%1 bytes received").arg(1024 * b);
        numbers << 1024 * b;
    }
    EXPECT_EQ(countTexts(), counts);
    EXPECT_EQ(window.counts, numbers);
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
    EXPECT_FALSE(window.animationPlays);
    EXPECT_TRUE(window.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Receive, BlockAlignedTest, ::testing::Values(1, 2, 3));

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

TEST_F(ReceiveTest, ADiskThatFallsBehindLeavesTheBytesInThePortAndLosesNone)
{
    startReceive();
    const QByteArray s = stream(8192);
    port.arrive(s.left(2048));
    receiveTarget.room = false;
    port.arrive(s.mid(2048, 4096));
    EXPECT_EQ(port.InBufferCount(), 4096) << "blocks were taken while the disk was behind";
    // Unread bytes are not a quiet line, however long the disk takes.
    clock.advance(7000ms);
    EXPECT_TRUE(port.PortOpen());
    EXPECT_EQ(window.messages, QStringList());
    EXPECT_EQ(window.status, QString("Waiting for the disk to take the data…"));
    port.arrive(s.mid(6144));
    receiveTarget.makeRoom();
    port.arrive({}); // the port hands over what waits once the engine listens again
    clock.advance(3000ms);
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), s);
}

TEST_F(ReceiveTest, HeaderDifferingOnlyInCaseIsRejected)
{
    startReceive();
    port.arrive("GLOW Arranger" + QByteArray(2000, 'x'));
    EXPECT_EQ(window.messages, QStringList{"header data error, reset and retry"});
    // What came instead, to open in the box.
    EXPECT_EQ(window.details, QStringList{"The first 13 bytes that came:\n\"GLOW Arranger\"\n"
                                          "47 4C 4F 57 20 41 72 72 61 6E 67 65 72"});
    EXPECT_EQ(window.status, QString()) << "nothing waits any more";
    expectEarlierFileIntact();
    EXPECT_EQ(engine.state().RxState, 0);
}

// Bytes arrived before the end (none, the header, a block and more), and
// the end: Cancel (0), a framing error, the device gone.
using EndInEachStateTest = Rows<ReceiveTest, std::tuple<int, int>>;

TEST_P(EndInEachStateTest, KeepsTheEarlierFile)
{
    const auto [arrivedBytes, code] = GetParam();
    const QByteArray arrived = stream(3000).left(arrivedBytes);
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

INSTANTIATE_TEST_SUITE_P(Receive, EndInEachStateTest,
                         ::testing::Combine(::testing::Values(0, 13, 2100),
                                            ::testing::Values(0, 1004, 1012)));

// Writes beyond the limit fail with EFBIG as they would with ENOSPC on a
// full disk: in a later block, part way through a block (the first part
// written, the rest refused), and in the tail written at the end.
using WriteFailureTest = Rows<ReceiveTest, std::pair<int, int>>;

TEST_P(WriteFailureTest, EndsTheReceiveWithTheSystemsReason)
{
    const auto [limitBytes, length] = GetParam();
    startReceive();
    {
        FileSizeLimit limit{rlim_t(limitBytes)};
        ASSERT_TRUE(limit.ok());
        port.arrive(stream(length));
        clock.advance(3000ms);
    }
    ASSERT_TRUE(window.saidOnce({target, QString::fromLocal8Bit(std::strerror(EFBIG))}));
    EXPECT_FALSE(window.statusHistory.contains("File has been saved."));
    EXPECT_EQ(window.status, QString());
    expectEarlierFileIntact();
}

INSTANTIATE_TEST_SUITE_P(Receive, WriteFailureTest,
                         ::testing::Values(std::pair{16384, 24576 + 300}, std::pair{1500, 4096},
                                           std::pair{2048, 2048 + 500}));

struct TargetFault
{
    const char *name;
    ReceiveTarget::Step step;
    int error;
};

using TargetFaultTest = Rows<ReceiveTest, TargetFault>;

// Each step of the save failing as a disk or file system would: the message
// names the file and the reason, nothing is called saved, and the earlier
// file and the folder are as they were.
TEST_P(TargetFaultTest, EndsTheReceiveWithTheFileAndTheReason)
{
    receiveTarget.failure = FailingTarget::Failure{GetParam().step, GetParam().error};
    startReceive();
    port.arrive(stream(3000));
    clock.advance(3000ms);
    EXPECT_EQ(
        window.messages,
        QStringList{QString("Cannot save the backup to \"%1\": %2.\n\nNothing was saved; "
                            "any earlier file of that name is unchanged.")
                        .arg(target, QString::fromLocal8Bit(std::strerror(GetParam().error)))});
    EXPECT_FALSE(window.statusHistory.contains("File has been saved."));
    EXPECT_EQ(port.opens, GetParam().step == ReceiveTarget::Step::Open ? 0 : 1);
    EXPECT_GE(receiveTarget.discards, 1);
    expectEarlierFileIntact();
}

INSTANTIATE_TEST_SUITE_P(
    Receive, TargetFaultTest,
    ::testing::Values(TargetFault{"OpenRefused", ReceiveTarget::Step::Open, EACCES},
                      TargetFault{"WriteOnAFullDisk", ReceiveTarget::Step::Write, ENOSPC},
                      TargetFault{"SyncFailing", ReceiveTarget::Step::Sync, EIO},
                      TargetFault{"CommitRefused", ReceiveTarget::Step::Commit, EROFS}),
    rowName);

TEST_F(ReceiveTest, FolderThatCannotBeSyncedIsSaidNotClaimed)
{
    receiveTarget.folderSyncError = EIO;
    startReceive();
    port.arrive(stream(3000));
    clock.advance(3000ms);
    ASSERT_EQ(window.messages.size(), 1);
    EXPECT_TRUE(window.messages[0].startsWith(
        QString("The backup was written to \"%1\", but the system could not confirm").arg(target)));
    EXPECT_TRUE(window.messages[0].contains(QString::fromLocal8Bit(std::strerror(EIO))));
    EXPECT_FALSE(window.statusHistory.contains("File has been saved."));
    EXPECT_EQ(readFile(target), stream(3000));
    EXPECT_EQ(descriptorsInto(dir.path()), 0);
}

// A folder that does not exist, a file where the folder should be, and a
// read-only folder (which root may write all the same).
using UnwritableTargetTest = Rows<ReceiveTest, std::string>;

TEST_P(UnwritableTargetTest, IsReportedBeforeTheDump)
{
    makeFile("plain.txt", "a file, not a folder");
    QDir().mkpath(path("read-only"));
    ::chmod(QFile::encodeName(path("read-only")).constData(), 0555);
    if (GetParam().starts_with("read-only") && ::geteuid() == 0)
        GTEST_SKIP() << "root may write anywhere";
    const QString bad = path(QString::fromStdString(GetParam()));
    dialog.choose = bad;
    engine.cmdReceive_Click();
    ASSERT_TRUE(window.saidOnce({bad}));
    EXPECT_EQ(engine.remembered().RecNameSave, bad);
    EXPECT_EQ(port.opens, 0) << "the user is told before starting the dump";
    EXPECT_FALSE(
        window.statusHistory.contains("Waiting for data transmission from Glow Arranger."));
    EXPECT_EQ(window.status, QString());
    EXPECT_TRUE(window.idle());
    EXPECT_FALSE(engine.state().FileOpen);
}

INSTANTIATE_TEST_SUITE_P(Receive, UnwritableTargetTest,
                         ::testing::Values(std::string("no-such-folder/backup.txt"),
                                           std::string("plain.txt/backup.txt"),
                                           std::string("read-only/backup.txt")));

// A pipe, a device and a folder of the chosen name: refused, left as they
// are, and no copy made beside them.
using SpecialTargetTest = Rows<ReceiveTest, std::string>;

TEST_P(SpecialTargetTest, IsNeverReplaced)
{
    QString special = QString::fromStdString(GetParam());
    if (special == "pipe")
        ASSERT_EQ(::mkfifo(QFile::encodeName(special = path("pipe")).constData(), 0600), 0);
    else if (special == "folder")
        QDir().mkpath(special = path("folder"));
    dialog.choose = special;
    engine.cmdReceive_Click();
    ASSERT_TRUE(window.saidOnce({"not a regular file"}));
    EXPECT_EQ(port.opens, 0);
    EXPECT_TRUE(window.idle());
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(special).constData(), &info), 0);
    EXPECT_FALSE(S_ISREG(info.st_mode)) << "still what it was";
    EXPECT_EQ(filesInDir(), QStringList{}) << "no temporary file was left";
}

INSTANTIATE_TEST_SUITE_P(Receive, SpecialTargetTest,
                         ::testing::Values(std::string("pipe"), std::string("/dev/null"),
                                           std::string("folder")));

TEST_F(ReceiveTest, PortThatCannotOpenUndoesTheStart)
{
    port.failOpen = {CommError::Kind::PermissionDenied, "/dev/ttyS1", "permission denied"};
    startReceive();
    ASSERT_TRUE(window.saidOnce({"COM2 (/dev/ttyS1)", "dialout"}));
    EXPECT_EQ(window.status, QString());
    EXPECT_EQ(engine.remembered().RecNameSave, target);
    expectEarlierFileIntact();
}

struct OpenError
{
    CommError error;
    QString expected, hint;
    // Set: the terminal's naming, with this device name (empty: COM1/COM2).
    std::optional<QString> terminal = std::nullopt;
};

void PrintTo(const OpenError &e, std::ostream *os)
{
    *os << e.hint.toStdString();
}

using OpenErrorTest = Rows<ReceiveTest, OpenError>;

TEST_P(OpenErrorTest, SaysWhatToDo)
{
    port.failOpen = GetParam().error;
    if (GetParam().terminal)
        engine.namePortsAsGiven(*GetParam().terminal);
    startReceive();
    ASSERT_EQ(window.messages.size(), 1);
    // A terminal has no menus to point to.
    if (GetParam().terminal) {
        EXPECT_FALSE(window.messages[0].contains("Port Settings"));
    }
    EXPECT_TRUE(window.messages[0].startsWith(GetParam().expected))
        << window.messages[0].toStdString();
    EXPECT_TRUE(window.messages[0].contains(GetParam().hint));
    expectEarlierFileIntact();
}

INSTANTIATE_TEST_SUITE_P(
    Receive, OpenErrorTest,
    ::testing::Values(
        OpenError{
            {CommError::Kind::Busy, "/dev/ttyUSB0", "the port is in use by picocom (process 4242)"},
            "Cannot open COM2 (/dev/ttyUSB0) to receive the backup: the port is in use by picocom "
            "(process 4242).",
            "Close the other program"},
        OpenError{
            {CommError::Kind::NoHardware, "/dev/ttyS1", "there is no serial port at this device"},
            "Cannot open COM2 (/dev/ttyS1) to receive the backup: there is no serial port at this "
            "device.",
            "/dev/ttyUSB0"},
        OpenError{
            {CommError::Kind::NotSerial, "/dev/null",
             "not a serial port (a device that is not a terminal)"},
            "Cannot open COM2 (/dev/null) to receive the backup: not a serial port (a device that "
            "is not a terminal).",
            "Choose the serial device for COM2 under File > Port Settings."},
        OpenError{{CommError::Kind::PermissionDenied,
                   "/dev/ttyUSB0",
                   "permission denied",
                   {DeviceNode::Access::Remedy::JoinGroup, "uucp", "root"}},
                  "Cannot open COM2 (/dev/ttyUSB0) to receive the backup: permission denied.",
                  "member of the \"uucp\" group: run \"sudo adduser $USER uucp\""},
        OpenError{{CommError::Kind::PermissionDenied,
                   "/dev/ttyUSB0",
                   "permission denied",
                   {DeviceNode::Access::Remedy::LogInAgain, "dialout", "root"}},
                  "Cannot open COM2 (/dev/ttyUSB0) to receive the backup: permission denied.",
                  "this session began before it joined: log out and in again."},
        OpenError{{CommError::Kind::PermissionDenied,
                   "/dev/ttyACM0",
                   "permission denied",
                   {DeviceNode::Access::Remedy::AskOwner, "tty", "alice"}},
                  "Cannot open COM2 (/dev/ttyACM0) to receive the backup: permission denied.",
                  "/dev/ttyACM0 belongs to the user \"alice\" and the group \"tty\""},
        // A device path from a damaged settings file is shown, not obeyed.
        OpenError{{CommError::Kind::NotFound, QString(QChar(0)) + "\x01\x1b[2J",
                   "the device does not exist"},
                  "Cannot open COM2 (\\x00\\x01\\x1B[2J) to receive the backup: the device does "
                  "not exist.",
                  "Check that the cable"},
        // From the terminal: the device as --port gave it, and --port to choose another.
        OpenError{{CommError::Kind::NotFound, "/dev/ttyUSB7", "the device does not exist"},
                  "Cannot open /dev/ttyUSB7 to receive the backup: the device does not exist.",
                  "give another device with --port (zo-vovere --list-ports",
                  "/dev/ttyUSB7"},
        OpenError{{CommError::Kind::NotSerial, "/dev/null", "not a serial port (a pipe)"},
                  "Cannot open COM2 (/dev/null) to receive the backup: not a serial port",
                  "Give a serial device with --port",
                  ""},
        OpenError{{CommError::Kind::NoHardware, "/dev/ttyS0", "there is no serial port"},
                  "Cannot open /dev/ttyS0 to receive the backup: there is no serial port.",
                  "give it with --port",
                  "/dev/ttyS0"}));

TEST_F(ReceiveTest, ReceiveIntoANewFile)
{
    dialog.choose = path("new.txt");
    engine.cmdReceive_Click();
    port.arrive(stream(1024 + 100));
    clock.advance(3000ms);
    EXPECT_EQ(readFile(path("new.txt")), stream(1024 + 100));
    EXPECT_EQ(filesInDir(), QStringList{"new.txt"});
}

// How a dump arrives and how the line ends, and how the receive must end.
// The stream is the header, letters, and ':' at markerAt (L - 7 unless said
// otherwise, none at -1), with one more ':' at colonAt. It arrives step bytes
// every 10 ms (all at once for 0), pausing after pauseAt bytes; the last held
// bytes the port holds without a notification. Then the line stays quiet, or
// the device goes away hangUpAfter later. A receive ends only once the line
// has been quiet three seconds after its last byte, whatever the pace; a
// hang-up before then is a line failure, however complete the bytes look
// (its driver drops what it held unread), and one after it changes nothing.
struct Dump
{
    const char *name;
    int length;
    enum Ending
    {
        Saved,
        Lost,
        DeviceLost
    } ending;
    int markerAt = -2; // -2: L - 7
    int colonAt = -1;
    int step = 0;
    int pauseAt = -1;
    std::chrono::milliseconds pause{0};
    int held = 0;
    std::chrono::milliseconds hangUpAfter{-1};
};

using DumpTest = Rows<ReceiveTest, Dump>;

TEST_P(DumpTest, EndsAsTheRulesSay)
{
    const Dump d = GetParam();
    startReceive();
    QByteArray s = stream(d.length, d.markerAt == -2 ? d.length - 7
                                    : d.markerAt < 0 ? d.length // beyond the end: none
                                                     : d.markerAt);
    if (d.colonAt >= 0)
        s[d.colonAt] = ':';
    const int arriving = d.length - d.held;
    for (int sent = 0; sent < arriving;) {
        int n = std::min(d.step > 0 ? d.step : arriving, arriving - sent);
        if (sent < d.pauseAt && sent + n > d.pauseAt)
            n = d.pauseAt - sent;
        port.arrive(s.mid(sent, n));
        if ((sent += n) < arriving) {
            clock.advance(sent == d.pauseAt ? d.pause : 10ms);
            ASSERT_TRUE(port.PortOpen()) << "ended after " << sent << " bytes";
        }
    }
    port.hold(s.mid(arriving));
    if (d.hangUpAfter >= 0ms) {
        clock.advance(d.hangUpAfter);
        if (port.PortOpen()) // a closed port tells nothing more
            port.raise(CommEvents::comEventPortLost);
    } else {
        clock.advance(2999ms);
        ASSERT_TRUE(port.PortOpen()) << "ended before three quiet seconds";
        clock.advance(1ms);
    }
    const QStringList messages[] = {{}, {"Connection was lost."}, {kLineWentDown}};
    EXPECT_EQ(window.messages, messages[d.ending]);
    if (d.ending == Dump::Saved) {
        EXPECT_EQ(window.status, QString("File has been saved."));
        EXPECT_EQ(readFile(target), s);
        // Blocks are counted anew after a pause where the stream looked
        // complete: what came before it was written then.
        const bool lookalikePause =
            d.pauseAt > 7 && d.pause >= SerialComm::kQuietCheck && s[d.pauseAt - 7] == ':';
        EXPECT_EQ(countTexts().size(), lookalikePause
                                           ? d.pauseAt / 1024 + (d.length - d.pauseAt) / 1024
                                           : d.length / 1024);
        EXPECT_FALSE(port.PortOpen());
        EXPECT_TRUE(window.idle());
    } else {
        EXPECT_EQ(window.status, QString());
        expectEarlierFileIntact();
    }
    clock.advance(5000ms);
    EXPECT_EQ(window.messages, messages[d.ending]) << "nothing follows the end";
}

constexpr auto kSaved = Dump::Saved, kLost = Dump::Lost, kDeviceLost = Dump::DeviceLost;

INSTANTIATE_TEST_SUITE_P(
    Receive, DumpTest,
    ::testing::Values(
        // The marker in a tail, wherever the blocks fall, also the shortest.
        Dump{"Tail7", 20, kSaved}, Dump{"Tail500", 513, kSaved}, Dump{"Tail1010", 1023, kSaved},
        Dump{"Block1Tail7", 1031, kSaved}, Dump{"Block1Tail500", 1524, kSaved},
        Dump{"Block1Tail1023", 2047, kSaved}, Dump{"Blocks2Tail7", 2055, kSaved},
        Dump{"Blocks2Tail500", 2548, kSaved}, Dump{"Blocks2Tail1023", 3071, kSaved},
        // L mod 1024 of 1 to 6: the marker lies in the last full block.
        Dump{"ShortTail1", 1025, kSaved}, Dump{"ShortTail6", 1030, kSaved},
        Dump{"Blocks2ShortTail1", 2049, kSaved}, Dump{"Blocks2ShortTail6", 2054, kSaved},
        // A ':' at 1017 of a block followed by more is data.
        Dump{"ColonAt1017BlockAligned", 4096, kSaved, -2, 1024 + 1017},
        Dump{"ColonAt1017ThenATail", 5000, kSaved, -2, 1024 + 1017},
        Dump{"ColonAt1017NoEnding", 4396, kLost, 4196, 1024 + 1017},
        // No marker seven bytes before the end.
        Dump{"ShortTail1NoMarker", 1025, kLost, 1005},
        Dump{"ShortTail2NoMarker", 1026, kLost, 1006},
        Dump{"ShortTail3NoMarker", 1027, kLost, 1007},
        Dump{"ShortTail4NoMarker", 1028, kLost, 1008},
        Dump{"ShortTail5NoMarker", 1029, kLost, 1009},
        Dump{"ShortTail6NoMarker", 1030, kLost, 1010}, Dump{"TailNoMarker", 1324, kLost, 1124},
        Dump{"HeaderOnly", 13, kLost, -1}, Dump{"BlocksNoMarker", 3072, kLost, -1},
        // Whole blocks still waiting when the line falls quiet are taken first.
        Dump{"BlocksWaitingUnnotified", 2548, kSaved, -2, -1, 0, -1, 0ms, 2535},
        // Slow desks, and pauses under three seconds, end nothing.
        Dump{"Sends300BytesASecond", 3000, kSaved, -2, -1, 3},
        Dump{"Sends100BytesASecond", 1100, kSaved, -2, -1, 1},
        Dump{"PausesAfterAColon", 5000, kSaved, -2, 2017, 19, 2024, 2700ms},
        Dump{"Pauses2500msInABlock", 3000, kSaved, -2, -1, 19, 1500, 2500ms},
        Dump{"Pauses2800msInABlock", 3000, kSaved, -2, -1, 19, 1500, 2800ms},
        Dump{"Pauses2999msInTheHeader", 2000, kSaved, -2, -1, 19, 5, 2999ms},
        // The device goes away, some bytes still held by the port: before
        // three quiet seconds nothing is saved, however complete it looks.
        Dump{"HangUpAfterQuiet", 1024, kDeviceLost, -2, -1, 0, -1, 0ms, 0, 100ms},
        Dump{"HangUpAfterQuietOneHeld", 2049, kDeviceLost, -2, -1, 0, -1, 0ms, 1, 100ms},
        Dump{"HangUpAfterLongQuiet", 2548, kDeviceLost, -2, -1, 0, -1, 0ms, 600, 2000ms},
        Dump{"HangUpJustBeforeThreeQuietSeconds", 2548, kDeviceLost, -2, -1, 0, -1, 0ms, 600,
             2999ms},
        Dump{"HangUpAfterQuietManyHeld", 5000, kDeviceLost, -2, -1, 0, -1, 0ms, 1500, 100ms},
        Dump{"HangUpAfterThreeQuietSeconds", 2548, kSaved, -2, -1, 0, -1, 0ms, 600, 3000ms},

        Dump{"HangUpAtOnce", 5000, kDeviceLost, -2, -1, 0, -1, 0ms, 0, 0ms},
        Dump{"HangUpTooSoon", 2548, kDeviceLost, -2, -1, 0, -1, 0ms, 600, 99ms},
        Dump{"HangUpSoon", 1024, kDeviceLost, -2, -1, 0, -1, 0ms, 0, 50ms},
        Dump{"HangUpMidDump", 2100, kDeviceLost, 2000, -1, 0, -1, 0ms, 0, 100ms},
        Dump{"HangUpAfterBlocks", 3072, kDeviceLost, 3000, -1, 0, -1, 0ms, 0, 100ms},
        Dump{"HangUpShortTail", 1030, kDeviceLost, 1020, -1, 0, -1, 0ms, 0, 100ms}),
    rowName);

// A complete backup, a pause, and then the next: a front end that keeps the
// line saves each whole in turn; the window saves the first and says that
// the second was not received. Without a pause, or with data instead of a
// header after it, the stream is one backup.
struct BackToBack
{
    const char *name;
    std::chrono::milliseconds pause;
    bool header;
    bool keepLine;
};

using BackToBackTest = Rows<ReceiveTest, BackToBack>;

TEST_P(BackToBackTest, TwoBackupsAreNeverOneFile)
{
    const BackToBack &b = GetParam();
    engine.keepLineBetweenBackups(b.keepLine);
    startReceive();
    const QByteArray first = stream(2548);
    QByteArray second = stream(3000);
    if (!b.header)
        second[12] = 'X';
    port.arrive(first);
    clock.advance(b.pause);
    port.arrive(second);
    clock.advance(3000ms);
    const bool two = b.header && b.pause >= SerialComm::kQuietCheck;
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), two ? first : first + second);
    EXPECT_EQ(port.PortOpen(), b.keepLine) << "the line is kept for the next backup";
    EXPECT_EQ(window.messages.size(), two && !b.keepLine ? 1 : 0);
    if (two && !b.keepLine) {
        EXPECT_TRUE(window.messages[0].startsWith("Another backup began on the line right after"));
    }
    if (!two || !b.keepLine)
        return;
    dialog.choose = path("next.txt");
    engine.cmdReceive_Click();
    clock.advance(3000ms);
    EXPECT_EQ(readFile(path("next.txt")), second);
    EXPECT_EQ(window.statusHistory.count("File has been saved."), 2);
    EXPECT_EQ(port.opens, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Receive, BackToBackTest,
    ::testing::Values(BackToBack{"ASecondApartInTheWindow", 1000ms, true, false},
                      BackToBack{"ASecondApartIntoAFolder", 1000ms, true, true},
                      BackToBack{"ATenthOfASecondApart", 100ms, true, true},
                      BackToBack{"WithoutAPause", 50ms, true, true},
                      BackToBack{"DataAfterThePause", 1000ms, false, true}),
    rowName);

// A header that differs from "GLOW ARRANGER" in any one byte is refused.
using WrongHeaderTest = Rows<ReceiveTest, int>;

TEST_P(WrongHeaderTest, OneWrongByteIsEnough)
{
    QByteArray header = "GLOW ARRANGER";
    header[GetParam()] = '\x01';
    startReceive();
    port.arrive(header + stream(2048).mid(13));
    EXPECT_EQ(window.messages, QStringList{"header data error, reset and retry"});
    // A byte that cannot be shown is a dot in the text, and itself in hex.
    QByteArray shown = "GLOW ARRANGER";
    shown[GetParam()] = '.';
    ASSERT_EQ(window.details.size(), 1);
    EXPECT_TRUE(window.details[0].contains('"' + shown + '"'));
    EXPECT_TRUE(window.details[0].contains(header.toHex(' ').toUpper()));
    expectEarlierFileIntact();
}

INSTANTIATE_TEST_SUITE_P(Receive, WrongHeaderTest, ::testing::Values(0, 4, 12),
                         [](const auto &info) { return "Byte" + std::to_string(info.param); });

} // namespace
