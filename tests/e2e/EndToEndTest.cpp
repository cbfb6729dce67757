// The real window, the real serial port and the controller simulator over a
// pseudo-terminal: what a user would see, and the bytes and files that result.
#include "Rows.h"
#include "ShutdownSignals.h"
#include "WindowParts.h"
#include "frmGAbackup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include "FarEnds.h"
#include "TestFiles.h"
#include "TestLine.h"

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace {

class EndToEndTest : public RecordingWindowTest
{
  protected:
    void SetUp() override { makeWindow(QStringLiteral(ZO_SOURCE_DATA_DIR)); }

    // A virtual line as users make one: socat joining two pseudo-terminals,
    // each end a link in the temporary folder. COM2 is pointed at the first;
    // the second is returned for the far end.
    QString startSocat()
    {
        const QString near = dir.filePath("line-a"), far = dir.filePath("line-b");
        if (!ends.line(near, far))
            return {};
        store.write("Ports", "COM2", near);
        return far;
    }

    // Starts the simulator and points COM2 at its line, unless it plays the
    // desk on a device of a line made otherwise.
    void startSim(const QStringList &args, const QString &device = {})
    {
        sim = &ends.desk(args, device);
        ASSERT_FALSE(ends.device.isEmpty()) << "the simulator did not start";
        if (device.isEmpty())
            store.write("Ports", "COM2", ends.device);
    }

    QString simOutput()
    {
        sim->waitForFinished(10000);
        return QString::fromLocal8Bit(sim->readAll());
    }

    static QByteArray randomBytes(int size)
    {
        QByteArray data(size, '\0');
        QRandomGenerator generator(size);
        for (char &c : data)
            c = char(generator.bounded(256));
        return data;
    }

    // Starts a receive into a target that already holds an earlier backup,
    // then lets the simulator begin its dump.
    void receiveWithDump(const QStringList &dumpArgs, const QString &device = {})
    {
        startSim(QStringList{"dump", "--wait-enter"} + dumpArgs, device);
        target = write("show.bak", "earlier backup");
        dialog->choose = target;
        window->cmdReceive->click();
        ASSERT_TRUE(window->portOpens());
        sim->write("\n");
    }

    // The copy goes on the target's own thread, as soon as the disk answers.
    static void expectOnlyEarlierBackupIn(const QString &folder)
    {
        const auto files = [&] { return QDir(folder).entryList(QDir::Files); };
        EXPECT_TRUE(QTest::qWaitFor([&] { return files() == QStringList{"show.bak"}; }, 2000))
            << files().join(' ').toStdString();
    }

    void expectEarlierBackupKept()
    {
        EXPECT_EQ(read(target), QByteArray("earlier backup"));
        expectOnlyEarlierBackupIn(dir.path());
        EXPECT_TRUE(window->cmdSend->isEnabled());
        EXPECT_FALSE(window->Comm1().PortOpen());
    }

    FarEnds ends;
    QProcess *sim = nullptr;
    QString target;
};

struct Sent
{
    const char *name;
    const char *file;
    int size;
    const char *header;
    bool overSocat; // the far end on the other side of a socat pair
    // More of the far end's options: one that hangs up under a second after
    // the last byte does so while the send waits for its completion.
    QStringList simArgs = {};
};

using SendTest = Rows<EndToEndTest, Sent>;

TEST_P(SendTest, ArrivesByteForByte)
{
    const Sent &c = GetParam();
    const QByteArray content = randomBytes(c.size);
    const QString far = c.overSocat ? startSocat() : QString();
    ASSERT_EQ(far.isEmpty(), !c.overSocat) << "socat did not make its line";
    startSim(QStringList{"receive", "--quiet-ms", "1500", "--out", dir.filePath("arrived")} +
                 c.simArgs,
             far);
    dialog->choose = write(c.file, content);
    window->cmdSend->click();
    ASSERT_TRUE(waitForStatus("file has been sent")) << status().toStdString();
    const QString report = simOutput();
    EXPECT_EQ(sim->exitCode(), 0) << report.toStdString();
    EXPECT_TRUE(report.contains(c.header)) << report.toStdString();
    EXPECT_EQ(read(dir.filePath("arrived")), content);
    EXPECT_TRUE(window->messages.isEmpty());
    EXPECT_TRUE(window->cmdSend->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, SendTest,
    ::testing::Values(Sent{"FixtureProfile", "Moving Head.gaf", 3000,
                           "profile header: name \"MOVING H\", length 3000", false},
                      Sent{"TextFile", "notes.txt", 2500, "no profile header", false},
                      Sent{"ProfileOverSocat", "profile.gaf", 5000,
                           "profile header: name \"PROFILE \", length 5000", true},
                      Sent{"FarEndHangsUpOnceItHasTheFile",
                           "notes.txt",
                           5000,
                           "no profile header",
                           false,
                           {"--fast", "--quiet-ms", "800"}}),
    rowName);

TEST_F(EndToEndTest, FullDiskEndsTheReceiveAndKeepsTheEarlierBackup)
{
    // A 16 KiB file system and a 24 KiB dump: the disk fills part way.
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const QString small = dir.filePath("small");
    QDir().mkpath(small);
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", small}) != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount
    {
        QString path;
        ~Unmount() { QProcess::execute("umount", {path}); }
    } unmount{small};

    startSim({"dump", "--wait-enter", "--length", "24576", "--fast", "--linger-ms", "6000"});
    target = TestFiles::write(small + "/show.bak", "earlier backup");
    dialog->choose = target;
    window->cmdReceive->click();
    ASSERT_TRUE(window->portOpens());
    sim->write("\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->messages.isEmpty(); }, 10000));
    EXPECT_TRUE(window->messages[0].contains(target));
    EXPECT_TRUE(window->messages[0].contains("No space left on device"))
        << window->messages[0].toStdString();
    EXPECT_EQ(status(), QString());
    EXPECT_EQ(read(target), QByteArray("earlier backup"));
    expectOnlyEarlierBackupIn(small);
    EXPECT_FALSE(window->Comm1().PortOpen());
}

TEST_F(EndToEndTest, PortHeldByAnotherProgramIsRefusedByName)
{
    startSim({"receive", "--fast", "--timeout-ms", "5000"});
    const QString device = store.read("Ports", "COM2", QString());
    QProcess other;
    other.start("sh", {"-c", QString("exec sleep 30 3<>'%1'").arg(device)});
    ASSERT_TRUE(other.waitForStarted(5000));
    ASSERT_TRUE(waitForProgramName(other, "sleep"));
    dialog->choose = write("notes.txt", "hello");
    window->cmdSend->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->messages.isEmpty(); }, 5000));
    EXPECT_TRUE(window->messages[0].startsWith(
        QString("Cannot open COM2 (%1) to send the file: the port is in use by sleep (process %2).")
            .arg(device)
            .arg(other.processId())))
        << window->messages[0].toStdString();
    EXPECT_TRUE(window->cmdSend->isEnabled());
    EXPECT_FALSE(window->Comm1().PortOpen());
    other.kill();
    other.waitForFinished(2000);
}

