// Sending: the dialog, chunking paced by transmit-empty, the progress bar,
// the status texts, the completion, Cancel in each state and the failures.
#include "EngineFixture.h"
#include "ProfileHeader.h"
#include "Rows.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class SendTest : public EngineFixture
{
  protected:
    // Starts a send of a file made with content under name.
    void send(const QString &name, const QByteArray &data)
    {
        dialog.choose = makeFile(name, data);
        engine.cmdSend_Click();
    }

    // The controller's side: the line drains after every output until
    // nothing more is queued.
    void drainAll()
    {
        for (int guard = 0; guard < 10000 && port.PortOpen() && !timer2.enabled(); ++guard)
            port.transmitEmpty();
    }

    QStringList remainingTexts() const
    {
        return window.statusHistory.filter(QStringLiteral("bytes remaining"));
    }
};

TEST_F(SendTest, DialogIsSetUpFromTheRememberedChoice)
{
    engine.remembered().NameSave = "/shows/last.gaf";
    engine.remembered().FilterSave = 2;
    dialog.Flags = 0x7FFF; // left over from an earlier use
    dialog.choose = makeFile("next.txt", "x");
    dialog.chooseFilter = 3;
    engine.cmdSend_Click();

    EXPECT_TRUE(dialog.lastWasOpen);
    EXPECT_EQ(dialog.flagsShown, 0x1004);
    EXPECT_EQ(dialog.fileNameShown, QString("/shows/last.gaf"));
    EXPECT_EQ(dialog.titleShown, QString("Filename to send"));
    EXPECT_EQ(dialog.filterShown,
              QString("Text files (*.txt)|*.txt|GA2 Fixture Profiles (*.gaf)|*.gaf|All Files "
                      "(*.*)|*.*"));
    EXPECT_EQ(dialog.filterIndexShown, 2);
    EXPECT_EQ(window.statusHistory.first(), QString("Select file to send to Glow Arranger."));
    EXPECT_EQ(engine.remembered().NameSave, path("next.txt"));
    EXPECT_EQ(engine.remembered().FilterSave, 3);
    EXPECT_EQ(engine.state().TransferPath, path("next.txt"));
}

TEST_F(SendTest, CancelledDialogChangesNothing)
{
    engine.remembered().NameSave = "/shows/last.gaf";
    engine.remembered().FilterSave = 2;
    dialog.choose.clear();
    engine.cmdSend_Click();
    EXPECT_EQ(window.status, QString());
    EXPECT_EQ(engine.remembered().NameSave, QString("/shows/last.gaf"));
    EXPECT_EQ(engine.remembered().FilterSave, 2);
    EXPECT_EQ(port.opens, 0);
    EXPECT_FALSE(engine.state().FileOpen);
    EXPECT_TRUE(window.stateChanges.isEmpty());
}

TEST_F(SendTest, FileOf2500BytesGoesInThreeChunksWithCountdown)
{
    const QByteArray data = content(2500);
    send("show.txt", data);

    EXPECT_FLOAT_EQ(window.progress.max, 2.44140625f);
    EXPECT_TRUE(window.progress.visible);
    EXPECT_TRUE(window.busy());
    EXPECT_TRUE(window.animationPlays);
    EXPECT_EQ(window.startedSize, 2500);
    EXPECT_EQ(port.openedPorts, QList<int>{2});
    EXPECT_EQ(port.SThreshold(), 1);
    EXPECT_TRUE(window.statusHistory.contains("sending file"));
    ASSERT_EQ(port.outputs.size(), 1) << "the first chunk goes out at once";
    EXPECT_EQ(window.status, QString("1476 bytes remaining"));
    EXPECT_FLOAT_EQ(window.progress.value, 1.0f);

    port.transmitEmpty();
    EXPECT_EQ(window.status, QString("452 bytes remaining"));
    port.transmitEmpty();
    EXPECT_EQ(window.status, QString("0 bytes remaining"));
    EXPECT_EQ(window.counts, (QList<qint64>{1476, 452, 0})) << "each count's number is its text's";
    EXPECT_FALSE(timer2.enabled()) << "draining: the last chunk has not left yet";
    port.transmitEmpty();
    EXPECT_TRUE(timer2.enabled());

    QList<int> sizes;
    for (const QByteArray &out : port.outputs)
        sizes.append(int(out.size()));
    EXPECT_EQ(sizes, (QList<int>{1024, 1024, 452}));
    EXPECT_EQ(port.written, data);
    EXPECT_FLOAT_EQ(window.progress.value, 2.0f);
    EXPECT_EQ(remainingTexts(),
              (QStringList{"1476 bytes remaining", "452 bytes remaining", "0 bytes remaining"}));

    clock.advance(999ms);
    EXPECT_TRUE(port.PortOpen());
    clock.advance(1ms);
    EXPECT_EQ(window.status, QString("file has been sent"));
    EXPECT_FALSE(port.PortOpen());
    EXPECT_FALSE(timer2.enabled());
    EXPECT_FALSE(engine.state().FileOpen);
    EXPECT_TRUE(window.idle());
    EXPECT_FALSE(window.progress.visible);
    EXPECT_FALSE(window.animationPlays);
    EXPECT_TRUE(window.messages.isEmpty());
}

