// The real port on a pseudo-terminal pair, the test holding the controller's
// end. Pseudo-terminals ignore the baud rate: these tests check byte flow,
// thresholds and the order and number of notifications, not timing.
#include "SerialCommPort.h"
#include "PortUsers.h"
#include "Rows.h"
#include "TestFiles.h"
#include "TestLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;
using namespace CommEvents;

namespace {

// The system's answers about the line, except those the test scripts.
class ScriptedDriver final : public LineDriver
{
  public:
    Count inputQueue(int fd) const override
    {
        return inQueue ? *inQueue : system()->inputQueue(fd);
    }
    Count outputQueue(int fd) const override
    {
        if (outQueue.empty())
            return system()->outputQueue(fd);
        const int queued = outQueue.front();
        outQueue.pop_front();
        return {Count::State::Known, queued};
    }
    bool counters(int fd, Counters &out) const override
    {
        if (!counts)
            return system()->counters(fd, out);
        out = *counts;
        return true;
    }
    bool lockExclusive(int fd) const override { return system()->lockExclusive(fd); }
    qint64 writeNow(int fd, const char *data, qint64 size) const override
    {
        return system()->writeNow(fd, data, size);
    }
    qint64 readNow(int fd, char *data, qint64 size) const override
    {
        return system()->readNow(fd, data, size);
    }

    std::optional<Count> inQueue;     // the answer about the input queue, when set
    mutable std::deque<int> outQueue; // the next answers about the output queue
    std::optional<Counters> counts;   // the driver's error counters, when set
};

class SerialCommPortTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.ok()) << "no line available";
        port = std::make_unique<SerialCommPort>(
            [this](int n) {
                return n == 1 ? line.path() : QStringLiteral("/dev/zo-vovere-no-such-device");
            },
            nullptr, driver);
        port->setCommPort(1);
        QObject::connect(port.get(), &SerialComm::OnComm, [this] {
            events.push_back(port->CommEvent());
            if (onComm)
                onComm();
        });
    }

    // Runs the event loop for a while, sleeping while nothing happens.
    void pump(std::chrono::milliseconds time)
    {
        QEventLoop loop;
        QTimer::singleShot(time, &loop, &QEventLoop::quit);
        loop.exec();
    }

    // What the program sent, read at the controller's end while the event
    // loop keeps Qt's writing going.
    QByteArray readSent(qsizetype count, std::chrono::milliseconds limit = 5s)
    {
        QByteArray all;
        QElapsedTimer t;
        t.start();
        while (all.size() < count && t.elapsed() < limit.count()) {
            pump(1ms);
            all += line.read(count - all.size(), 1ms);
        }
        return all;
    }

    bool pumpUntil(const std::function<bool()> &done, std::chrono::milliseconds limit = 5s)
    {
        return QTest::qWaitFor(done, int(limit.count()));
    }

    // Receives like the transfer does: reads exactly the threshold on each
    // notification and moves it 13 -> 1011 -> 1024.
    void readLikeAReceive()
    {
        onComm = [this] {
            if (port->CommEvent() != comEvReceive)
                return;
            const int n = port->RThreshold();
            port->setInputLen(n);
            const QByteArray got = port->Input();
            reads.push_back(int(got.size()));
            received += got;
            port->setRThreshold(n == 13 ? 1011 : 1024);
        };
    }

    // Writes data a byte at a time with a millisecond between bytes, as a
    // slow line hands them over, the event loop running meanwhile.
    void trickle(const QByteArray &data)
    {
        for (char c : data) {
            ASSERT_TRUE(line.write(QByteArray(1, c)));
            pump(1ms);
        }
    }

    // Takes every byte on each receive notification.
    void readEverything()
    {
        port->setRThreshold(1);
        onComm = [this] {
            if (port->CommEvent() != comEvReceive)
                return;
            port->setInputLen(0);
            received += port->Input();
        };
    }

    bool portTimerRunning() const
    {
        const auto timers = port->findChildren<QTimer *>();
        return std::any_of(timers.begin(), timers.end(), [](QTimer *t) { return t->isActive(); });
    }

    static QByteArray pattern(int size)
    {
        QByteArray data(size, '\0');
        for (int i = 0; i < size; ++i)
            data[i] = char((i * 7 + i / 256) & 0xFF);
        return data;
    }

    TestLine line;
    std::shared_ptr<ScriptedDriver> driver = std::make_shared<ScriptedDriver>();
    std::unique_ptr<SerialCommPort> port;
    std::vector<int> events;
    std::vector<int> reads;
    QByteArray received;
    std::function<void()> onComm;
};

