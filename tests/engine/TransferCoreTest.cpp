// Dispatch, the line-error path, reset, abort and Cancel.
#include "EngineFixture.h"
#include "Rows.h"
#include "SimStream.h"

namespace {

class TransferCoreTest : public EngineFixture
{
  protected:
    // A receive waiting for its header on COM2.
    void startReceive(const QString &target)
    {
        dialog.choose = target;
        engine.cmdReceive_Click();
        ASSERT_TRUE(port.PortOpen());
    }
};

using LineErrorTest = Rows<TransferCoreTest, std::pair<int, std::string>>;

// Every code the port may raise, named or not, ends the transfer with its
// message; the box is shown only once the port is closed.
TEST_P(LineErrorTest, AbortsWithItsNamedMessageAndClearsTheStatus)
{
    const auto [code, text] = GetParam();
    startReceive(path("backup.txt"));
    window.onMessage = [this] { EXPECT_FALSE(port.PortOpen()); };
    port.raise(code);
    window.onMessage = nullptr;
    EXPECT_EQ(window.messages, QStringList{QString::fromStdString(text)});
    EXPECT_EQ(window.status, QString());
    EXPECT_TRUE(window.idle());
    EXPECT_FALSE(engine.transferInProgress());
}

INSTANTIATE_TEST_SUITE_P(
    TransferCore, LineErrorTest,
    ::testing::Values(
        std::pair<int, std::string>{1001, "break error on com port, reset and retry"},
        std::pair<int, std::string>{1004, "framing error on com port, reset and retry"},
        std::pair<int, std::string>{1006, "overrun error on com port, reset and retry"},
        std::pair<int, std::string>{1008, "rx overflow error on com port, reset and retry"},
        std::pair<int, std::string>{1009, "parity error on com port, reset and retry"},
        std::pair<int, std::string>{1010, "tx full error on com port, reset and retry"},
        std::pair<int, std::string>{1011, "dcb error on com port, reset and retry"},
        std::pair<int, std::string>{1012, "port disconnected error on com port, reset and retry"},
        std::pair<int, std::string>{1002, " on com port, reset and retry"},
        std::pair<int, std::string>{8, " on com port, reset and retry"},
        std::pair<int, std::string>{-5, " on com port, reset and retry"}));

TEST_F(TransferCoreTest, ModemLineNotificationsAreIgnored)
{
    startReceive(path("backup.txt"));
    for (int code = 3; code <= 7; ++code)
        port.raise(code);
    EXPECT_TRUE(window.messages.isEmpty());
    EXPECT_TRUE(port.PortOpen());
    EXPECT_TRUE(window.busy());
}

TEST_F(TransferCoreTest, BusyStateIsShownOnceFromStartToEnd)
{
    startReceive(path("backup.txt"));
    EXPECT_EQ(window.stateChanges, QStringList{"busy"});
    engine.cmdCancel_Click();
    EXPECT_EQ(window.stateChanges, (QStringList{"busy", "idle"}));
}

TEST_F(TransferCoreTest, ResetReturnsPortTimersAndWindowToIdle)
{
    startReceive(path("backup.txt"));
    port.arrive("GLOW ARRANGER");
    ASSERT_TRUE(timer1.enabled());
    engine.ResetTransfer();
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(port.RThreshold(), 0);
    EXPECT_EQ(port.SThreshold(), 0);
    EXPECT_EQ(engine.state().RxState, 0);
    EXPECT_FALSE(timer1.enabled());
    EXPECT_FALSE(window.animationPlays);
    EXPECT_FALSE(window.progress.visible);
    EXPECT_TRUE(window.idle());
    // Reset leaves the file, and the status line, to its callers.
    EXPECT_TRUE(engine.state().FileOpen);
    EXPECT_EQ(window.status, QString("header received"));
    engine.AbortTransfer();
    EXPECT_FALSE(engine.state().FileOpen);
}

TEST_F(TransferCoreTest, CancelWhileWaitingForTheHeaderDeletesNothing)
{
    const QString target = makeFile("backup.txt", "earlier backup");
    startReceive(target);
    engine.cmdCancel_Click();
    EXPECT_EQ(window.status, QString("Action canceled"));
    EXPECT_FALSE(port.PortOpen());
    EXPECT_TRUE(window.idle());
    EXPECT_EQ(readFile(target), QByteArray("earlier backup"));
    EXPECT_TRUE(window.messages.isEmpty());
}

TEST_F(TransferCoreTest, UnloadClosesThePortAndDiscardsAnUnfinishedReceive)
{
    const QString target = makeFile("backup.txt", "earlier backup");
    startReceive(target);
    port.arrive("GLOW ARRANGER" + QByteArray(1011, 'x'));
    engine.FormUnload();
    EXPECT_FALSE(port.PortOpen());
    EXPECT_FALSE(engine.state().FileOpen);
    EXPECT_EQ(readFile(target), QByteArray("earlier backup"));
    EXPECT_EQ(filesInDir(), QStringList{"backup.txt"});
}

struct Story
{
    const char *name;
    std::function<void(EngineFixture &)> play;
    QStringList told; // what the window is told, each entry a prefix
};

using TransferEventsTest = Rows<EngineFixture, Story>;

// Every start is followed by exactly one ending, which says how it ended in
// the words shown next; a transfer refused before it starts tells nothing.
TEST_P(TransferEventsTest, EachStartEndsOnceAndSaysHow)
{
    GetParam().play(*this);
    ASSERT_EQ(window.transfers.size(), GetParam().told.size())
        << window.transfers.join(" | ").toStdString();
    for (qsizetype i = 0; i < window.transfers.size(); ++i)
        EXPECT_TRUE(window.transfers[i].startsWith(GetParam().told[i]))
            << window.transfers[i].toStdString();
}

const QByteArray kDump = SimStream::generate(2020);

void receive(EngineFixture &f, const QByteArray &bytes)
{
    f.dialog.choose = f.path("backup.txt");
    f.engine.cmdReceive_Click();
    f.port.arrive(bytes);
    f.clock.advance(3000ms);
}

INSTANTIATE_TEST_SUITE_P(
    TransferCore, TransferEventsTest,
    ::testing::Values(Story{"Sent",
                            [](EngineFixture &f) {
                                f.dialog.choose = f.makeFile("show.txt", f.content(3000));
                                f.engine.cmdSend_Click();
                                for (int i = 0; i < 10 && !f.timer2.enabled(); ++i)
                                    f.port.transmitEmpty();
                                f.clock.advance(1000ms);
                            },
                            {"started send", "ended sent: file has been sent"}},
                      Story{"Saved",
                            [](EngineFixture &f) { receive(f, kDump); },
                            {"started receive", "ended saved: File has been saved."}},
                      Story{"Lost",
                            [](EngineFixture &f) { receive(f, kDump.left(1500)); },
                            {"started receive", "ended failed: Connection was lost."}},
                      Story{"Canceled",
                            [](EngineFixture &f) {
                                receive(f, {});
                                f.engine.cmdCancel_Click();
                            },
                            {"started receive", "ended canceled: Action canceled"}},
                      Story{"PortRefused",
                            [](EngineFixture &f) {
                                f.port.failOpen = {CommError::Kind::Busy, "/dev/ttyS1", "in use"};
                                receive(f, {});
                            },
                            {"started receive",
                             "ended port unavailable: Cannot open COM2 (/dev/ttyS1)"}},
                      Story{"FileRefused",
                            [](EngineFixture &f) {
                                f.dialog.choose = f.path("missing.txt");
                                f.engine.cmdSend_Click();
                            },
                            {}}),
    rowName);

} // namespace