TEST_F(SendTest, FileOfExactly1024BytesIsOneLastChunk)
{
    send("one.txt", content(1024));
    EXPECT_FLOAT_EQ(window.progress.max, 1.0f);
    EXPECT_EQ(port.outputs.size(), 1);
    EXPECT_EQ(window.status, QString("0 bytes remaining"));
    EXPECT_FLOAT_EQ(window.progress.value, 0.0f);
    port.transmitEmpty();
    clock.advance(1000ms);
    EXPECT_EQ(window.status, QString("file has been sent"));
}

TEST_F(SendTest, EmptyFileArmsTheCompletionFromTheStart)
{
    send("empty.txt", {});
    EXPECT_FLOAT_EQ(window.progress.max, 1.0f);
    EXPECT_TRUE(port.outputs.isEmpty());
    EXPECT_TRUE(timer2.enabled());
    EXPECT_EQ(window.status, QString("sending file"));
    EXPECT_TRUE(remainingTexts().isEmpty());
    clock.advance(1000ms);
    EXPECT_EQ(window.status, QString("file has been sent"));
    EXPECT_TRUE(window.idle());
}

TEST_F(SendTest, FixtureProfileGoesWithItsHeaderFirst)
{
    const QByteArray data = content(1500);
    send("Wash.GaF", data);
    ASSERT_EQ(port.outputs.size(), 2) << "header and first chunk back to back";
    EXPECT_EQ(port.outputs[0].size(), 43);
    EXPECT_EQ(port.outputs[0].mid(31, 8), QByteArray("WASH    "));
    EXPECT_EQ(port.outputs[0].mid(39), QByteArray("\xDC\x05\0\0", 4));
    drainAll();
    EXPECT_EQ(port.written, ProfileHeader::build(path("Wash.GaF"), 1500) + data);
}

TEST_F(SendTest, EmptyFixtureProfileSendsTheHeaderAlone)
{
    send("empty.gaf", {});
    ASSERT_EQ(port.outputs.size(), 1);
    EXPECT_EQ(port.outputs[0].mid(39), QByteArray(4, '\0'));
    clock.advance(500ms);
    port.transmitEmpty(); // the header has left: the completion starts over
    clock.advance(999ms);
    EXPECT_TRUE(port.PortOpen());
    clock.advance(1ms);
    EXPECT_EQ(window.status, QString("file has been sent"));
}

TEST_F(SendTest, TextFileInAGafFolderGoesWithoutHeader)
{
    send("profiles.gaf.d/notes.txt", "abc");
    EXPECT_EQ(port.written, QByteArray("abc"));
}

TEST_F(SendTest, Com1IsUsedWhenSelected)
{
    engine.choosePort(1);
    send("a.txt", "x");
    EXPECT_EQ(port.openedPorts, QList<int>{1});
}

// Cancelled with chunks still to send (2), or with all sent and the port
// draining (0).
using CancelWhileSendingTest = Rows<SendTest, int>;

