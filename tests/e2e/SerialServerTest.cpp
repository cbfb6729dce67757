// Desks behind serial device servers as venues run them: Debian's ser2net
// with a configuration of the test's own, in front of a socat line whose far
// end the simulator plays. The program reaches each desk over rfc2217:// or
// tcp://, from the window and from the terminal.
#include "FarEnds.h"
#include "PortList.h"
#include "PortSettingsDialog.h"
#include "Rows.h"
#include "SimStream.h"
#include "WindowParts.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTreeWidget>

namespace {

class SerialServerTest : public RecordingWindowTest
{
  protected:
    struct Desk
    {
        QString far; // the simulator's end of the line
        quint16 rfc2217 = 0, raw = 0;
        QString url(bool overRaw) const
        {
            return overRaw ? QString("tcp://127.0.0.1:%1").arg(raw)
                           : QString("rfc2217://127.0.0.1:%1").arg(rfc2217);
        }
    };

    void SetUp() override
    {
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    }

    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

    // count desks, each on its own line, behind one server that offers each
    // line both ways; false when something did not start.
    bool startServer(int count = 1)
    {
        QString config;
        for (int i = 0; i < count; ++i) {
            Desk desk{dir.filePath(QString("desk%1").arg(i)), freePort(), freePort()};
            const QString near = dir.filePath(QString("server%1").arg(i));
            if (!ends.line(near, desk.far))
                return false;
            for (const auto &[accepter, port] :
                 {std::pair{QString("telnet(rfc2217),tcp"), desk.rfc2217},
                  std::pair{QString("tcp"), desk.raw}})
                config += QString("connection: &c%1\n  accepter: %2,127.0.0.1,%1\n"
                                  "  connector: serialdev,%3,19200n81,local\n")
                              .arg(port)
                              .arg(accepter, near);
            desks.push_back(desk);
        }
        TestFiles::write(dir.filePath("ser2net.yaml"), config.toUtf8());
        server = &ends.start("ser2net", {"-n", "-u", "-c", dir.filePath("ser2net.yaml"), "-P",
                                         dir.filePath("ser2net.pid")});
        // Ready once it listens on every port; a look by connecting would
        // make it open a line.
        return QTest::qWaitFor(
            [&] {
                const QByteArray sockets = TestFiles::read("/proc/net/tcp");
                for (const Desk &desk : desks) {
                    for (const quint16 port : {desk.rfc2217, desk.raw}) {
                        const QString listening = QString(":%1 00000000:0000 0A")
                                                      .arg(port, 4, 16, QLatin1Char('0'))
                                                      .toUpper();
                        if (!sockets.contains(listening.toLatin1()))
                            return false;
                    }
                }
                return true;
            },
            5000);
    }

    QProcess &program(const QStringList &args)
    {
        return ends.start(ZO_PROGRAM_PATH, args, env);
    }
    QString errorsOnceSaid(QProcess &process, const QString &text, int times = 1, int ms = 15000)
    {
        return ends.errorsOnceSaid(process, text, times, ms);
    }
    int exitCode(QProcess &process) { return ends.exitCode(process); }
    QProcess &sim(const QStringList &args, int desk = 0)
    {
        return ends.desk(args, desks[std::size_t(desk)].far);
    }

