// Dispatch, the line-error path, reset, abort and Cancel.
#include "EngineFixture.h"

namespace {

using Control = TransferWindow::Control;

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

TEST_F(TransferCoreTest, LineErrorsAbortWithTheirNamedMessageAndClearTheStatus)
{
    const std::vector<std::pair<int, QString>> cases = {
        {1001, "break error on com port, reset and retry"},
        {1004, "framing error on com port, reset and retry"},
        {1006, "overrun error on com port, reset and retry"},
        {1008, "rx overflow error on com port, reset and retry"},
        {1009, "parity error on com port, reset and retry"},
        {1010, "tx full error on com port, reset and retry"},
        {1011, "dcb error on com port, reset and retry"},
        {1012, "port disconnected error on com port, reset and retry"},
        {1002, " on com port, reset and retry"},
        {8, " on com port, reset and retry"},
        {-5, " on com port, reset and retry"},
    };
    for (const auto &[code, text] : cases) {
        SCOPED_TRACE(code);
        startReceive(path("backup.txt"));
        window.messages.clear();
        // The box is shown only once the port is closed.
        window.onMessage = [this] { EXPECT_FALSE(port.PortOpen()); };
        port.raise(code);
        window.onMessage = nullptr;
        EXPECT_EQ(window.messages, QStringList{text});
        EXPECT_EQ(window.status, QString());
        EXPECT_TRUE(window.idle());
        EXPECT_FALSE(engine.transferInProgress());
    }
}

TEST_F(TransferCoreTest, ModemLineNotificationsAreIgnored)
{
    startReceive(path("backup.txt"));
    for (int code = 3; code <= 7; ++code)
        port.raise(code);
    EXPECT_TRUE(window.messages.isEmpty());
    EXPECT_TRUE(port.PortOpen());
    EXPECT_TRUE(window.busy());
}

TEST_F(TransferCoreTest, BusyAndIdleStatesApplyTheTableInOrder)
{
    startReceive(path("backup.txt"));
    const QStringList busy = {"0=0", "1=0", "2=0", "3=0", "4=0", "5=0", "6=0", "cancel=1"};
    EXPECT_EQ(window.stateChanges, busy);
    window.stateChanges.clear();
    engine.cmdCancel_Click();
    const QStringList idle = {"0=1", "1=1", "2=1", "3=1", "4=1", "5=1", "6=1", "cancel=0"};
    EXPECT_EQ(window.stateChanges, idle);
}

TEST_F(TransferCoreTest, ResetReturnsPortTimersAndWindowToIdle)
{
    startReceive(path("backup.txt"));
    port.arrive("GLOW ARRANGER");
    ASSERT_TRUE(timer1.enabled());
    window.progressVisible = true;
    engine.ResetTransfer();
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(port.RThreshold(), 0);
    EXPECT_EQ(port.SThreshold(), 0);
    EXPECT_EQ(engine.state().RxState, 0);
    EXPECT_FALSE(timer1.enabled());
    EXPECT_FALSE(window.animationOpen);
    EXPECT_FALSE(window.progressVisible);
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

} // namespace
