// The network line against a server the test plays byte by byte: what it
// answers to the line's settings, the line states it reports, Telnet's
// escaping both ways, and the pace of a send.
#include "NetworkLine.h"
#include "Rows.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace CommEvents;

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (const int byte : list)
        out += char(byte);
    return out;
}

// IAC SB COM-PORT code value... IAC SE.
QByteArray comPort(int code, std::initializer_list<int> value)
{
    return bytes({255, 250, 44, code}) + bytes(value) + bytes({255, 240});
}

const QByteArray kAgrees = comPort(101, {0, 0, 0x4b, 0}) + comPort(102, {8}) + comPort(103, {1}) +
                           comPort(104, {1}) + comPort(105, {1});

class NetworkLineTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&line, &SerialComm::OnComm, [this] { events.push_back(line.CommEvent()); });
    }

    // Opens the line to the test's server and takes its connection.
    [[nodiscard]] bool open(const char *scheme = "rfc2217")
    {
        address = QString("%1://127.0.0.1:%2").arg(scheme).arg(server.serverPort());
        if (!line.setPortOpen(true) || !server.waitForNewConnection(2000))
            return false;
        peer = server.nextPendingConnection();
        return true;
    }
    // What the program has sent so far, once it holds what (or after 2 s).
    QByteArray heard(const QByteArray &what)
    {
        [[maybe_unused]] const bool came = QTest::qWaitFor(
            [&] {
                received += peer->readAll();
                return received.contains(what);
            },
            2000);
        return received;
    }
    void say(const QByteArray &what)
    {
        peer->write(what);
        peer->flush();
    }
    // Opened over RFC 2217, the settings agreed.
    [[nodiscard]] bool openReady()
    {
        if (!open())
            return false;
        say(bytes({255, 253, 44}) + kAgrees);
        return QTest::qWaitFor([&] { return line.lineReady(); }, 2000);
    }

    QTcpServer server;
    QTcpSocket *peer = nullptr;
    QString address;
    NetworkLine line{[this](int) { return address; }};
    std::vector<int> events;
    QByteArray received;
};

// The server's answer to the line's settings: the line is ready, or the
// opening is lost with the server's refusal in words.
struct Answer
{
    const char *name;
    QByteArray says;
    const char *refusal; // empty: ready
};

using AnswerTest = Rows<NetworkLineTest, Answer>;

TEST_P(AnswerTest, ReadyOrRefusedInWords)
{
    const Answer &c = GetParam();
    ASSERT_TRUE(open());
    // Asked for once the server takes the option: 19200 baud, 8 bits, no
    // parity, 1 stop bit, no flow control.
    say(bytes({255, 253, 44}));
    const QByteArray asked = heard(bytes({255, 250, 44, 5, 1, 255, 240}));
    for (const QByteArray &setting :
         {bytes({255, 250, 44, 1, 0, 0, 0x4b, 0, 255, 240}), bytes({255, 250, 44, 2, 8, 255, 240}),
          bytes({255, 250, 44, 3, 1, 255, 240}), bytes({255, 250, 44, 4, 1, 255, 240})})
        EXPECT_TRUE(asked.contains(setting)) << asked.toHex(' ').toStdString();
    say(c.says);
    if (QString(c.refusal).isEmpty()) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return line.lineReady(); }, 2000));
        return;
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !events.empty(); }, 2000));
    EXPECT_EQ(events, std::vector<int>{comEventPortLost});
    EXPECT_EQ(line.lastError().kind, CommError::Kind::Unreachable);
    EXPECT_TRUE(line.lastError().reason.contains(c.refusal))
        << line.lastError().reason.toStdString();
    EXPECT_FALSE(line.lineReady());
}

INSTANTIATE_TEST_SUITE_P(
    Network, AnswerTest,
    ::testing::Values(
        Answer{"AgreesWithoutAnsweringTheModemLines", kAgrees, ""},
        Answer{"SetsAnotherRate", comPort(101, {0, 0, 0x25, 0x80}), "it set 9600 baud instead"},
        Answer{"KeepsHardwareFlowControl", comPort(105, {3}), "keeps flow control"},
        Answer{"RefusesTheOption", bytes({255, 254, 44}), "it refuses RFC 2217"}),
    rowName);