TEST_F(SerialCommPortTest, ThresholdsStepThroughABurstBlockByBlock)
{
    ASSERT_TRUE(port->setPortOpen(true));
    port->setRThreshold(13);
    readLikeAReceive();
    const QByteArray stream = pattern(13 + 1011 + 1024 + 1024 + 500);
    ASSERT_TRUE(line.write(stream));
    ASSERT_TRUE(pumpUntil([&] { return reads.size() == 4; }));
    pump(50ms);
    EXPECT_EQ(reads, (std::vector<int>{13, 1011, 1024, 1024}));
    EXPECT_EQ(received, stream.left(3072));
    EXPECT_EQ(port->InBufferCount(), 500); // the tail waits, below the threshold
}

TEST_F(SerialCommPortTest, ThresholdsStepThroughDataArrivingInDribbles)
{
    ASSERT_TRUE(port->setPortOpen(true));
    port->setRThreshold(13);
    readLikeAReceive();
    const QByteArray stream = pattern(13 + 1011 + 1024);
    for (qsizetype at = 0; at < stream.size(); at += 97) {
        ASSERT_TRUE(line.write(stream.mid(at, 97)));
        pump(2ms);
    }
    ASSERT_TRUE(pumpUntil([&] { return reads.size() == 3; }));
    EXPECT_EQ(reads, (std::vector<int>{13, 1011, 1024}));
    EXPECT_EQ(received, stream);
}

TEST_F(SerialCommPortTest, TrickleArrivesWholeAndNothingRunsOnceItStops)
{
    ASSERT_TRUE(port->setPortOpen(true));
    readEverything();
    const QByteArray stream = pattern(400);
    trickle(stream);
    ASSERT_TRUE(pumpUntil([&] { return received.size() == stream.size(); }));
    EXPECT_EQ(received, stream);

    // The line falls quiet: once the port has looked, no timer of its own
    // runs, and it still sees the next byte at once.
    pump(400ms);
    EXPECT_FALSE(portTimerRunning());
    ASSERT_TRUE(line.write("z"));
    ASSERT_TRUE(pumpUntil([&] { return received.endsWith('z'); }));
    port->setPortOpen(false);
    EXPECT_FALSE(portTimerRunning());
}

TEST_F(SerialCommPortTest, QuietCountsFromTheLastByteAndNeverPastBytesTheDriverHolds)
{
    ASSERT_TRUE(port->setPortOpen(true));
    readEverything();
    trickle(pattern(50));
    ASSERT_TRUE(pumpUntil([&] { return received.size() == 50; }));
    EXPECT_LT(port->QuietTime(), 100ms);
    pump(300ms);
    const auto quiet = port->QuietTime();
    EXPECT_GE(quiet, 300ms);

    // Bytes the driver holds, not yet read (no event loop runs here), have
    // arrived: the line is no longer quiet, whatever the last read says.
    ASSERT_TRUE(line.write("tail!"));
    ::usleep(200 * 1000);
    EXPECT_LE(port->QuietTime(), quiet + 20ms) << "quiet grew over bytes waiting unread";
    ASSERT_TRUE(pumpUntil([&] { return received.endsWith("tail!"); }));
    EXPECT_LT(port->QuietTime(), 100ms);
    port->setPortOpen(false);
}

// A pause is told once to a receive that listens, and only when the driver
// is seen to hold nothing unread: a question that fails may mean the device
// went with bytes in it, and bytes held are no pause at all.
struct Pause
{
    const char *name;
    int threshold;
    std::optional<LineDriver::Count> inQueue;
    bool told;
};

void PrintTo(const Pause &p, std::ostream *os)
{
    *os << p.name;
}

using PauseTest = Rows<SerialCommPortTest, Pause>;

TEST_P(PauseTest, IsToldOnceWhenTheDriverIsSeenEmpty)
{
    driver->inQueue = GetParam().inQueue;
    ASSERT_TRUE(port->setPortOpen(true));
    port->setRThreshold(GetParam().threshold);
    ASSERT_TRUE(line.write(pattern(20)));
    pump(400ms);
    const auto told = std::count(events.begin(), events.end(), comEvQuiet);
    EXPECT_EQ(told, GetParam().told ? 1 : 0);
    if (GetParam().told) {
        EXPECT_GE(port->QuietTime(), SerialComm::kQuietCheck);
    } else {
        EXPECT_LT(port->QuietTime(), SerialComm::kQuietCheck) << "counted as quiet";
    }
    port->setPortOpen(false);
}