    // COM2 set to url in Port Settings, once its status there reads reachable.
    void chooseInPortSettings(const QString &url)
    {
        SystemPortList ports;
        PortSettingsDialog settings(store, ports);
        for (auto *combo : settings.findChildren<QComboBox *>()) {
            if (combo->accessibleName() == "Device for COM2") {
                combo->setEditText(url);
                emit combo->lineEdit()->editingFinished();
            }
        }
        auto *table = settings.findChild<QTreeWidget *>();
        const auto status = [&] {
            const auto found = table->findItems(url, Qt::MatchExactly, 0);
            return found.isEmpty() ? QString() : found.first()->text(1);
        };
        EXPECT_TRUE(QTest::qWaitFor([&] { return status() == "reachable"; }, 5000))
            << status().toStdString();
        settings.accept();
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    FarEnds ends;
    QProcess *server = nullptr;
    std::vector<Desk> desks;
    std::map<QProcess *, QString> &errors = ends.said;
};

struct Transfer
{
    const char *name;
    bool overRaw;
    bool send;
    bool inTheWindow;
};

using TransferTest = Rows<SerialServerTest, Transfer>;

TEST_P(TransferTest, ArrivesByteForByte)
{
    const Transfer &c = GetParam();
    ASSERT_TRUE(startServer());
    const QString url = desks[0].url(c.overRaw);
    const QByteArray profile = SimStream::generate(4000);
    const QByteArray backup = SimStream::generate(3000);
    const QString file = write(c.send ? "profile.gaf" : "show.txt",
                               c.send ? profile : QByteArray("earlier backup"));
    QProcess &desk = c.send ? sim({"receive", "--quiet-ms", "1500", "--out", dir.filePath("got")})
                            : sim({"dump", "--length", "3000", "--start-delay-ms", "700"});
    if (c.inTheWindow) {
        chooseInPortSettings(url);
        makeWindow(QStringLiteral(ZO_SOURCE_DATA_DIR));
        dialog->choose = file;
        (c.send ? window->cmdSend : window->cmdReceive)->click();
        EXPECT_TRUE(waitForStatus(c.send ? "file has been sent" : "File has been saved."))
            << status().toStdString() << window->messages.join('\n').toStdString();
    } else {
        QProcess &run = program({c.send ? "--send" : "--receive", file, "--port", url});
        EXPECT_EQ(exitCode(run), 0) << errors[&run].toStdString();
    }
    desk.waitForFinished(10000);
    EXPECT_EQ(desk.exitCode(), 0) << desk.readAll().toStdString();
    EXPECT_EQ(read(c.send ? dir.filePath("got") : file), c.send ? profile : backup);
}

INSTANTIATE_TEST_SUITE_P(
    SerialServer, TransferTest,
    ::testing::Values(Transfer{"SendOverRfc2217", false, true, false},
                      Transfer{"ReceiveOverRfc2217", false, false, false},
                      Transfer{"SendOverRawTcp", true, true, false},
                      Transfer{"ReceiveOverRawTcp", true, false, false},
                      Transfer{"SendInTheWindow", false, true, true},
                      Transfer{"ReceiveInTheWindow", false, false, true},
                      Transfer{"ReceiveInTheWindowOverRawTcp", true, false, true}),
    rowName);

// The server killed while the transfer runs: the transfer fails, naming the
// server, and an earlier backup stays as it was with nothing beside it.
using ServerKilledTest = Rows<SerialServerTest, Transfer>;

TEST_P(ServerKilledTest, FailsAndKeepsTheEarlierBackup)
{
    const Transfer &c = GetParam();
    ASSERT_TRUE(startServer());
    const QString file = write(c.send ? "profile.txt" : "show.txt",
                               c.send ? QByteArray(6000, 'p') : QByteArray("earlier backup"));
    QProcess &desk = c.send ? sim({"receive", "--out", dir.filePath("got")})
                            : sim({"dump", "--length", "20000", "--start-delay-ms", "300"});
    const qint64 deskRead = TestFiles::bytesRead(desk.processId());
    QProcess &run = program({c.send ? "--send" : "--receive", file, "--port",
                             desks[0].url(c.overRaw)});
    // Under way on the line: the desk has read a chunk, or the header came
    // (a count alone may stand for bytes still waiting for the connection).
    if (c.send)
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return TestFiles::bytesRead(desk.processId()) >= deskRead + 1024; }, 10000));
    else
        errorsOnceSaid(run, "header received");
    server->kill();
    EXPECT_EQ(exitCode(run), 1) << errors[&run].toStdString();
    EXPECT_TRUE(errors[&run].contains(desks[0].url(c.overRaw) + " ended")) << errors[&run].toStdString();
    EXPECT_FALSE(errors[&run].contains(c.send ? "file has been sent" : "File has been saved."));
    if (!c.send) {
        EXPECT_EQ(read(file), QByteArray("earlier backup"));
        EXPECT_EQ(QDir(dir.path()).entryList({"show*"}, QDir::Files), QStringList{"show.txt"});
    }
}

INSTANTIATE_TEST_SUITE_P(SerialServer, ServerKilledTest,
                         ::testing::Values(Transfer{"MidReceiveOverRfc2217", false, false, false},
                                           Transfer{"MidReceiveOverRawTcp", true, false, false},
                                           Transfer{"MidSendOverRfc2217", false, true, false}),
                         rowName);

