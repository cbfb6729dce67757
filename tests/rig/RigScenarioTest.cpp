// Scenarios that need real serial drivers: the real window (offscreen), engine
// and port on a 16550 or a USB adapter inside the rig's QEMU guest, the far
// end played by the host (tests/rig/rig.py) or by a second guest UART cabled
// to the adapter. Outside the guest every test says it was skipped.
//
// The guest talks to the host through lines "ZO-RIG: what" on its console:
// "unplug" and "replug" ask the host to pull and re-insert the adapter,
// "ready" says the program waits for the host's bytes, "saved" that the
// window has said "File has been saved." and the disk's log is marked.
#include "Rows.h"
#include "SerialCommPort.h"
#include "StartupSettings.h"
#include "TestFiles.h"
#include "WindowParts.h"
#include "frmGAbackup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

void tellHost(const char *what)
{
    std::printf("ZO-RIG: %s\n", what);
    std::fflush(stdout);
}

// The bytes of a file the host can check without being told them.
QByteArray pattern(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 7 + i / 251) & 0xFF);
    return data;
}

class RigScenario : public RecordingWindowTest
{
  protected:
    void SetUp() override
    {
        device = qEnvironmentVariable("ZO_RIG_DEVICE");
        if (device.isEmpty())
            GTEST_SKIP() << "runs inside the real-driver rig (tests/rig/rig.py)";
        store.write(StartupSettings::kPorts, StartupSettings::portKey(1), device);
        store.write(StartupSettings::kStartup, StartupSettings::kBackup,
                    StartupSettings::booleanText(true));
        makeWindow(QStringLiteral(ZO_SOURCE_DATA_DIR));
    }

    bool waitForMessage(std::chrono::milliseconds limit)
    {
        return QTest::qWaitFor([&] { return !window->messages.isEmpty(); }, int(limit.count()));
    }
    bool idle() const { return window->cmdSend->isEnabled() && !window->Comm1().PortOpen(); }

    // CPU seconds this process spends over a stretch of the event loop.
    static double cpuWhileIdle(std::chrono::milliseconds time)
    {
        const std::clock_t before = std::clock();
        QTest::qWait(int(time.count()));
        return double(std::clock() - before) / CLOCKS_PER_SEC;
    }

    QString device;
};

// The far end of the adapter: a guest UART cabled to it.
class FarEnd
{
  public:
    explicit FarEnd(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios raw{};
        ::tcgetattr(m_fd, &raw);
        ::cfmakeraw(&raw);
        raw.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&raw, B19200);
        ::cfsetospeed(&raw, B19200);
        ::tcsetattr(m_fd, TCSANOW, &raw);
        ::tcflush(m_fd, TCIOFLUSH);
    }
    ~FarEnd() { ::close(m_fd); }
    bool ok() const { return m_fd >= 0; }
    QByteArray take()
    {
        QByteArray got;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            got.append(buffer, n);
        return got;
    }
    // Until what was given has left this UART.
    void drain() { ::tcdrain(m_fd); }
    void give(const QByteArray &data)
    {
        for (qsizetype done = 0; done < data.size();) {
            const ssize_t n = ::write(m_fd, data.constData() + done, size_t(data.size() - done));
            if (n > 0)
                done += n;
            else
                QTest::qWait(5);
        }
    }

  private:
    int m_fd = -1;
};

bool waitForDevice(const QString &path, bool present, std::chrono::milliseconds limit)
{
    return QTest::qWaitFor([&] { return QFile::exists(path) == present; }, int(limit.count()));
}

// The host reads the line at 1920 bytes a second and measures how fully the
// send keeps it busy; here every chunk must reach the driver only once its
// queue has emptied.
TEST_F(RigScenario, PacedSend)
{
    const int size = qEnvironmentVariableIntValue("ZO_RIG_SEND_SIZE");
    ASSERT_GT(size, 0);
    std::vector<int> queuedAtHandOver;
    // Connected after the engine: runs right after it has handed the next
    // chunk over. Qt still holds that chunk; the driver must hold nothing.
    QObject::connect(&window->Comm1(), &SerialComm::OnComm, [&] {
        if (window->Comm1().CommEvent() == CommEvents::comEvSend && window->Comm1().PortOpen())
            queuedAtHandOver.push_back(window->Comm1().OutBufferCount());
    });
    dialog->choose = write("show.txt", pattern(size));
    window->cmdSend->click();
    ASSERT_TRUE(waitForStatus("file has been sent", 120s)) << status().toStdString();
    EXPECT_TRUE(window->messages.isEmpty()) << window->messages.join('|').toStdString();
    ASSERT_EQ(queuedAtHandOver.size(), size_t((size + 1023) / 1024));
    for (size_t i = 0; i + 1 < queuedAtHandOver.size(); ++i)
        EXPECT_LE(queuedAtHandOver[i], 1024) << "chunk " << i + 1 << " handed over early";
    EXPECT_EQ(queuedAtHandOver.back(), 0) << "the last notification finds nothing queued";
}