using State = LineDriver::Count::State;
INSTANTIATE_TEST_SUITE_P(SerialCommPort, PauseTest,
                         ::testing::Values(Pause{"WhileAReceiveListens", 100, std::nullopt, true},
                                           Pause{"NotWhenNothingListens", 0,
                                                 LineDriver::Count{State::Failed, 0}, false},
                                           Pause{"NotWhenTheQuestionFails", 100,
                                                 LineDriver::Count{State::Failed, 0}, false},
                                           Pause{"NotWhileTheDriverHoldsBytes", 100,
                                                 LineDriver::Count{State::Known, 5}, false}),
                         rowName);

// After a hang-up nothing can be looked at: the quiet is what the port saw
// before, none when the line went while bytes were coming (the driver drops
// what it held), and it stops growing. The parameter is the quiet before the
// far end hangs up.
using HangUpQuietTest = Rows<SerialCommPortTest, std::chrono::milliseconds>;

TEST_P(HangUpQuietTest, ShowsOnlyTheQuietSeenBeforeIt)
{
    if (!line.isPseudoTerminal())
        GTEST_SKIP() << "a real line is not hung up from its far end";
    ASSERT_TRUE(port->setPortOpen(true));
    ASSERT_TRUE(line.write(pattern(60)));
    ASSERT_TRUE(pumpUntil([&] { return port->InBufferCount() == 60; }));
    pump(GetParam());
    line.closeController();
    ASSERT_TRUE(pumpUntil([&] { return !events.empty() && events.back() == comEventPortLost; }));
    const auto quiet = port->QuietTime();
    if (GetParam() < SerialComm::kQuietCheck)
        EXPECT_EQ(quiet, 0ms);
    else
        EXPECT_GE(quiet, SerialComm::kQuietCheck);
    pump(200ms);
    EXPECT_EQ(port->QuietTime(), quiet);
    EXPECT_EQ(events, std::vector<int>{comEventPortLost});
    port->setPortOpen(false);
}

INSTANTIATE_TEST_SUITE_P(SerialCommPort, HangUpQuietTest, ::testing::Values(0ms, 300ms),
                         [](const auto &info) {
                             return "After" + std::to_string(info.param.count()) + "ms";
                         });

TEST_F(SerialCommPortTest, ReadTakesExactlyInputLenAndLeavesTheRest)
{
    ASSERT_TRUE(port->setPortOpen(true));
    ASSERT_TRUE(line.write(pattern(50)));
    ASSERT_TRUE(pumpUntil([&] { return port->InBufferCount() == 50; }));
    EXPECT_TRUE(events.empty()) << "no receive notification while RThreshold is 0";

    onComm = [this] {
        if (port->CommEvent() != comEvReceive)
            return; // the pause after the burst, told once it has lasted kQuietCheck
        port->setInputLen(13);
        reads.push_back(int(port->Input().size()));
    };
    port->setRThreshold(13);
    pump(100ms);
    // Raised again after each handler while 13 or more still wait.
    EXPECT_EQ(reads, (std::vector<int>{13, 13, 13}));
    EXPECT_EQ(port->InBufferCount(), 11);

    port->setInputLen(0);
    EXPECT_EQ(port->Input(), pattern(50).right(11));
}

TEST_F(SerialCommPortTest, SendNotificationsPaceOutputs)
{
    ASSERT_TRUE(port->setPortOpen(true));
    port->setSThreshold(1);
    const QByteArray data = pattern(3 * 1024);
    int chunks = 0;
    onComm = [&] {
        if (port->CommEvent() == comEvSend && chunks < 3)
            ASSERT_TRUE(port->Output(data.mid(1024 * chunks++, 1024)));
    };
    // A header and the first chunk go out back to back, as a profile send does.
    ASSERT_TRUE(port->Output(data.mid(0, 43)));
    ASSERT_TRUE(port->Output(data.mid(43, 1024 - 43)));
    chunks = 1;
    const QByteArray got = readSent(data.size());
    EXPECT_EQ(got, data);
    // One notification after the header and first chunk, one after each
    // further chunk; none while nothing is pending. The last one may come a
    // while after the far end has read the last byte: the port sleeps for the
    // time a 19200-baud line needs for what the driver held, and a virtual
    // UART empties faster than that.
    const auto sends = [&] { return std::count(events.begin(), events.end(), comEvSend); };
    EXPECT_TRUE(pumpUntil([&] { return sends() == 3; }, 2s));
    pump(50ms);
    EXPECT_EQ(sends(), 3);
    EXPECT_EQ(port->OutBufferCount(), 0);
}

