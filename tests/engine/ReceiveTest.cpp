// Receiving: the header check, block framing, the end marker in a block or in
// the tail, the inactivity rule, and every ending. An earlier file at the
// target must survive every ending but a successful one.
#include "EngineFixture.h"

namespace {

const QByteArray kEarlier = "earlier backup, must survive";

class ReceiveTest : public EngineFixture
{
  protected:
    // A backup stream of length L: header, data without ':', ':' at L - 7.
    static QByteArray stream(int length, int markerAt = -1)
    {
        QByteArray s = "GLOW ARRANGER";
        for (int i = 13; i < length; ++i)
            s += char('A' + i % 26);
        if (markerAt < 0)
            markerAt = length - 7;
        if (markerAt >= 13 && markerAt < length)
            s[markerAt] = ':';
        return s;
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
        EXPECT_FALSE(engine.state().FileOpen);
        EXPECT_FALSE(engine.state().DeleteOnAbort);
        EXPECT_TRUE(window.idle());
        EXPECT_FALSE(port.PortOpen());
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
    EXPECT_FALSE(window.progressVisible);
    EXPECT_FALSE(window.animationOpen) << "the clip opens with the header";
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
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), stream(1024));
}

TEST_F(ReceiveTest, MarkerInTheOnlyFullBlockCompletesAtOnce)
{
    startReceive();
    port.arrive(stream(1024));
    EXPECT_EQ(countTexts(), QStringList{"1024 bytes received"});
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), stream(1024));
    EXPECT_EQ(filesInDir(), QStringList{"backup.txt"});
    EXPECT_TRUE(window.idle());
    EXPECT_FALSE(timer1.enabled());
    EXPECT_FALSE(window.animationOpen);
    EXPECT_TRUE(window.messages.isEmpty());
}

TEST_F(ReceiveTest, MarkerInTheSecondBlockCompletesWithoutWaiting)
{
    startReceive();
    port.arrive(stream(13));
    EXPECT_EQ(window.status, QString("header received"));
    EXPECT_TRUE(window.animationOpen);
    EXPECT_EQ(port.RThreshold(), 1011);
    port.arrive(stream(2048).mid(13, 1011));
    EXPECT_EQ(window.status, QString("1024 bytes received"));
    EXPECT_EQ(port.RThreshold(), 1024);
    EXPECT_EQ(readFile(target), kEarlier) << "the target is replaced only at the end";
    port.arrive(stream(2048).mid(1024));
    EXPECT_EQ(countTexts(), (QStringList{"1024 bytes received", "2048 bytes received"}));
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), stream(2048));
}

TEST_F(ReceiveTest, MarkerInTheTailCompletesWhenTheLineFallsQuiet)
{
    for (int blocks : {0, 1, 2}) {
        for (int tail : {7, 500, 1023 - 13 * (blocks == 0)}) {
            SCOPED_TRACE(blocks * 10000 + tail);
            window.statusHistory.clear();
            startReceive();
            const int length = 1024 * blocks + tail + (blocks == 0 ? 13 : 0);
            const QByteArray s = stream(length);
            port.arrive(s);
            EXPECT_EQ(countTexts().size(), blocks);
            clock.advance(2999ms);
            EXPECT_TRUE(port.PortOpen());
            clock.advance(1ms);
            EXPECT_EQ(window.status, QString("File has been saved."));
            EXPECT_EQ(readFile(target), s);
            EXPECT_EQ(filesInDir(), QStringList{"backup.txt"});
            EXPECT_TRUE(window.messages.isEmpty());
        }
    }
}

TEST_F(ReceiveTest, ShortTailsCannotHoldTheMarker)
{
    for (int tail = 1; tail <= 6; ++tail) {
        SCOPED_TRACE(tail);
        window.messages.clear();
        startReceive();
        // The controller's ':' lies in the last full block, past index 1017.
        port.arrive(stream(1024 + tail));
        clock.advance(3000ms);
        expectLostConnection();
    }
}

