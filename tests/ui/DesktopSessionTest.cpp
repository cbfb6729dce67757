// Keeping the computer awake and telling a user who looks elsewhere: against
// logind and notification daemon mocks (python3-dbusmock) on a private bus.
#include "DesktopSession.h"
#include "Rows.h"
#include "TestWindow.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

class DesktopSessionTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (QProcess::execute(kPython, {"-c", "import dbusmock"}) != 0)
            GTEST_SKIP() << "python3-dbusmock is not installed";
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(bus.waitForStarted(5000));
        ASSERT_TRUE(bus.waitForReadyRead(5000));
        address = QString::fromLocal8Bit(bus.readLine()).trimmed();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        for (QProcess *mock : {&logind, &notifications})
            mock->setProcessEnvironment(env);
        logind.start(kPython, {"-m", "dbusmock", "--session", "-t", "logind", "-l",
                               dir.filePath("logind.log")});
        notifications.start(kPython, {"-m", "dbusmock", "--session", "-t", "notification_daemon",
                                      "-l", dir.filePath("notifications.log")});
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, QStringLiteral("zo-vovere-test-bus")));
        ASSERT_TRUE(connection->isConnected());
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                auto *names = connection->interface();
                return names->isServiceRegistered("org.freedesktop.login1").value() &&
                       names->isServiceRegistered("org.freedesktop.Notifications").value();
            },
            10000));
    }

    void TearDown() override
    {
        connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("zo-vovere-test-bus"));
        for (QProcess *process : {&logind, &notifications, &bus}) {
            process->kill();
            process->waitForFinished(2000);
        }
    }

    // (what, who, mode) of every inhibitor logind holds.
    QStringList inhibitors() const
    {
        const QDBusMessage reply = connection->call(
            QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", "ListInhibitors"));
        QStringList list;
        if (reply.type() != QDBusMessage::ReplyMessage)
            return {"<no answer>"};
        const QDBusArgument array = reply.arguments().at(0).value<QDBusArgument>();
        array.beginArray();
        while (!array.atEnd()) {
            QString what, who, why, mode;
            uint uid = 0, pid = 0;
            array.beginStructure();
            array >> what >> who >> why >> mode >> uid >> pid;
            array.endStructure();
            list << what + "|" + who + "|" + mode;
        }
        array.endArray();
        return list;
    }

    bool inhibitorsBecome(const QStringList &expected)
    {
        return QTest::qWaitFor([&] { return inhibitors() == expected; }, 5000);
    }

    QString notified() const
    {
        return QString::fromUtf8(TestFiles::read(dir.filePath("notifications.log")));
    }

    std::unique_ptr<TestWindow> window(ManualClock &clock, TestWindow::Fakes &fakes)
    {
        return std::make_unique<TestWindow>(
            store, clock, fakes, QStringList{QStringLiteral(ZO_SOURCE_DATA_DIR)},
            [this](frmGAbackup::Parts &parts) {
                parts.inhibitor = std::make_unique<SleepInhibitor>(*connection);
                parts.notifier = std::make_unique<DesktopNotifier>(*connection);
            });
    }

    const QStringList held{"sleep:idle|ZO Vovere|block"};
    QTemporaryDir dir;
    QProcess bus, logind, notifications;
    QString address;
    std::unique_ptr<QDBusConnection> connection;
    MemorySettingsStore store;
};

TEST_F(DesktopSessionTest, InhibitorIsTakenAndReleased)
{
    // Reached as the program reaches a bus: its daemon asked first.
    SleepInhibitor inhibitor(address, [this] { return *connection; });
    inhibitor.hold("testing");
    ASSERT_TRUE(inhibitorsBecome(held)) << inhibitors().join(',').toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return inhibitor.held(); }, 5000));
    EXPECT_EQ(inhibitor.bus().probes(), 1);
    inhibitor.release();
    EXPECT_FALSE(inhibitor.held());
    EXPECT_TRUE(inhibitorsBecome({})) << "released at once";

    // Released before logind has answered: the lock that comes is dropped.
    inhibitor.hold("testing");
    inhibitor.release();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return TestFiles::read(dir.filePath("logind.log")).count(" Inhibit ") == 2; }, 5000));
    EXPECT_TRUE(inhibitorsBecome({})) << inhibitors().join(',').toStdString();
    EXPECT_FALSE(inhibitor.held());
}

// Without a bus, for which none is started: a bus that cannot be reached.
class DesktopSessionWithoutABus : public ::testing::Test
{
  protected:
    int connects = 0;
    BusLink::Connect noBus = [this] {
        ++connects;
        return QDBusConnection(QStringLiteral("no-such-bus"));
    };
};

TEST_F(DesktopSessionWithoutABus, NothingHappens)
{
    SleepInhibitor inhibitor(noBus);
    inhibitor.hold("testing");
    EXPECT_FALSE(inhibitor.held());
    inhibitor.release();
    DesktopNotifier(noBus).notify("x", "y");
    EXPECT_EQ(connects, 2) << "each tried the bus once, and gave up quietly";
}

TEST_F(DesktopSessionWithoutABus, TheBusIsConnectedOnlyWhenFirstNeeded)
{
    // Connecting may start a session bus: nothing connects before it is used.
    SleepInhibitor inhibitor(noBus);
    DesktopNotifier notifier(noBus);
    EXPECT_EQ(connects, 0);
    inhibitor.hold("testing");
    inhibitor.release();
    inhibitor.hold("testing again");
    EXPECT_EQ(connects, 1);
    notifier.notify("x", "y");
    notifier.notify("x", "y");
    EXPECT_EQ(connects, 2);
}