TEST_F(SerialCommPortTest, OutputGoesToTheDriverAtOnceAndItsNotificationWaitsForTheLoop)
{
    ASSERT_TRUE(port->setPortOpen(true));
    port->setSThreshold(1);
    // Nothing else is queued: the far end can read the bytes without this
    // thread running its event loop, and nothing is raised from Output.
    ASSERT_TRUE(port->Output(pattern(1024)));
    EXPECT_EQ(line.read(1024, 2000ms), pattern(1024));
    EXPECT_TRUE(events.empty());
    // A second Output before the first notification was handed over makes
    // that one out of date: one notification for both.
    ASSERT_TRUE(port->Output(pattern(300)));
    EXPECT_EQ(line.read(300, 2000ms), pattern(300));
    EXPECT_TRUE(pumpUntil([&] { return !events.empty(); }, 2s));
    pump(50ms);
    EXPECT_EQ(events, (std::vector<int>{comEvSend}));
}

TEST_F(SerialCommPortTest, NoSendNotificationWithoutSThreshold)
{
    ASSERT_TRUE(port->setPortOpen(true));
    ASSERT_TRUE(port->Output("hello"));
    EXPECT_EQ(readSent(5), QByteArray("hello"));
    pump(50ms);
    EXPECT_TRUE(events.empty());
}

TEST_F(SerialCommPortTest, CloseSuppressesANotificationAlreadyQueued)
{
    ASSERT_TRUE(port->setPortOpen(true));
    ASSERT_TRUE(line.write(pattern(13)));
    ASSERT_TRUE(pumpUntil([&] { return port->InBufferCount() == 13; }));
    port->setRThreshold(13); // queues a receive notification
    port->setPortOpen(false);
    pump(100ms);
    EXPECT_TRUE(events.empty());

    // Thresholds and buffer counts on the closed port are accepted.
    port->setRThreshold(0);
    port->setSThreshold(0);
    port->setInBufferCount(0);
    port->setOutBufferCount(0);
    EXPECT_EQ(port->InBufferCount(), 0);
    EXPECT_FALSE(port->Output("x"));
    EXPECT_EQ(port->lastError().kind, CommError::Kind::NotOpen);
}

TEST_F(SerialCommPortTest, PeerClosingIsReportedOnceAfterTheDataThatCameBefore)
{
    if (!line.isPseudoTerminal())
        GTEST_SKIP() << "a real line is not hung up from its far end; the rig unplugs the "
                        "USB adapter instead";
    ASSERT_TRUE(port->setPortOpen(true));
    onComm = [this] {
        if (port->CommEvent() == comEvReceive) {
            port->setInputLen(1024);
            received += port->Input();
        }
    };
    const QByteArray block = pattern(1024);
    ASSERT_TRUE(line.write(block));
    ASSERT_TRUE(pumpUntil([&] { return port->InBufferCount() == 1024; }));
    port->setRThreshold(1024); // its notification is queued when the far end hangs up
    line.closeController();
    ASSERT_TRUE(pumpUntil([&] { return !events.empty() && events.back() == comEventPortLost; }));

    const std::clock_t cpuBefore = std::clock();
    pump(500ms);
    const double cpuSeconds = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;

    EXPECT_EQ(received, block);
    EXPECT_EQ(events, (std::vector<int>{comEvReceive, comEventPortLost}));
    EXPECT_LT(cpuSeconds, 0.25) << "a hung-up device must not keep the event loop busy";
    EXPECT_TRUE(port->PortOpen()) << "the owner closes the port";
    EXPECT_FALSE(port->Output("x"));
    port->setPortOpen(false);
}

TEST_F(SerialCommPortTest, SendNotificationWaitsForTheDriversOutputQueue)
{
    // The driver still holds bytes after Qt has handed them all over: the
    // line is not empty until its queue reads 0.
    ASSERT_TRUE(port->setPortOpen(true));
    port->setSThreshold(1);
    driver->outQueue = {200, 100, 50};
    std::vector<size_t> scriptLeft;
    onComm = [&] {
        if (port->CommEvent() == comEvSend)
            scriptLeft.push_back(driver->outQueue.size());
    };
    ASSERT_TRUE(port->Output(pattern(1024)));
    EXPECT_EQ(readSent(1024).size(), 1024);
    ASSERT_TRUE(pumpUntil([&] { return !scriptLeft.empty(); }));
    pump(50ms);
    EXPECT_EQ(scriptLeft, std::vector<size_t>{0}) << "one notification, once the queue read 0";
    EXPECT_FALSE(portTimerRunning());
}