// The host sends part of a backup and then a BREAK.
TEST_F(RigScenario, BreakDuringReceive)
{
    const QString target = write("show.bak", "earlier backup");
    dialog->choose = target;
    window->cmdReceive->click();
    ASSERT_TRUE(window->portOpens()) << window->messages.join('|').toStdString();
    tellHost("ready");
    ASSERT_TRUE(waitForMessage(30s)) << status().toStdString();
    EXPECT_EQ(window->messages, QStringList{"break error on com port, reset and retry"});
    EXPECT_EQ(status(), QString());
    EXPECT_TRUE(idle());
    EXPECT_EQ(read(target), QByteArray("earlier backup"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"show.bak"});
}

// The adapter is pulled in the middle of a send and of a receive: one
// message, the window idle, no CPU spent on the dead device, the earlier
// backup intact; plugged back in, the next transfer works.
TEST_F(RigScenario, AdapterUnpluggedAndPluggedBackIn)
{
    const QString farPath = qEnvironmentVariable("ZO_RIG_FAR_END");
    ASSERT_FALSE(farPath.isEmpty());
    FarEnd far(farPath);
    ASSERT_TRUE(far.ok());

    // Mid-send: a file large enough to be still on its way when the adapter
    // goes (the emulated adapter does not pace the line).
    dialog->choose = write("big.txt", pattern(8 << 20));
    window->cmdSend->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().endsWith(" bytes remaining"); }, 10000));
    ASSERT_TRUE(window->portOpens()) << status().toStdString();
    QElapsedTimer detection;
    detection.start();
    tellHost("unplug");
    ASSERT_TRUE(waitForMessage(10s)) << status().toStdString();
    std::printf("ZO-RIG: note unplug detected in %lld ms during a send: %s\n",
                static_cast<long long>(detection.elapsed()), qPrintable(window->messages.value(0)));
    std::fflush(stdout);
    EXPECT_EQ(window->messages.size(), 1) << window->messages.join('|').toStdString();
    EXPECT_TRUE(window->messages[0] == "port disconnected error on com port, reset and retry" ||
                window->messages[0].contains("was not sent completely"))
        << window->messages[0].toStdString();
    EXPECT_TRUE(idle());
    EXPECT_LT(cpuWhileIdle(1s), 0.25) << "a vanished adapter must not keep the program busy";
    EXPECT_EQ(window->messages.size(), 1);
    EXPECT_NE(status(), QString("file has been sent"));

    tellHost("replug");
    ASSERT_TRUE(waitForDevice(device, true, 10s));
    far.take();
    window->messages.clear();

    // A short send after the adapter is back.
    const QByteArray small = pattern(3000);
    dialog->choose = write("small.txt", small);
    window->cmdSend->click();
    QByteArray arrived;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            arrived += far.take();
            return status() == "file has been sent";
        },
        20000))
        << status().toStdString() << " " << window->messages.join('|').toStdString();
    QTest::qWait(200);
    arrived += far.take();
    EXPECT_EQ(arrived, small);

    // Mid-receive.
    const QString target = write("show.bak", "earlier backup");
    dialog->choose = target;
    window->cmdReceive->click();
    ASSERT_TRUE(window->portOpens()) << window->messages.join('|').toStdString();
    QByteArray dump = "GLOW ARRANGER" + pattern(5000);
    dump[dump.size() - 7] = ':';
    far.give(dump.left(2500));
    ASSERT_TRUE(waitForStatus("2048 bytes received", 10s)) << status().toStdString();
    detection.restart();
    tellHost("unplug");
    ASSERT_TRUE(waitForMessage(10s)) << status().toStdString();
    std::printf("ZO-RIG: note unplug detected in %lld ms during a receive\n",
                static_cast<long long>(detection.elapsed()));
    std::fflush(stdout);
    ASSERT_EQ(window->messages.size(), 1);
    EXPECT_TRUE(window->messages[0].startsWith(
        "port disconnected error on com port, reset and retry\n\nThe line went down before"))
        << window->messages[0].toStdString();
    EXPECT_TRUE(idle());
    EXPECT_LT(cpuWhileIdle(1s), 0.25);
    EXPECT_EQ(read(target), QByteArray("earlier backup"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{"big.txt", "show.bak", "small.txt"}));

    tellHost("replug");
    ASSERT_TRUE(waitForDevice(device, true, 10s));
    far.take();
    window->messages.clear();

    // A whole backup after the adapter is back: saved three quiet seconds
    // after its last byte.
    window->cmdReceive->click();
    ASSERT_TRUE(window->portOpens());
    far.give(dump);
    ASSERT_TRUE(waitForStatus("File has been saved.", 20s))
        << status().toStdString() << " " << window->messages.join('|').toStdString();
    EXPECT_EQ(read(target), dump);
}

// The adapter pulled right after a complete backup whose data is full of
// ':', at offsets from none to a quarter of a second after the far end's
// last byte has left: the USB driver drops what it held, so nothing shows
// the backup complete and it is not saved. Pulled after three quiet seconds,
// it has lost nothing and is kept whole.
using RigUnplugAfterDump = Rows<RigScenario, int>;