// Cancel, a line error, a saved backup: each ends the lock.
struct Ending
{
    const char *name;
    enum
    {
        Canceled,
        LineError,
        Saved
    } how;
};

using DesktopSessionEnding = Rows<DesktopSessionTest, Ending>;

TEST_P(DesktopSessionEnding, HeldFromTheStartOfATransferToItsEnd)
{
    WindowHarness h;
    auto w = window(h.clock, h.fakes);
    h.fakes.dialog->choose = dir.filePath("backup.txt");
    w->cmdReceive->click();
    ASSERT_TRUE(inhibitorsBecome(held)) << inhibitors().join(',').toStdString();
    switch (GetParam().how) {
    case Ending::Canceled:
        w->cmdCancel->click();
        break;
    case Ending::LineError:
        h.fakes.port->raise(1004);
        break;
    case Ending::Saved:
        h.fakes.port->arrive(h.dump());
        h.clock.advance(3000ms);
        EXPECT_EQ(w->sbrPanel->text(), QString("File has been saved."));
        break;
    }
    EXPECT_TRUE(inhibitorsBecome({})) << inhibitors().join(',').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Receive, DesktopSessionEnding,
                         ::testing::Values(Ending{"Canceled", Ending::Canceled},
                                           Ending{"LineError", Ending::LineError},
                                           Ending{"Saved", Ending::Saved}),
                         rowName);

TEST_F(DesktopSessionTest, EndingIsNotifiedOnlyWhenTheWindowIsNotActive)
{
    WindowHarness h;
    auto w = window(h.clock, h.fakes);
    h.fakes.dialog->choose = dir.filePath("backup.txt");

    // Not shown, so not active: the user is looking elsewhere.
    w->cmdReceive->click();
    h.fakes.port->arrive(h.dump());
    h.clock.advance(3000ms);
    // The summary names the event, the body is the program's own text.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return notified().contains("\"Backup saved\" \"File has been saved.\""); }, 5000))
        << notified().toStdString();
    w->cmdReceive->click();
    h.fakes.port->raise(1004);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return notified().contains(
                "\"Transfer failed\" \"framing error on com port, reset and retry\"");
        },
        5000))
        << notified().toStdString();
    EXPECT_EQ(notified().count("Notify"), 2) << notified().toStdString();

    // Active: the window says it itself.
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->cmdReceive->click();
    h.fakes.port->arrive(h.dump());
    h.clock.advance(3000ms);
    EXPECT_TRUE(QTest::qWaitFor([&] { return notified().count("Notify") == 2; }, 5000))
        << notified().toStdString();
}

// Both buses at a socket that accepts and never answers, as a hung daemon
// does: nothing the window does waits for them, and Qt, which would wait for
// good, is never asked to connect.
TEST(StuckBus, KeepingAwakeAndNotifyingCostNothing)
{
    // The notification is due only while no window of the program has the
    // keyboard.
    ASSERT_EQ(QGuiApplication::focusWindow(), nullptr) << "a window of an earlier case is left";
    QTemporaryDir dir;
    QLocalServer server;
    ASSERT_TRUE(server.listen(dir.filePath("bus")));
    QList<QLocalSocket *> clients; // kept open, never answered
    QObject::connect(&server, &QLocalServer::newConnection,
                     [&] { clients << server.nextPendingConnection(); });
    const QByteArray address = "unix:path=" + QFile::encodeName(server.fullServerName());
    std::vector<std::pair<const char *, QByteArray>> saved;
    for (const char *name : {"DBUS_SYSTEM_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS"}) {
        saved.emplace_back(name, qgetenv(name));
        qputenv(name, address);
    }
    {
        ManualClock clock;
        TestWindow::Fakes fakes{};
        MemorySettingsStore store;
        TestWindow window(store, clock, fakes, {QStringLiteral(ZO_SOURCE_DATA_DIR)},
                          [](frmGAbackup::Parts &parts) {
                              parts.inhibitor = std::make_unique<SleepInhibitor>();
                              parts.notifier = std::make_unique<DesktopNotifier>();
                          });
        SleepInhibitor inhibitor;
        fakes.dialog->choose = dir.filePath("backup.txt");
        QElapsedTimer elapsed;
        elapsed.start();
        for (int round = 0; round < 3; ++round) {
            window.cmdReceive->click(); // keeps the computer awake
            ASSERT_EQ(window.engine().state().RxState, 1) << "the port was not opened at once";
            window.cmdCancel->click(); // the window is not active: a notification is due
        }
        inhibitor.hold("testing");
        EXPECT_LT(elapsed.elapsed(), 300);
        EXPECT_EQ(window.sbrPanel->text(), QString("Action canceled"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return clients.size() == 3; }, 2000))
            << "each bus is asked once: " << clients.size();
        QTest::qWait(int(BusLink::kGreetingLimit.count()) + 300);
        EXPECT_FALSE(inhibitor.held());
        // Asked again at the next use: a daemon may have come back.
        inhibitor.release();
        inhibitor.hold("again");
        EXPECT_EQ(inhibitor.bus().probes(), 2);
    }
    for (const auto &[name, value] : saved)
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
}

} // namespace