struct Counted
{
    const char *name;
    int LineDriver::Counters::*counter;
    int event;
};

using LineCountersTest = Rows<SerialCommPortTest, Counted>;

// A counter the driver raises is told as its event at the next read.
TEST_P(LineCountersTest, EachCounterRaisesItsEvent)
{
    driver->counts = LineDriver::Counters{};
    ASSERT_TRUE(port->setPortOpen(true));
    (*driver->counts).*GetParam().counter += 1;
    ASSERT_TRUE(line.write("x"));
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    pump(20ms);
    EXPECT_EQ(events, std::vector<int>{GetParam().event});
}

INSTANTIATE_TEST_SUITE_P(
    SerialCommPort, LineCountersTest,
    ::testing::Values(Counted{"Frame", &LineDriver::Counters::frame, comEventFrame},
                      Counted{"Overrun", &LineDriver::Counters::overrun, comEventOverrun},
                      Counted{"Parity", &LineDriver::Counters::parity, comEventRxParity},
                      Counted{"Break", &LineDriver::Counters::brk, comEventBreak},
                      Counted{"BufferOverrun", &LineDriver::Counters::bufOverrun, comEventRxOver}),
    rowName);

// What cannot be a serial line is said to be none, before anyone is asked
// whether they hold it (bash has /dev/null open all the time).
struct NotALine
{
    const char *name;
    QString path; // empty: a pipe made in the test's folder
    QString what;
};

using NotALineTest = ::testing::TestWithParam<NotALine>;