TEST_P(RigUnplugAfterDump, AdapterUnpluggedRightAfterADump)
{
    const int offsetMs = GetParam();
    const QString farPath = qEnvironmentVariable("ZO_RIG_FAR_END");
    ASSERT_FALSE(farPath.isEmpty());
    FarEnd far(farPath);
    ASSERT_TRUE(far.ok());
    const QString target = dir.filePath("show.bak");
    dialog->choose = target;
    write("show.bak", "earlier backup");
    QByteArray dump = "GLOW ARRANGER";
    while (dump.size() < 2000 + 371 * offsetMs % 3000)
        dump += "abcdef:"[dump.size() % 7];
    dump[dump.size() - 7] = ':';
    window->cmdReceive->click();
    ASSERT_TRUE(window->portOpens()) << window->messages.join('|').toStdString();
    far.give(dump);
    far.drain();
    QTest::qWait(offsetMs);
    tellHost("unplug");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return status() == "File has been saved." || !window->messages.isEmpty(); }, 20000))
        << status().toStdString();
    const bool whole = status() == "File has been saved.";
    EXPECT_EQ(whole, offsetMs >= 3000);
    if (whole) {
        EXPECT_EQ(read(target), dump) << "a cut backup was reported saved";
    } else {
        ASSERT_EQ(window->messages.size(), 1);
        EXPECT_TRUE(
            window->messages[0].startsWith("port disconnected error on com port, reset and retry"))
            << window->messages[0].toStdString();
        EXPECT_EQ(read(target), QByteArray("earlier backup"));
    }
    EXPECT_TRUE(idle());
    ASSERT_TRUE(waitForDevice(device, false, 10s));
    tellHost("replug");
    ASSERT_TRUE(waitForDevice(device, true, 10s));
    QTest::qWait(300);
    far.take();
    std::printf("ZO-RIG: note unplugged %d ms after a dump: %s\n", offsetMs,
                whole ? "kept whole" : "lost-device");
    std::fflush(stdout);
}

INSTANTIATE_TEST_SUITE_P(Rig, RigUnplugAfterDump,
                         ::testing::Values(0, 10, 30, 60, 100, 150, 250, 3300),
                         [](const auto &info) { return std::to_string(info.param) + "ms"; });

// From a terminal, without a window: a send and a receive through the
// adapter, each byte for byte.
TEST_F(RigScenario, TransfersFromATerminal)
{
    FarEnd far(qEnvironmentVariable("ZO_RIG_FAR_END"));
    ASSERT_TRUE(far.ok());
    const QByteArray sent = pattern(4000);
    QProcess zo;
    zo.start(ZO_PROGRAM_PATH, {"--send", write("notes.txt", sent), "--port", device, "-q"});
    QByteArray arrived;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            arrived += far.take();
            return zo.state() == QProcess::NotRunning;
        },
        30000));
    QTest::qWait(200);
    arrived += far.take();
    EXPECT_EQ(zo.exitCode(), 0) << zo.readAllStandardError().toStdString();
    EXPECT_EQ(arrived, sent);

    const QString target = write("show.bak", "earlier backup");
    zo.start(ZO_PROGRAM_PATH, {"--receive", target, "--port", device});
    // The line is set to its speed after it is opened: the desk is started
    // when the program says it waits, as its operator would.
    QByteArray said;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (said += zo.readAllStandardError()).contains("Waiting for data"); }, 10000))
        << said.toStdString();
    QByteArray dump = "GLOW ARRANGER" + pattern(5000);
    dump[dump.size() - 7] = ':';
    far.give(dump);
    ASSERT_TRUE(zo.waitForFinished(30000));
    said += zo.readAllStandardError();
    EXPECT_TRUE(said.endsWith("\nFile has been saved.\n")) << said.toStdString();
    EXPECT_EQ(zo.exitCode(), 0);
    EXPECT_EQ(read(target), dump);
}

// Backups received onto disks whose every write is logged (dm-log-writes):
// the host sends each dump at the line's pace, and the log is marked the
// moment the window says the backup is saved. The host then replays the log
// to every crash point and checks what each would have left.
TEST_F(RigScenario, ReceiveOntoALoggedDisk)
{
    const QStringList targets = qEnvironmentVariable("ZO_RIG_TARGETS").split(' ');
    const QStringList logs = qEnvironmentVariable("ZO_RIG_LOGS").split(' ');
    ASSERT_EQ(targets.size(), logs.size());
    for (qsizetype i = 0; i < targets.size(); ++i) {
        window->messages.clear();
        dialog->choose = targets[i];
        window->cmdReceive->click();
        ASSERT_TRUE(window->portOpens()) << window->messages.join('|').toStdString();
        tellHost("ready");
        ASSERT_TRUE(waitForStatus("File has been saved.", 60s))
            << status().toStdString() << window->messages.join('|').toStdString();
        EXPECT_EQ(QProcess::execute("dmsetup", {"message", logs[i], "0", "mark", "saved"}), 0);
        tellHost("saved");
        EXPECT_TRUE(window->messages.isEmpty()) << window->messages.join('|').toStdString();
    }
}

} // namespace