TEST_F(ReceiveTest, TailWithoutTheMarkerIsALostConnection)
{
    startReceive();
    port.arrive(stream(1024 + 300, 1024 + 100));
    clock.advance(3000ms);
    expectLostConnection();
}

TEST_F(ReceiveTest, SilenceAfterTheHeaderIsALostConnection)
{
    startReceive();
    port.arrive("GLOW ARRANGER");
    clock.advance(3000ms);
    expectLostConnection();
}

TEST_F(ReceiveTest, SilenceAfterSomeBlocksIsALostConnection)
{
    startReceive();
    port.arrive(stream(4096, 4000).left(3072));
    clock.advance(2000ms);
    EXPECT_TRUE(port.PortOpen());
    clock.advance(1000ms);
    expectLostConnection();
}

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
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), s);
}

TEST_F(ReceiveTest, MarkerAt1017OfAMiddleBlockEndsTheReceiveThere)
{
    startReceive();
    QByteArray s = stream(4096);
    s[1024 + 1017] = ':';
    port.arrive(s);
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), s.left(2048));
}

TEST_F(ReceiveTest, HeaderDifferingOnlyInCaseIsRejected)
{
    startReceive();
    port.arrive("GLOW Arranger" + QByteArray(2000, 'x'));
    EXPECT_EQ(window.messages, QStringList{"header data error, reset and retry"});
    EXPECT_EQ(window.status, QString("Waiting for data transmission from Glow Arranger."));
    expectEarlierFileIntact();
    EXPECT_EQ(engine.state().RxState, 0);
}

TEST_F(ReceiveTest, CancelAndLineErrorsInEachStateKeepTheEarlierFile)
{
    const std::vector<QByteArray> before = {{}, "GLOW ARRANGER", stream(3000).left(2100)};
    for (const QByteArray &arrived : before) {
        for (int code : {0, 1004, 1012}) {
            SCOPED_TRACE(arrived.size() * 10000 + code);
            window.messages.clear();
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
    }
}

TEST_F(ReceiveTest, TargetThatCannotBeCreatedIsReported)
{
    dialog.choose = path("no-such-folder/backup.txt");
    engine.cmdReceive_Click();
    port.arrive(stream(1024));
    ASSERT_EQ(window.messages.size(), 1);
    EXPECT_TRUE(window.messages[0].contains("no-such-folder/backup.txt"));
    EXPECT_TRUE(window.idle());
    EXPECT_FALSE(port.PortOpen());
    EXPECT_FALSE(engine.state().FileOpen);
    EXPECT_EQ(window.status, QString());
}

TEST_F(ReceiveTest, PortThatCannotOpenUndoesTheStart)
{
    port.failOpen = {CommError::Kind::PermissionDenied, "/dev/ttyS1", "permission denied"};
    window.option1 = false;
    startReceive();
    ASSERT_EQ(window.messages.size(), 1);
    EXPECT_TRUE(window.messages[0].contains("COM2 (/dev/ttyS1)"));
    EXPECT_TRUE(window.messages[0].contains("dialout"));
    EXPECT_EQ(window.status, QString());
    EXPECT_EQ(engine.remembered().RecNameSave, target);
    expectEarlierFileIntact();
}

TEST_F(ReceiveTest, UnreadableClipDoesNotStopTheReceive)
{
    window.animationReadable = false;
    startReceive();
    port.arrive(stream(2048));
    EXPECT_EQ(window.status, QString("File has been saved."));
    EXPECT_EQ(readFile(target), stream(2048));
}

TEST_F(ReceiveTest, ReceiveIntoANewFile)
{
    dialog.choose = path("new.txt");
    engine.cmdReceive_Click();
    port.arrive(stream(1024 + 100));
    clock.advance(3000ms);
    EXPECT_EQ(readFile(path("new.txt")), stream(1024 + 100));
    EXPECT_EQ(filesInDir(), QStringList{"new.txt"});
}

} // namespace