TEST_P(NotALineTest, IsSaidToBeNoSerialPort)
{
    QTemporaryDir dir;
    QString path = GetParam().path;
    if (path.isEmpty()) {
        path = dir.filePath("pipe");
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (path == "file") {
        path = TestFiles::write(dir.filePath("file"));
        ASSERT_FALSE(path.isEmpty());
    }
    QProcess user; // someone with it open, who must not be named
    user.start("sh", {"-c", QString("exec sleep 30 3<>'%1'").arg(path)});
    ASSERT_TRUE(user.waitForStarted(5000));
    ASSERT_TRUE(waitForProgramName(user, "sleep"));
    SerialCommPort port([&path](int) { return path; });
    port.setCommPort(1);
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_EQ(port.lastError().kind, CommError::Kind::NotSerial);
    EXPECT_EQ(port.lastError().reason, "not a serial port (" + GetParam().what + ")");
    user.kill();
    user.waitForFinished(2000);
}

INSTANTIATE_TEST_SUITE_P(
    SerialCommPort, NotALineTest,
    ::testing::Values(NotALine{"DevNull", "/dev/null", "a device that is not a terminal"},
                      NotALine{"DevZero", "/dev/zero", "a device that is not a terminal"},
                      NotALine{"Pipe", "", "a pipe"},
                      NotALine{"RegularFile", "file", "a regular file"}),
    rowName);

TEST_F(SerialCommPortTest, OpeningFailsWithTheReason)
{
    ASSERT_TRUE(port->setPortOpen(true));
    SerialCommPort second([this](int) { return line.path(); });
    second.setCommPort(1);
    EXPECT_FALSE(second.setPortOpen(true));
    EXPECT_EQ(second.lastError().kind, CommError::Kind::Busy);
    EXPECT_EQ(second.lastError().device, line.path());
    EXPECT_FALSE(second.PortOpen());

    port->setPortOpen(false);
    port->setCommPort(2);
    EXPECT_FALSE(port->setPortOpen(true));
    EXPECT_EQ(port->lastError().kind, CommError::Kind::NotFound);
    EXPECT_EQ(port->lastError().device, QStringLiteral("/dev/zo-vovere-no-such-device"));

    // Once the first opening is closed the device is free again.
    EXPECT_TRUE(second.setPortOpen(true));
}

// The far end reads slowly; the transmit side reports empty once the driver
// has taken everything. Closing then must not throw away what the reader has
// yet to take, unless the output is dropped on purpose (true).
using ClosingTest = Rows<SerialCommPortTest, bool>;

TEST_P(ClosingTest, LeavesQueuedOutputToASlowReaderUnlessDropped)
{
    const bool drop = GetParam();
    ASSERT_TRUE(port->setPortOpen(true));
    port->setSThreshold(1);
    const QByteArray data = pattern(40000);
    ASSERT_TRUE(port->Output(data));
    QByteArray got;
    ASSERT_TRUE(pumpUntil(
        [&] {
            got += line.read(400, 1ms); // about 4 kB a second
            pump(10ms);
            return !events.empty();
        },
        30s));
    if (drop)
        port->setOutBufferCount(0);
    port->setPortOpen(false);
    got += line.read(data.size(), 300ms);
    if (drop) {
        // On a real line what has left the driver is on the wire: only a
        // pseudo-terminal still holds bytes that dropping can take back.
        if (line.isPseudoTerminal())
            EXPECT_LT(got.size(), data.size());
        EXPECT_EQ(got, data.left(got.size()));
    } else {
        EXPECT_EQ(got.size(), data.size());
        EXPECT_EQ(got, data);
    }
}

INSTANTIATE_TEST_SUITE_P(SerialCommPort, ClosingTest, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Dropped" : "Kept"; });

// Another program on the line: a process holding the device open, a live
// legacy lock file, a flock. Each is refused, named where it can be.
class ExclusiveOpenTest : public SerialCommPortTest
{
  protected:
    void TearDown() override
    {
        if (holder.state() != QProcess::NotRunning) {
            holder.kill();
            holder.waitForFinished(2000);
        }
        if (!lockPath.isEmpty())
            QFile::remove(lockPath);
    }

    // A program that only sleeps, with the device open when asked.
    void startHolder(bool withDevice)
    {
        const QString command = withDevice
                                    ? QStringLiteral("exec sleep 30 3<>'%1'").arg(line.path())
                                    : QStringLiteral("exec sleep 30");
        holder.start(QStringLiteral("sh"), {QStringLiteral("-c"), command});
        ASSERT_TRUE(holder.waitForStarted(5000));
        // Until the shell has become sleep, the name would be "sh".
        ASSERT_TRUE(waitForProgramName(holder, "sleep"));
    }

    QString expectedReason() const
    {
        return QStringLiteral("the port is in use by sleep (process %1)").arg(holder.processId());
    }

    QProcess holder;
    QString lockPath;
};

TEST_F(ExclusiveOpenTest, ProcessWithTheDeviceOpenIsNamed)
{
    startHolder(true);
    EXPECT_FALSE(port->setPortOpen(true));
    EXPECT_EQ(port->lastError().kind, CommError::Kind::Busy);
    EXPECT_EQ(port->lastError().reason, expectedReason());
    EXPECT_FALSE(port->PortOpen());

    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(2000));
    EXPECT_TRUE(port->setPortOpen(true)) << port->lastError().reason.toStdString();
}

TEST_F(ExclusiveOpenTest, LiveLegacyLockFileIsHonouredAndKept)
{
    if (!QFileInfo(QStringLiteral("/run/lock")).isWritable())
        GTEST_SKIP() << "/run/lock cannot be written here";
    startHolder(false);
    // The name Qt would give its own lock for this device, in the HDB form
    // minicom writes: the pid in ten columns and a newline.
    QString name = line.path().mid(5);
    lockPath = QStringLiteral("/run/lock/LCK..") + name.replace('/', '_');
    const QByteArray legacy = QByteArray::number(holder.processId()).rightJustified(10) + "\n";
    ASSERT_EQ(TestFiles::write(lockPath, legacy), lockPath);
    EXPECT_FALSE(port->setPortOpen(true));
    EXPECT_EQ(port->lastError().kind, CommError::Kind::Busy);
    EXPECT_EQ(port->lastError().reason, expectedReason());
    EXPECT_EQ(TestFiles::read(lockPath), legacy) << "another program's lock file is left alone";

    // Once its process has gone the lock is stale: the port opens, and no
    // lock file is left behind when it closes.
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(2000));
    ASSERT_TRUE(port->setPortOpen(true)) << port->lastError().reason.toStdString();
    port->setPortOpen(false);
    EXPECT_FALSE(QFile::exists(lockPath));
}