TEST_P(CancelWhileSendingTest, ClosesAndKeepsTheSource)
{
    const int chunksLeft = GetParam();
    const QString source = makeFile("src.txt", content(1024 * 3));
    dialog.choose = source;
    engine.cmdSend_Click();
    for (int i = 0; i < 2 - chunksLeft; ++i)
        port.transmitEmpty();
    engine.cmdCancel_Click();
    EXPECT_EQ(window.status, QString("Action canceled"));
    EXPECT_FALSE(port.PortOpen());
    EXPECT_FALSE(engine.state().FileOpen);
    EXPECT_TRUE(window.idle());
    EXPECT_FALSE(window.progress.visible);
    EXPECT_EQ(readFile(source), content(1024 * 3));
    clock.advance(5000ms);
    EXPECT_EQ(window.status, QString("Action canceled")) << "no completion follows";
}

INSTANTIATE_TEST_SUITE_P(Send, CancelWhileSendingTest, ::testing::Values(2, 0));

TEST_F(SendTest, CancelAfterTheLastChunkLeftStillReportsTheSend)
{
    send("a.txt", content(10));
    port.transmitEmpty();
    ASSERT_TRUE(timer2.enabled());
    engine.cmdCancel_Click();
    EXPECT_EQ(window.status, QString("Action canceled"));
    clock.advance(1000ms);
    EXPECT_EQ(window.status, QString("file has been sent"));
    EXPECT_FALSE(timer2.enabled());
}

TEST_F(SendTest, NewTransferDisarmsACompletionLeftByACancelledSend)
{
    send("a.txt", content(10));
    port.transmitEmpty();
    clock.advance(500ms);
    engine.cmdCancel_Click();

    send("b.txt", content(5000)); // still sending when the old tick would come
    clock.advance(600ms);
    EXPECT_TRUE(port.PortOpen());
    EXPECT_TRUE(window.busy());
    EXPECT_EQ(window.status, QString("3976 bytes remaining"));

    engine.cmdCancel_Click();
    send("c.txt", content(10));
    EXPECT_FLOAT_EQ(window.progress.value, 0.0f) << "not where the last send left it";
    port.transmitEmpty();
    engine.cmdCancel_Click();
    dialog.choose = path("backup.txt");
    engine.cmdReceive_Click();
    clock.advance(1500ms);
    EXPECT_TRUE(port.PortOpen()) << "a receive is not ended by an old send's completion";
    EXPECT_EQ(window.status, QString("Waiting for data transmission from Glow Arranger."));
}

TEST_F(SendTest, UnopenableFileIsReportedAndTheWindowStaysIdle)
{
    dialog.choose = path("vanished.txt");
    engine.cmdSend_Click();
    ASSERT_TRUE(window.saidOnce({"vanished.txt", "No such file"}));
    EXPECT_EQ(window.status, QString());
    EXPECT_TRUE(window.stateChanges.isEmpty());
    EXPECT_EQ(port.opens, 0);
    EXPECT_EQ(engine.remembered().NameSave, path("vanished.txt"));
}

TEST_F(SendTest, PortThatCannotOpenUndoesTheStart)
{
    for (auto kind :
         {CommError::Kind::PermissionDenied, CommError::Kind::Busy, CommError::Kind::NotFound}) {
        port.failOpen = {kind, "/dev/ttyUSB7", "it failed"};
        window.messages.clear();
        send("a.txt", content(10));
        ASSERT_EQ(window.messages.size(), 1);
        const QString &message = window.messages[0];
        EXPECT_TRUE(message.contains("COM2")) << message.toStdString();
        EXPECT_TRUE(message.contains("/dev/ttyUSB7"));
        EXPECT_TRUE(message.contains("it failed"));
        EXPECT_EQ(message.contains("dialout"), kind == CommError::Kind::PermissionDenied);
        EXPECT_TRUE(window.idle());
        EXPECT_FALSE(window.progress.visible);
        EXPECT_FALSE(window.animationPlays);
        EXPECT_FALSE(engine.state().FileOpen);
        EXPECT_FALSE(engine.transferInProgress());
        EXPECT_EQ(window.status, QString());
    }
}

