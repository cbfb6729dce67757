// The program from a terminal as a script or a user runs it: the real
// program without a display, the simulator on the far end of a
// pseudo-terminal it does not hold open, files in a temporary folder.
#include "DiskTarget.h"
#include "FarEnds.h"
#include "Rows.h"
#include "SimStream.h"
#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

class TerminalRun : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    }
    // The program on the simulator's line (or on line).
    QProcess &program(QStringList args, const QString &line = {})
    {
        return ends.start(ZO_PROGRAM_PATH,
                          args << "--port" << (line.isEmpty() ? ends.device : line), env);
    }
    QString errorsOnceSaid(QProcess &process, const QString &text, int times = 1, int ms = 10000)
    {
        return ends.errorsOnceSaid(process, text, times, ms);
    }
    int exitCode(QProcess &process) { return ends.exitCode(process); }
    // The program with arguments as bytes, as a shell hands them over.
    QProcess &programWithBytes(const QList<QByteArray> &args)
    {
        QString script = "exec \"$0\"";
        for (const QByteArray &arg : args) {
            QString octal;
            for (const char c : arg)
                octal += QString("\\0%1").arg(quint8(c), 3, 8, QLatin1Char('0'));
            script += " \"$(printf '%b' '" + octal + "')\"";
        }
        return ends.start("sh", {"-c", script + " --port \"$1\"", ZO_PROGRAM_PATH, ends.device},
                          env);
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    FarEnds ends;
    std::map<QProcess *, QString> &said = ends.said;
};

TEST_F(TerminalRun, SendsAFixtureProfileByteForByte)
{
    const QByteArray profile = SimStream::generate(5000);
    QProcess &sim = ends.desk({"receive", "--quiet-ms", "1500", "--out", path("arrived")});
    QProcess &zo = program({"--send", TestFiles::write(path("Spot.gaf"), profile)});
    EXPECT_EQ(exitCode(zo), 0) << said[&zo].toStdString();
    EXPECT_TRUE(said[&zo].contains("\n5000 of 5000 bytes sent (100%)")) << said[&zo].toStdString();
    EXPECT_TRUE(said[&zo].endsWith("\nfile has been sent\n"));
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_TRUE(sim.readAll().contains("profile header: name \"SPOT    \", length 5000"));
    EXPECT_EQ(TestFiles::read(path("arrived")), profile);
}

struct Dump
{
    const char *name;
    QStringList deskArgs;
    int status;
    const char *words;
};

using ReceiveRun = Rows<TerminalRun, Dump>;

// A whole dump replaces the earlier backup; anything else leaves it as it
// was and nothing beside it.
TEST_P(ReceiveRun, SavesOnlyAWholeBackup)
{
    const QByteArray dump = SimStream::generate(6000);
    TestFiles::write(path("dump"), dump);
    const QString target = TestFiles::write(path("show.txt"), "earlier backup");
    QProcess &sim = ends.desk(QStringList{"dump", "--wait-enter", "--file", path("dump")} +
                              GetParam().deskArgs);
    QProcess &zo = program({"--receive", target, "--quiet"});
    // Bytes sent before the program has opened the line would be dropped.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return TestFiles::heldBy(zo.processId(), ends.device); }, 5000));
    const qint64 before = TestFiles::bytesRead(zo.processId());
    sim.write("\n");
    sim.waitForBytesWritten(2000);
    if (QString(GetParam().name) == "Interrupted") {
        // Interrupted with the header and a block taken off the line.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return TestFiles::bytesRead(zo.processId()) >= before + 2048; }, 10000));
        ::kill(pid_t(zo.processId()), SIGINT);
    }
    EXPECT_EQ(exitCode(zo), GetParam().status) << said[&zo].toStdString();
    EXPECT_EQ(said[&zo], GetParam().words);
    EXPECT_EQ(TestFiles::read(target), GetParam().status ? "earlier backup" : dump);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"dump", "show.txt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Terminal, ReceiveRun,
    ::testing::Values(
        Dump{"Whole", {"--fast"}, 0, "File has been saved.\n"},
        Dump{"CutShort", {"--stop-after", "3000"}, 1, "zo-vovere: Connection was lost.\n"},
        Dump{"Interrupted", {}, 130, "zo-vovere: Action canceled\n"}),
    rowName);