TEST_F(ExclusiveOpenTest, LockFileOfThisProgramGoesAtEveryClose)
{
    ASSERT_TRUE(port->setPortOpen(true));
    QStringList held;
    for (const QString &dir : {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")})
        for (const QString &name : PortUsers::lockFileNames(line.path()))
            if (QFile::exists(dir + '/' + name))
                held << dir + '/' + name;
    if (QFileInfo(QStringLiteral("/var/lock")).isWritable())
        ASSERT_FALSE(held.isEmpty()) << "Qt locks the device in the first writable lock folder";
    port->setPortOpen(false);
    for (const QString &file : held)
        EXPECT_FALSE(QFile::exists(file)) << file.toStdString();

    // Also when the device goes away under the open port.
    if (!line.isPseudoTerminal())
        return; // a real line is not hung up from its far end
    ASSERT_TRUE(port->setPortOpen(true));
    line.closeController();
    ASSERT_TRUE(pumpUntil([&] { return !events.empty() && events.back() == comEventPortLost; }));
    port->setPortOpen(false);
    pump(50ms);
    for (const QString &file : held)
        EXPECT_FALSE(QFile::exists(file)) << file.toStdString();
}

TEST_F(ExclusiveOpenTest, SocatLineOpensAndIsLockedUnderTheDevicesName)
{
    // socat keeps both ends of each pseudo-terminal it makes open: the
    // master is the line's far end, and its slave beside it no other user
    // of the line. Other programs look for LCK..pts_3 (or LCK..ttyUSB0),
    // whatever link the device was chosen by.
    QTemporaryDir dir;
    const QString link = dir.filePath("a");
    holder.start("socat",
                 {"pty,raw,echo=0,link=" + link, "pty,raw,echo=0,link=" + dir.filePath("b")});
    ASSERT_TRUE(holder.waitForStarted(5000)) << "socat is not installed";
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(link); }, 5000));
    ASSERT_TRUE(waitForProgramName(holder, "socat"));
    SerialCommPort linked([&link](int) { return link; });
    linked.setCommPort(1);
    ASSERT_TRUE(linked.setPortOpen(true)) << linked.lastError().reason.toStdString();
    if (QFileInfo(QStringLiteral("/run/lock")).isWritable()) {
        QFile lock("/run/lock/LCK.." +
                   QFileInfo(link).canonicalFilePath().mid(5).replace('/', '_'));
        ASSERT_TRUE(lock.open(QIODevice::ReadOnly)) << lock.fileName().toStdString();
        EXPECT_EQ(lock.readLine().trimmed(),
                  QByteArray::number(QCoreApplication::applicationPid()));
        EXPECT_FALSE(QFile::exists("/run/lock/LCK.." + QString(link).replace('/', '_')));
        linked.setPortOpen(false);
        EXPECT_FALSE(lock.exists());
    }
}