TEST_F(EndToEndTest, CancelDuringAReceive)
{
    receiveWithDump({"--length", "100000"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return status() == "1024 bytes received"; }, 10000));
    window->cmdCancel->click();
    EXPECT_EQ(status(), QString("Action canceled"));
    expectEarlierBackupKept();
}

TEST_F(EndToEndTest, SlowReaderGetsEveryByteOfASend)
{
    // The far end takes 4000 bytes a second; the pseudo-terminal swallows
    // much of the file at once and reports an empty transmit side. The end
    // of the send must not throw away what the reader has yet to take.
    const QByteArray content = randomBytes(40000);
    startSim({"receive", "--rate", "4000", "--quiet-ms", "1500", "--out", dir.filePath("arrived")});
    dialog->choose = write("big.txt", content);
    window->cmdSend->click();
    ASSERT_TRUE(waitForStatus("file has been sent", std::chrono::seconds(30)))
        << status().toStdString();
    const QString report = simOutput();
    EXPECT_EQ(sim->exitCode(), 0) << report.toStdString();
    EXPECT_EQ(read(dir.filePath("arrived")), content);
    EXPECT_TRUE(window->messages.isEmpty());
}

TEST_F(EndToEndTest, CancelDuringASend)
{
    const QByteArray content = randomBytes(400000);
    startSim(
        {"receive", "--rate", "20000", "--quiet-ms", "1500", "--out", dir.filePath("arrived")});
    dialog->choose = write("big.txt", content);
    window->cmdSend->click();
    // Cancel once a few chunks have gone out.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return status().endsWith(" bytes remaining") &&
                   status().section(' ', 0, 0).toInt() <= content.size() - 4 * 1024;
        },
        5000));
    window->cmdCancel->click();
    EXPECT_EQ(status(), QString("Action canceled"));
    EXPECT_FALSE(window->Comm1().PortOpen());
    EXPECT_EQ(read(dir.filePath("big.txt")), content) << "the source is kept";
    EXPECT_TRUE(simOutput().contains("received"));
    const QByteArray arrived = read(dir.filePath("arrived"));
    EXPECT_GE(arrived.size(), 3 * 1024);
    EXPECT_LT(arrived.size(), content.size());
    EXPECT_EQ(arrived, content.left(arrived.size()));
    // simOutput() waited for the far end to go, once the line had been quiet
    // for 1.5 s: longer than a completion would take to come.
    ASSERT_EQ(sim->state(), QProcess::NotRunning);
    EXPECT_EQ(status(), QString("Action canceled")) << "no completion follows a cancelled send";
}