// A server that cannot be reached, or turns the program away because
// another client holds the line, is named with what to check (status 3).
struct Refusal
{
    const char *name;
    bool overRaw;
    bool secondClient; // otherwise nothing listens on the port
    const char *said;
    const char *url = nullptr; // instead of the server's or a free port's
};

using RefusalTest = Rows<SerialServerTest, Refusal>;

TEST_P(RefusalTest, NamesTheServerAndWhatToCheck)
{
    const Refusal &c = GetParam();
    ASSERT_TRUE(startServer());
    const QString url = c.url            ? QString(c.url)
                        : c.secondClient ? desks[0].url(c.overRaw)
                                         : QString("rfc2217://127.0.0.1:%1").arg(freePort());
    QTcpSocket first;
    if (c.secondClient) {
        first.connectToHost(QHostAddress::LocalHost, c.overRaw ? desks[0].raw : desks[0].rfc2217);
        ASSERT_TRUE(first.waitForConnected(2000));
        // The server has taken the first client once it holds the line (over
        // RFC 2217, once it has greeted it).
        ASSERT_TRUE(c.overRaw || first.waitForReadyRead(2000));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return TestFiles::heldBy(server->processId(), dir.filePath("server0")); }, 5000));
    }
    QProcess &run = program({"--receive", dir.filePath("show.txt"), "--port", url});
    EXPECT_EQ(exitCode(run), 3) << errors[&run].toStdString();
    EXPECT_TRUE(errors[&run].contains("Cannot reach the serial server " + url)) << errors[&run].toStdString();
    EXPECT_TRUE(errors[&run].contains(c.said)) << errors[&run].toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("show.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    SerialServer, RefusalTest,
    ::testing::Values(Refusal{"NothingListens", false, false, "the connection was refused"},
                      Refusal{"NameNotFound", true, false, "the name desk.invalid was not found",
                              "tcp://desk.invalid:4001"},
                      Refusal{"SecondClientOverRfc2217", false, true, "\"Port already in use\""},
                      Refusal{"SecondClientOverRawTcp", true, true, "\"Port already in use\""}),
    rowName);

// One archive host, four desks dumping at once, two backups each: every
// backup whole, in its own desk's folder, and only the newest kept.
TEST_F(SerialServerTest, FourDesksArchiveIntoTheirOwnFolders)
{
    constexpr int kDesks = 4;
    ASSERT_TRUE(startServer(kDesks));
    std::vector<QProcess *> hosts;
    for (int i = 0; i < kDesks; ++i) {
        const QString folder = dir.filePath(QString("archive%1").arg(i));
        QDir().mkpath(folder);
        hosts.push_back(&program({"--receive-into", folder, "--port", desks[i].url(i % 2 == 1),
                                  "--keep", "1"}));
    }
    for (int round = 1; round <= 2; ++round) {
        std::vector<QProcess *> dumps;
        for (int i = 0; i < kDesks; ++i)
            dumps.push_back(&sim({"dump", "--length", QString::number(1000 * (i + round)),
                                  "--start-delay-ms", "300"},
                                 i));
        for (int i = 0; i < kDesks; ++i) {
            const QString said = errorsOnceSaid(*hosts[i], "File has been saved.", round);
            EXPECT_EQ(said.count("File has been saved."), round) << said.toStdString();
            // Said after the saved backup, once the older one has gone.
            EXPECT_EQ(errorsOnceSaid(*hosts[i], "removed the older backup", round - 1)
                          .count("removed the older backup"),
                      round - 1);
        }
        for (QProcess *dump : dumps)
            dump->waitForFinished(5000);
    }
    for (int i = 0; i < kDesks; ++i) {
        const QDir folder(dir.filePath(QString("archive%1").arg(i)));
        const QStringList kept = folder.entryList({"backup-*.txt"}, QDir::Files);
        ASSERT_EQ(kept.size(), 1) << kept.join(' ').toStdString();
        EXPECT_EQ(read(folder.filePath(kept.first())), SimStream::generate(1000 * (i + 2)));
        hosts[i]->terminate();
        EXPECT_EQ(exitCode(*hosts[i]), 0) << errors[hosts[i]].toStdString();
    }
}

} // namespace