TEST_F(SendTest, FileThatShrinksDuringTheSendIsReportedAsNotSent)
{
    send("a.txt", content(3000));
    ASSERT_EQ(::truncate(QFile::encodeName(path("a.txt")).constData(), 1500), 0);
    port.transmitEmpty();
    ASSERT_TRUE(window.saidOnce({"was not sent completely"}));
    EXPECT_TRUE(window.idle());
    EXPECT_FALSE(port.PortOpen());
    EXPECT_FALSE(engine.state().FileOpen);
    clock.advance(5000ms);
    EXPECT_FALSE(window.statusHistory.contains("file has been sent"));
    EXPECT_EQ(window.status, QString());
}

TEST_F(SendTest, OutputThatFailsEndsTheSendWithTheReason)
{
    port.failOutputAfter = 1;
    send("a.txt", content(3000));
    port.transmitEmpty();
    ASSERT_TRUE(window.saidOnce({"was not sent completely", "Input/output error"}));
    EXPECT_TRUE(window.idle());
    clock.advance(5000ms);
    EXPECT_FALSE(window.statusHistory.contains("file has been sent"));
}

TEST_F(SendTest, FilesOf2GiBOrMoreAreRefusedBeforeOpening)
{
    const QString big = path("big.txt");
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64(1) << 31)); // sparse: takes no disk space
    }
    dialog.choose = big;
    engine.cmdSend_Click();
    ASSERT_TRUE(window.saidOnce({"too large"}));
    EXPECT_EQ(port.opens, 0);
    EXPECT_FALSE(engine.state().FileOpen);
    EXPECT_TRUE(window.stateChanges.isEmpty());
}

TEST_F(SendTest, LineErrorDuringASendKeepsTheSource)
{
    send("a.txt", content(3000));
    port.raise(1004);
    EXPECT_EQ(window.messages, QStringList{"framing error on com port, reset and retry"});
    EXPECT_EQ(readFile(path("a.txt")), content(3000));
    EXPECT_FALSE(engine.state().FileOpen);
}

TEST_F(SendTest, CancelDiscardsQueuedOutputButANormalEndNeverDoes)
{
    send("a.txt", content(3000));
    engine.cmdCancel_Click();
    EXPECT_EQ(port.discardsWhileOpen, 1) << "Cancel throws away what has not left";

    send("b.txt", content(3000));
    drainAll();
    port.setQueued(0);
    clock.advance(1000ms);
    EXPECT_EQ(window.status, QString("file has been sent"));
    EXPECT_EQ(port.discardsWhileOpen, 1) << "a normal end lets the driver send the rest";
}

TEST_F(SendTest, CompletionWaitsWhileThePortStillHoldsBytes)
{
    send("a.txt", content(2000));
    drainAll();
    ASSERT_TRUE(timer2.enabled());
    // The driver reports bytes still on their way (a real UART's queue).
    port.setQueued(900);
    clock.advance(1000ms);
    EXPECT_TRUE(port.PortOpen());
    EXPECT_EQ(window.status, QString("0 bytes remaining"));
    port.setQueued(300);
    clock.advance(1000ms);
    EXPECT_TRUE(port.PortOpen());
    port.setQueued(0);
    clock.advance(1000ms);
    EXPECT_EQ(window.status, QString("file has been sent"));
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(port.discardsWhileOpen, 0);
    EXPECT_TRUE(window.messages.isEmpty());
}

TEST_F(SendTest, QueueThatStopsMovingIsReportedAsNotSent)
{
    send("a.txt", content(2000));
    drainAll();
    port.setQueued(500);
    clock.advance(1000ms);
    clock.advance(1000ms);
    ASSERT_TRUE(window.saidOnce({"was not sent completely", "500"}));
    EXPECT_FALSE(window.statusHistory.contains("file has been sent"));
    EXPECT_FALSE(port.PortOpen());
    EXPECT_TRUE(window.idle());
}

// What comes after the last chunk was handed over: a line error is a
// failure, and never followed by the completion; a far end that hangs up has
// lost nothing once the port has seen its transmit side empty after the last
// bytes, and everything if bytes were still on their way.
struct AfterTheLastChunk
{
    const char *name;
    int code;
    bool left; // the port reported its transmit side empty after the last chunk
    bool sent;
};

using AfterTheLastChunkTest = Rows<SendTest, AfterTheLastChunk>;