// A server that turns a client away says so and closes: its words are the
// reason, not the line's data.
TEST_F(NetworkLineTest, WordsBeforeTheCloseAreTheServersNotTheLines)
{
    ASSERT_TRUE(open("tcp"));
    say("Port already in use\r\n");
    peer->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.empty(); }, 2000));
    EXPECT_EQ(events, std::vector<int>{comEventPortLost});
    EXPECT_TRUE(line.lastError().reason.contains("\"Port already in use\""))
        << line.lastError().reason.toStdString();
    EXPECT_EQ(line.InBufferCount(), 0);
}

struct LineState
{
    const char *name;
    int state;
    std::vector<int> raised;
};

using LineStateTest = Rows<NetworkLineTest, LineState>;

TEST_P(LineStateTest, BecomesTheLocalPortsLineErrors)
{
    const LineState &c = GetParam();
    ASSERT_TRUE(openReady());
    say(comPort(106, {c.state}) + "x");
    line.setRThreshold(1); // the byte after it shows the notification has come
    QObject::connect(&line, &SerialComm::OnComm, [&] {
        if (line.CommEvent() == comEvReceive)
            line.read(1);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.empty() && events.back() == comEvReceive; }, 2000));
    events.pop_back();
    EXPECT_EQ(events, c.raised);
}

INSTANTIATE_TEST_SUITE_P(
    Network, LineStateTest,
    ::testing::Values(LineState{"Break", 0x10, {comEventBreak}},
                      LineState{"Framing", 0x08, {comEventFrame}},
                      LineState{"OverrunAndParity", 0x06, {comEventOverrun, comEventRxParity}},
                      LineState{"TransmitterEmpty", 0x60, {}}),
    rowName);

TEST_F(NetworkLineTest, TelnetEscapesEveryByteOfValueFFBothWays)
{
    ASSERT_TRUE(openReady());
    // Cut between two writes: the escape is completed by the second.
    say(bytes({'a', 255}));
    QTest::qWait(0);
    say(bytes({255, 'b'}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.InBufferCount() == 3; }, 2000));
    EXPECT_EQ(line.Input(), bytes({'a', 255, 'b'}));
    ASSERT_TRUE(line.Output(bytes({255, 0, 255})));
    EXPECT_TRUE(heard(bytes({255, 255, 0, 255, 255})).endsWith(bytes({255, 255, 0, 255, 255})));
}

// Chunks are handed over at the line's own rate, two at most on their way
// through the server; Cancel has the server drop what it holds.
TEST_F(NetworkLineTest, SendsAtTheLinesRateAndPurgesOnCancel)
{
    ASSERT_TRUE(openReady());
    line.setSThreshold(1);
    const QByteArray chunk(NetworkLine::kChunk, 'c');
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    QObject::connect(&line, &SerialComm::OnComm, [&] {
        if (line.CommEvent() == comEvSend && sent < 4 && line.Output(chunk))
            ++sent;
    });
    ASSERT_TRUE(line.Output(chunk));
    ++sent;
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent == 4; }, 5000));
    // The fourth went once the second had left: two chunk times at least.
    const qint64 chunkMs = NetworkLine::kChunk * NetworkLine::kByteNs / 1000000;
    EXPECT_GE(clock.elapsed(), 2 * chunkMs - 5);
    EXPECT_GT(line.OutBufferCount(), NetworkLine::kChunk);
    EXPECT_LE(line.OutBufferCount(), 3 * NetworkLine::kChunk);
    line.discardOutput();
    EXPECT_TRUE(QTest::qWaitFor([&] { return line.OutBufferCount() == 0; }, 100));
    EXPECT_TRUE(heard(comPort(12, {2})).endsWith(comPort(12, {2})));
}

// A raw opening waits a moment for a server's refusal; the next opening
// still has the whole limit for its connection and settings.
TEST_F(NetworkLineTest, ARawOpeningLeavesTheNextItsWholeConnectLimit)
{
    ASSERT_TRUE(open("tcp"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.lineReady(); }, 2000));
    line.setPortOpen(false);
    ASSERT_TRUE(open()); // over RFC 2217, to a server that has not answered yet
    QTest::qWait(int(NetworkLine::kRawSettle.count()) * 3);
    EXPECT_TRUE(events.empty()) << line.lastError().reason.toStdString();
}

} // namespace