// Linux names are bytes: a file whose name is not UTF-8 is sent, a backup is
// saved under such a name, and one that names nothing is shown escaped.
TEST_F(TerminalRun, NamesThatAreNotUtf8)
{
    const QByteArray folder = QFile::encodeName(dir.path()) + "/shows\xe9";
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    const QByteArray profile = SimStream::generate(3000);
    QFile source;
    const int fd = ::open(folder + "/bad\xff\xfe.txt", O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_TRUE(source.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
    ASSERT_EQ(source.write(profile), profile.size());
    source.close();

    QProcess &sim =
        ends.desk({"receive", "--fast", "--quiet-ms", "1500", "--out", path("arrived")});
    QProcess &send = programWithBytes({"--send", folder + "/bad\xff\xfe.txt"});
    EXPECT_EQ(exitCode(send), 0) << said[&send].toStdString();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(TestFiles::read(path("arrived")), profile);

    TestFiles::write(path("dump"), profile);
    QProcess &desk = ends.desk({"dump", "--wait-enter", "--fast", "--file", path("dump")});
    QProcess &receive = programWithBytes({"--receive", folder + "/backup\xfe.txt", "-q"});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return TestFiles::heldBy(receive.processId(), ends.device); }, 5000));
    desk.write("\n");
    desk.waitForBytesWritten(2000);
    EXPECT_EQ(exitCode(receive), 0) << said[&receive].toStdString();
    QFile saved;
    ASSERT_TRUE(saved.open(::open(folder + "/backup\xfe.txt", O_RDONLY), QIODevice::ReadOnly,
                           QFileDevice::AutoCloseHandle));
    EXPECT_EQ(saved.readAll(), profile);

    QProcess &missing = programWithBytes({"--send", folder + "/nope\xff.txt"});
    EXPECT_EQ(exitCode(missing), 1);
    EXPECT_TRUE(said[&missing].contains("shows\\xE9/nope\\xFF.txt\" for sending: No such file"))
        << said[&missing].toStdString();
    TestFiles::removeAll(dir.path());
}

// The desk's backup button pressed twice: two dumps a second apart on a
// socat line are two backups, each whole.
TEST_F(TerminalRun, DumpsASecondApartAreTwoBackups)
{
    ASSERT_TRUE(ends.line(path("line-a"), path("line-b")));
    QDir(dir.path()).mkdir("backups");
    QProcess &zo = program({"--receive-into", path("backups")}, path("line-a"));
    errorsOnceSaid(zo, "Waiting for data transmission");
    const auto sent = [](QProcess &desk) {
        return (desk.state() == QProcess::NotRunning || desk.waitForFinished(10000)) &&
               desk.exitCode() == 0;
    };
    ASSERT_TRUE(sent(ends.desk({"dump", "--fast", "--length", "5000"}, path("line-b"))));
    ASSERT_TRUE(sent(ends.desk({"dump", "--fast", "--length", "7000", "--start-delay-ms", "1000"},
                               path("line-b"))));
    errorsOnceSaid(zo, ": File has been saved.", 2);
    ::kill(pid_t(zo.processId()), SIGTERM);
    EXPECT_EQ(exitCode(zo), 0) << said[&zo].toStdString();
    QStringList sizes;
    for (const QFileInfo &saved : QDir(path("backups")).entryInfoList(QDir::Files, QDir::Time))
        sizes << QString::number(saved.size());
    EXPECT_EQ(sizes, (QStringList{"7000", "5000"})) << said[&zo].toStdString();
}

// The save as the system sees it, traced in the real program: the copy
// synced, then renamed over the chosen name, then the renamed file synced,
// then its folder and its file system, and only then "File has been
// saved.". On FAT (here
// through FUSE, a file system the program does not know to replace in one
// step) an earlier file first steps aside under its own name, each step
// synced, and goes only once the new one is on the disk.
struct SaveOrder
{
    const char *name;
    bool fat;
    bool earlier;
};