TEST_P(AfterTheLastChunkTest, EndsAsTheBytesDid)
{
    const AfterTheLastChunk &c = GetParam();
    send("a.txt", content(1500));
    port.transmitEmpty(); // the first chunk has left; the second is handed over
    if (c.left)
        port.transmitEmpty();
    ASSERT_EQ(timer2.enabled(), c.left);
    port.raise(c.code);
    EXPECT_EQ(window.messages.size(), c.sent ? 0 : 1);
    EXPECT_FALSE(timer2.enabled());
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(window.transfers.last(), c.sent ? "ended sent: file has been sent"
                                              : "ended failed: " + window.messages.value(0));
    clock.advance(2000ms);
    EXPECT_EQ(window.status, c.sent ? QString("file has been sent") : QString());
    EXPECT_EQ(window.statusHistory.count("file has been sent"), c.sent ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Send, AfterTheLastChunkTest,
    ::testing::Values(
        AfterTheLastChunk{"FramingError", 1004, true, false},
        AfterTheLastChunk{"OverrunError", 1006, true, false},
        AfterTheLastChunk{"HangUpOnceEveryByteLeft", CommEvents::comEventPortLost, true, true},
        AfterTheLastChunk{"HangUpWithBytesOnTheirWay", CommEvents::comEventPortLost, false, false}),
    rowName);

TEST_F(SendTest, OldCompletionIsStoppedBeforeTheNextDialogOpens)
{
    send("a.txt", content(10));
    port.transmitEmpty();
    engine.cmdCancel_Click();
    ASSERT_TRUE(timer2.enabled());
    for (bool receive : {false, true}) {
        bool armedWhileShown = true;
        dialog.onShow = [&] {
            armedWhileShown = timer2.enabled();
            clock.advance(1500ms); // the user takes their time
        };
        dialog.choose.clear();
        if (receive)
            engine.cmdReceive_Click();
        else
            engine.cmdSend_Click();
        EXPECT_FALSE(armedWhileShown);
        EXPECT_FALSE(window.statusHistory.contains("file has been sent"));
    }
}

// A pipe with no writer would block an open() for good; a device may act
// when opened; a folder has no bytes to send. Each is refused before
// anything opens it. The row names the path (made in the folder unless it
// is absolute) and the kind the message tells.
class SpecialSourceTest : public SendTest,
                          public ::testing::WithParamInterface<std::pair<std::string, std::string>>
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.gaf")).constData(), 0600), 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, QFile::encodeName(path("sock")).constData(),
                     sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        QDir().mkpath(path("folder"));
    }
    ~SpecialSourceTest() override { ::close(sock); }
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
};

TEST_P(SpecialSourceTest, IsRefusedBeforeAnythingOpensIt)
{
    const auto [name, kind] = GetParam();
    dialog.choose = QDir(dir.path()).absoluteFilePath(QString::fromStdString(name));
    engine.cmdSend_Click();
    ASSERT_TRUE(window.saidOnce({QString::fromStdString(kind), "not a regular file"}));
    EXPECT_EQ(port.opens, 0);
    EXPECT_FALSE(engine.state().FileOpen);
    EXPECT_TRUE(window.stateChanges.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Send, SpecialSourceTest,
    ::testing::Values(std::pair<std::string, std::string>{"pipe.gaf", "named pipe"},
                      std::pair<std::string, std::string>{"/dev/zero", "device"},
                      std::pair<std::string, std::string>{"sock", "socket"},
                      std::pair<std::string, std::string>{"folder", "folder"}),
    [](const auto &info) {
        return info.param.second == "named pipe" ? "pipe" : info.param.second;
    });

TEST_F(SendTest, LinkToARegularFileIsSent)
{
    const QString real = makeFile("real.txt", content(1500));
    ASSERT_EQ(::symlink(QFile::encodeName(real).constData(),
                        QFile::encodeName(path("link.txt")).constData()),
              0);
    dialog.choose = path("link.txt");
    engine.cmdSend_Click();
    drainAll();
    clock.advance(1000ms);
    EXPECT_EQ(window.status, QString("file has been sent"));
    EXPECT_EQ(port.written, content(1500));
}

} // namespace