// How a desk sends its dump and leaves the line, and how the receive must
// end: saved whole three quiet seconds after the last byte, whatever the line
// does afterwards, or with the message that says why and the earlier backup
// kept (a line that goes away before then is a failure). Never a cut backup
// reported saved.
struct DeskCase
{
    const char *name;
    int length;
    bool colonRich; // data of "abcdef:" repeated, where any cut can look like an end
    int colonAt;    // one more ':' where a pause after it looks like an end; -1: none
    QStringList simArgs;
    enum Ending
    {
        Saved,
        DeviceLost,
        Lost,
        BadHeader
    } ending;
    bool overSocat = false;
};

using DeskTest = Rows<EndToEndTest, DeskCase>;

TEST_P(DeskTest, ReceiveEndsAsTheRulesSay)
{
    const DeskCase c = GetParam();
    QByteArray stream = "GLOW ARRANGER";
    for (int i = 13; i < c.length; ++i)
        stream += c.colonRich ? "abcdef:"[i % 7] : char('A' + i % 26);
    if (c.colonAt > 0)
        stream[c.colonAt] = ':';
    stream[c.length - 7] = ':';
    const QString far = c.overSocat ? startSocat() : QString();
    ASSERT_EQ(far.isEmpty(), !c.overSocat) << "socat did not make its line";
    // The stream the desk sends lies in a folder of its own, beside the backup's.
    receiveWithDump(QStringList{"--file", write("desk/stream", stream)} + c.simArgs, far);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return status() == "File has been saved." || !window->messages.isEmpty(); }, 30000))
        << status().toStdString();
    const bool saved = status() == "File has been saved.";
    if (saved) {
        EXPECT_EQ(read(target), stream) << "reported saved, but not whole";
        EXPECT_TRUE(window->messages.isEmpty());
        EXPECT_GE(clock.elapsed(), 3000) << "saved before the line had been quiet";
    } else {
        const QString messages[] = {"", "port disconnected error on com port, reset and retry",
                                    "Connection was lost.", "header data error, reset and retry"};
        ASSERT_EQ(window->messages.size(), 1);
        EXPECT_TRUE(window->messages[0].startsWith(messages[c.ending]))
            << window->messages[0].toStdString();
        EXPECT_EQ(status(), QString()) << "nothing waits any more";
        expectEarlierBackupKept();
    }
    EXPECT_EQ(saved, c.ending == DeskCase::Saved);
    EXPECT_FALSE(window->Comm1().PortOpen());
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, DeskTest,
    ::testing::Values(
        DeskCase{"BlockAlignedFast", 3072, false, -1, {"--fast"}, DeskCase::Saved},
        DeskCase{"TailFast", 2548, false, -1, {"--fast"}, DeskCase::Saved},
        DeskCase{"ShortTailFast", 2049, false, -1, {"--fast"}, DeskCase::Saved},
        DeskCase{"TailAtTheLinesPace", 2548, false, -1, {"--rate", "1920"}, DeskCase::Saved},
        DeskCase{"PausesAfterAColonAtTheLinesPace",
                 5000,
                 false,
                 2017,
                 {"--rate", "1920", "--pause-after", "2024", "--pause-ms", "2700"},
                 DeskCase::Saved},
        DeskCase{"Sends300BytesASecond", 1500, false, -1, {"--rate", "300"}, DeskCase::Saved},
        DeskCase{"PausesInsideABlock",
                 3000,
                 false,
                 -1,
                 {"--rate", "1920", "--pause-after", "1500", "--pause-ms", "2800"},
                 DeskCase::Saved},
        DeskCase{
            "StopsPartWay", 8192, false, -1, {"--fast", "--stop-after", "2500"}, DeskCase::Lost},
        DeskCase{"WrongHeader", 2048, false, -1, {"--fast", "--wrong-header"}, DeskCase::BadHeader},
        DeskCase{"HangsUpAsSoonAsTheProgramHasTheDump",
                 3000,
                 true,
                 -1,
                 {"--rate", "8000", "--linger-ms", "0"},
                 DeskCase::DeviceLost},
        DeskCase{"HangsUpMidDump",
                 8192,
                 true,
                 -1,
                 {"--rate", "4000", "--stop-after", "3000", "--vanish"},
                 DeskCase::DeviceLost},
        DeskCase{"HangsUpHalfASecondAfterTheDump",
                 3000,
                 true,
                 -1,
                 {"--rate", "8000", "--linger-ms", "500"},
                 DeskCase::DeviceLost},
        DeskCase{"HangsUpAfterThreeQuietSeconds",
                 3000,
                 true,
                 -1,
                 {"--rate", "8000", "--linger-ms", "3500"},
                 DeskCase::Saved},
        DeskCase{"OverASocatPairAtTheLinesPace",
                 3000,
                 false,
                 -1,
                 {"--rate", "1920"},
                 DeskCase::Saved,
                 true},
        DeskCase{"OverASocatPairPausingAfterAColon",
                 3000,
                 false,
                 1017,
                 {"--fast", "--pause-after", "1024", "--pause-ms", "2500"},
                 DeskCase::Saved,
                 true}),
    rowName);