class SaveOrderRun : public TerminalRun, public ::testing::WithParamInterface<SaveOrder>
{
  protected:
    // The file system calls of the save in the order they returned (strace
    // -y names each descriptor's file), files named by the roles they play.
    static QStringList saveCalls(const QString &log, const QString &target)
    {
        const auto role = [&](const QString &path) {
            if (path == target || path == DiskTarget::earlierName(target))
                return path == target ? QStringLiteral("TARGET") : QStringLiteral("EARLIER");
            if (path == target.section('/', 0, -2))
                return QStringLiteral("FOLDER");
            return path.startsWith(target + ".zo-vovere-") ? QStringLiteral("PART") : QString();
        };
        static const QRegularExpression whole(R"(^(\d+) +(.*)$)"),
            call(R"(^(\w+)\((\d+<([^>]*)>)?(.*)\) += (-?\d+))"),
            quoted(R"re("((?:[^"\\]|\\.)*)")re");
        QMap<QString, QString> unfinished; // per thread
        QStringList seen;
        for (const QString &line : log.split('\n')) {
            const auto w = whole.match(line);
            QString text = w.captured(2);
            if (text.endsWith("<unfinished ...>")) {
                unfinished[w.captured(1)] = text.chopped(16);
                continue;
            }
            if (text.startsWith("<... "))
                text = unfinished.take(w.captured(1)) + text.section("resumed>", 1).trimmed();
            const auto c = call.match(text);
            if (!c.hasMatch() || c.captured(5).toInt() < 0)
                continue;
            QStringList paths;
            for (auto q = quoted.globalMatch(c.captured(4)); q.hasNext();)
                paths << role(q.next().captured(1));
            const QString name = c.captured(1), file = role(c.captured(3));
            if ((name == "fsync" || name == "syncfs") && !file.isEmpty())
                seen << name + " " + file;
            else if (name.startsWith("rename") && paths.size() == 2)
                seen << "rename " + paths[0] + " > " + paths[1];
            else if (name == "unlink" && !paths.value(0).isEmpty())
                seen << "unlink " + paths[0];
            else if (name == "write" && c.captured(4).contains("\"File has been saved"))
                seen << "saved";
        }
        return seen;
    }
};

TEST_P(SaveOrderRun, EachStepIsOnTheDiskBeforeTheNext)
{
    QString folder = path("local");
    QDir().mkpath(folder);
    struct Unmount
    {
        QString path;
        ~Unmount()
        {
            if (!path.isEmpty() && QProcess::execute("fusermount", {"-u", path}) != 0)
                QProcess::execute("umount", {path});
        }
    } unmount;
    if (GetParam().fat) {
        if (::access("/dev/fuse", R_OK | W_OK) != 0)
            GTEST_SKIP() << "no FUSE here (/dev/fuse)";
        ASSERT_EQ(QProcess::execute("truncate", {"-s", "40M", path("fat.img")}), 0);
        ASSERT_EQ(QProcess::execute("mkfs.vfat", {"-F", "32", "-n", "SHOWS", path("fat.img")}), 0);
        folder = path("fat");
        QDir().mkpath(folder);
        ASSERT_EQ(QProcess::execute("fusefat", {"-o", "rw+", path("fat.img"), folder}), 0);
        unmount.path = folder;
    }
    const QString target = folder + "/show.txt";
    if (GetParam().earlier) {
        ASSERT_FALSE(TestFiles::write(target, "earlier backup").isEmpty());
    }
    const QByteArray dump = SimStream::generate(3000);
    QProcess &desk = ends.desk({"dump", "--wait-enter", "--fast", "--length", "3000"});
    // LeakSanitizer cannot run in a process that is traced already.
    QProcessEnvironment traced = env;
    traced.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
    QProcess &zo = ends.start("strace",
                              {"-f", "-qq", "-y", "-s", "64", "-o", path("trace"), "-e",
                               "trace=fsync,syncfs,rename,renameat,renameat2,"
                               "unlink,write",
                               ZO_PROGRAM_PATH, "--receive", target, "--port", ends.device},
                              traced);
    // Said once the line is open and set: the cue to start the desk.
    errorsOnceSaid(zo, "Waiting for data transmission");
    desk.write("\n");
    desk.waitForBytesWritten(2000);
    ASSERT_EQ(exitCode(zo), 0) << said[&zo].toStdString();
    EXPECT_EQ(TestFiles::read(target), dump);
    // The folder synced, then its whole file system.
    const QString folderSynced = "fsync FOLDER|syncfs FOLDER";
    const QStringList oneStep = QString("fsync PART|rename PART > TARGET|fsync TARGET|%1|saved")
                                    .arg(folderSynced)
                                    .split('|');
    const QStringList aside =
        QString("fsync PART|rename TARGET > EARLIER|fsync EARLIER|%1|"
                "rename PART > TARGET|fsync TARGET|%1|unlink EARLIER|%1|saved")
            .arg(folderSynced)
            .split('|');
    EXPECT_EQ(saveCalls(QString::fromLocal8Bit(TestFiles::read(path("trace"))), target),
              GetParam().fat && GetParam().earlier ? aside : oneStep);
}

INSTANTIATE_TEST_SUITE_P(Terminal, SaveOrderRun,
                         ::testing::Values(SaveOrder{"LocalIntoAnEmptyFolder", false, false},
                                           SaveOrder{"LocalOverAnEarlierBackup", false, true},
                                           SaveOrder{"FatIntoAnEmptyFolder", true, false},
                                           SaveOrder{"FatOverAnEarlierBackup", true, true}),
                         rowName);

// A line held by another program is refused with the holder named, and
// listed so; three backups in a row each land in a file of their own.
TEST_F(TerminalRun, BackupsIntoAFolderOnABusyLine)
{
    ASSERT_TRUE(ends.line(path("line-a"), path("line-b")));
    TestFiles::write(path("config/ZO Vovere/ZO Vovere.conf"),
                     "[Ports]\nCOM1=" + path("line-a").toLocal8Bit());
    QDir(dir.path()).mkdir("backups");
    QProcess &waiting = program({"--receive-into", path("backups")}, "com1");
    errorsOnceSaid(waiting, "Waiting for data transmission");
    QProcess &second = program({"--send", TestFiles::write(path("a.txt"), "a")}, "COM1");
    EXPECT_EQ(exitCode(second), 3);
    EXPECT_TRUE(said[&second].contains("in use by zo-vovere")) << said[&second].toStdString();
    QProcess &list = ends.start(ZO_PROGRAM_PATH, {"--list-ports"}, env);
    ASSERT_EQ(exitCode(list), 0);
    const QString listed = QString::fromLocal8Bit(list.readAllStandardOutput());
    EXPECT_TRUE(listed.contains(
        QRegularExpression("\nCOM1 +" + path("line-a") + " +- +in use by zo-vovere")))
        << listed.toStdString();
    for (int backup = 1; backup <= 3; ++backup) {
        QProcess &sim = ends.desk(
            {"dump", "--fast", "--length", QString::number(2000 * backup), "--linger-ms", "100"},
            path("line-b"));
        EXPECT_TRUE(sim.waitForFinished(10000));
        const QString saved = errorsOnceSaid(waiting, ": File has been saved.", backup);
        EXPECT_EQ(saved.count(": File has been saved."), backup) << saved.toStdString();
        // Backups are named after the second they are saved in.
        const qint64 second = QDateTime::currentSecsSinceEpoch();
        QTest::qWaitFor([&] { return QDateTime::currentSecsSinceEpoch() > second; }, 2000);
    }
    ::kill(pid_t(waiting.processId()), SIGTERM);
    EXPECT_EQ(exitCode(waiting), 0) << said[&waiting].toStdString();
    const QStringList saved = QDir(path("backups")).entryList(QDir::Files);
    ASSERT_EQ(saved.size(), 3) << saved.join(' ').toStdString();
    for (int backup = 1; backup <= 3; ++backup)
        EXPECT_EQ(QFileInfo(path("backups/") + saved[backup - 1]).size(), 2000 * backup);
}

} // namespace