TEST_F(ExclusiveOpenTest, FlockHeldOnTheDeviceIsRefused)
{
    // Held by this process on a descriptor of its own, so that only the
    // flock, not the look at other processes, can find it.
    const int fd = ::open(QFile::encodeName(line.path()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(port->setPortOpen(true));
    EXPECT_EQ(port->lastError().kind, CommError::Kind::Busy);
    EXPECT_EQ(port->lastError().reason, QString("the port is in use by another program"));
    ::close(fd);
    EXPECT_TRUE(port->setPortOpen(true));
}

struct LockContent
{
    QByteArray content;
    qint64 pid;
};

using LockContentTest = ::testing::TestWithParam<LockContent>;

// Pids whose binary bytes look like text ("0 \0\0" is 8240), text of four
// bytes, and what names no pid.
TEST_P(LockContentTest, NamesThePidItHolds)
{
    EXPECT_EQ(PortUsers::lockFilePid(GetParam().content), GetParam().pid);
}

INSTANTIATE_TEST_SUITE_P(PortUsers, LockContentTest,
                         ::testing::Values(LockContent{QByteArray("0 \0\0", 4), 8240},
                                           LockContent{QByteArray("0\0\0\0", 4), 48},
                                           LockContent{QByteArray("12\n\0", 4), 0x000A3231},
                                           LockContent{"123\n", 123},
                                           LockContent{"      4242\n", 4242},
                                           LockContent{"77\nminicom\nhost\n", 77},
                                           LockContent{QByteArray("12\n\0junk", 8), 0},
                                           LockContent{"", 0}, LockContent{"pid", 0}));

TEST(PortUsers, LockFilePidsInEveryFormAndStaleOnes)
{
    QTemporaryDir dir;
    const QString device = QStringLiteral("/dev/ttyUSB7");
    const QString lock = dir.filePath("LCK..ttyUSB7");
    auto writeLock = [&](const QByteArray &content) {
        ASSERT_EQ(TestFiles::write(lock, content), lock);
    };
    QProcess sleeper;
    sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(sleeper.waitForStarted(5000));
    const qint64 pid = sleeper.processId();
    const qint32 binary = qint32(pid);
    for (const QByteArray &content :
         {QByteArray::number(pid).rightJustified(10) + "\n",
          QByteArray::number(pid) + "\nsomeprogram\nsomehost\n",
          QByteArray(reinterpret_cast<const char *>(&binary), sizeof binary)}) {
        writeLock(content);
        const auto holder = PortUsers::lockHolder(device, {dir.path()});
        ASSERT_TRUE(holder.has_value()) << content.toHex().toStdString();
        EXPECT_EQ(holder->pid, pid);
    }
    // This process's own pid, and garbage, are not another program's lock.
    writeLock(QByteArray::number(QCoreApplication::applicationPid()) + "\n");
    EXPECT_FALSE(PortUsers::lockHolder(device, {dir.path()}).has_value());
    writeLock("not a pid at all");
    EXPECT_FALSE(PortUsers::lockHolder(device, {dir.path()}).has_value());
    sleeper.kill();
    ASSERT_TRUE(sleeper.waitForFinished(2000));
    writeLock(QByteArray::number(pid).rightJustified(10) + "\n");
    EXPECT_FALSE(PortUsers::lockHolder(device, {dir.path()}).has_value()) << "stale";

    EXPECT_TRUE(PortUsers::lockFileNames("/dev/pts/5").contains("LCK..pts_5"));
    EXPECT_TRUE(PortUsers::lockFileNames("/dev/ttyS0").contains("LCK..ttyS0"));
}

} // namespace

struct AccessCase
{
    const char *name;
    DeviceNode::AccessFacts facts;
    DeviceNode::Access::Remedy remedy;
};

using AccessTest = ::testing::TestWithParam<AccessCase>;

// Joining a group helps only when the group may use the device, is not
// root's, and the account is not in it yet; joined but not in this session
// means logging in again.
TEST_P(AccessTest, AdvisesWhatWouldLetTheAccountIn)
{
    const DeviceNode::Access access = DeviceNode::access(GetParam().facts);
    EXPECT_EQ(access.remedy, GetParam().remedy);
    EXPECT_EQ(access.group, GetParam().facts.group);
    EXPECT_EQ(access.owner, GetParam().facts.owner);
}

using Remedy = DeviceNode::Access::Remedy;
INSTANTIATE_TEST_SUITE_P(
    DeviceNode, AccessTest,
    ::testing::Values(
        AccessCase{"DialoutToJoin", {0660, 20, "root", "dialout", false, false}, Remedy::JoinGroup},
        AccessCase{"JoinedLater", {0660, 20, "root", "dialout", false, true}, Remedy::LogInAgain},
        AccessCase{
            "GroupMayOnlyRead", {0640, 20, "root", "dialout", false, false}, Remedy::AskOwner},
        AccessCase{"RootsGroup", {0660, 0, "root", "root", false, false}, Remedy::AskOwner},
        AccessCase{"OwnerOnly", {0600, 5, "alice", "tty", false, false}, Remedy::AskOwner},
        AccessCase{
            "InTheGroupYetRefused", {0660, 20, "root", "dialout", true, true}, Remedy::AskOwner}),
    rowName);

TEST(DeviceNode, ConsoleIsRecognisedByItsDevicesName)
{
    TestLine line(true);
    ASSERT_TRUE(line.ok());
    const QString device = QFileInfo(line.path()).canonicalFilePath().mid(5); // "pts/3"
    QTemporaryDir dir;
    const QString consoles = TestFiles::write(
        dir.filePath("consoles"), "tty0                 -WU (EC p  )    4:1\n" +
                                      device.toLocal8Bit() + "   -W- (E  p a)    4:64\n");
    // A link to the console is the console.
    const QString link = dir.filePath("com1");
    ASSERT_TRUE(QFile::link(line.path(), link));
    EXPECT_TRUE(DeviceNode::isConsole(link, consoles));
    EXPECT_FALSE(DeviceNode::isConsole("/dev/null", consoles));
    EXPECT_FALSE(DeviceNode::isConsole(link, dir.filePath("unreadable")));
}