// A logout, a closed terminal, Ctrl+C or kill during a receive: it ends as
// Cancel ends it (the earlier backup untouched, the port and its lock file
// let go), and the program is told to quit.
using SignalTest = Rows<EndToEndTest, int>;

TEST_P(SignalTest, EndsATransferAsCancelDoes)
{
    ShutdownSignals shutdown;
    ASSERT_TRUE(shutdown.ok());
    QList<int> received;
    QObject::connect(&shutdown, &ShutdownSignals::received, [&](int number) {
        received << number;
        window->endOnSignal();
    });
    receiveWithDump({"--length", "100000"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return status() == "1024 bytes received"; }, 10000));
    const QString device = QFileInfo(store.read("Ports", "COM2", QString())).canonicalFilePath();
    const QString lock = "/run/lock/LCK.." + device.mid(5).replace('/', '_');
    const bool locking = QFileInfo(QStringLiteral("/run/lock")).isWritable();
    if (locking) {
        EXPECT_TRUE(QFile::exists(lock)) << lock.toStdString();
    }

    ASSERT_EQ(::kill(::getpid(), GetParam()), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !received.isEmpty(); }, 5000));
    EXPECT_EQ(received, QList<int>{GetParam()});
    EXPECT_EQ(status(), QString("Action canceled"));
    expectEarlierBackupKept();
    EXPECT_FALSE(QFile::exists(lock)) << "the lock file outlived the transfer";
    EXPECT_TRUE(window->messages.isEmpty());
}

// The program itself, its send dialog open: the signal closes it and ends
// the program with the status a shell gives that signal's death.
TEST_P(SignalTest, EndsTheProgramFromInsideADialog)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ZO_PROGRAM_PATH), {write("notes.txt", "hello")});
    ASSERT_TRUE(program.waitForStarted(5000));
    // The window up, the send dialog showing the file's folder.
    ASSERT_TRUE(QTest::qWaitFor([&] { return TestFiles::watches(program.processId(), dir.path()); },
                                10000));
    ASSERT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().toStdString();
    ::kill(pid_t(program.processId()), GetParam());
    ASSERT_TRUE(program.waitForFinished(5000)) << "still running after the signal";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 128 + GetParam());
    // Unloaded as Exit unloads: the settings were written.
    EXPECT_TRUE(
        TestFiles::read(dir.filePath("config/ZO Vovere/ZO Vovere.conf")).contains("recnamesave"));
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, SignalTest, ::testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const auto &info) { return std::string(sigabbrev_np(info.param)); });

} // namespace
