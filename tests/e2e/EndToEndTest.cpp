// The real window, the real serial port and the controller simulator over a
// pseudo-terminal: what a user would see, and the bytes and files that result.
#include "FakeFileDialog.h"
#include "MemorySettingsStore.h"
#include "WindowParts.h"
#include "frmGAbackup.h"

#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The window with its boxes recorded instead of shown; everything else real
// but the file dialog, which answers as the test says.
class UserWindow : public frmGAbackup
{
  public:
    UserWindow(SettingsStore &store, FakeFileDialog *&dialog)
        : frmGAbackup(store, partsWithFakeDialog(dialog, {QStringLiteral(ZO_SOURCE_DATA_DIR)}))
    {
    }
    void messageBox(const QString &text) override { messages.append(text); }
    QStringList messages;
};

class EndToEndTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        window = std::make_unique<UserWindow>(store, dialog);
        window->show();
    }

    void TearDown() override
    {
        if (sim.state() != QProcess::NotRunning) {
            sim.kill();
            sim.waitForFinished(2000);
        }
    }

    // Starts the simulator and points COM2 at its line.
    void startSim(const QStringList &args)
    {
        sim.start(QStringLiteral(ZO_SIM_PATH), args);
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return sim.canReadLine(); }, 5000));
        const QString first = QString::fromLocal8Bit(sim.readLine()).trimmed();
        ASSERT_TRUE(first.startsWith("device: ")) << first.toStdString();
        store.write("Ports", "COM2", first.mid(8));
    }

    QString simOutput()
    {
        sim.waitForFinished(10000);
        return QString::fromLocal8Bit(sim.readAll());
    }

    QString status() const { return window->sbrPanel->text(); }

    bool waitForStatus(const QString &text, int ms = 15000)
    {
        return QTest::qWaitFor([&] { return status() == text; }, ms);
    }

    QString write(const QString &name, const QByteArray &content)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return file.fileName();
    }

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static QByteArray randomBytes(int size)
    {
        QByteArray data(size, '\0');
        QRandomGenerator generator(size);
        for (char &c : data)
            c = char(generator.bounded(256));
        return data;
    }

    // Starts a receive into a target that already holds an earlier backup,
    // then lets the simulator begin its dump.
    void receiveWithDump(const QStringList &dumpArgs)
    {
        startSim(QStringList{"dump", "--wait-enter"} + dumpArgs);
        target = write("show.bak", "earlier backup");
        dialog->choose = target;
        window->cmdReceive->click();
        ASSERT_TRUE(window->port().PortOpen());
        sim.write("\n");
    }

    void expectEarlierBackupKept()
    {
        EXPECT_EQ(read(target), QByteArray("earlier backup"));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"show.bak"});
        EXPECT_TRUE(window->cmdSend->isEnabled());
        EXPECT_FALSE(window->port().PortOpen());
    }

    QTemporaryDir dir;
    MemorySettingsStore store;
    FakeFileDialog *dialog = nullptr;
    std::unique_ptr<UserWindow> window;
    QProcess sim;
    QString target;
};

TEST_F(EndToEndTest, FixtureProfileAndTextFileArriveByteForByte)
{
    struct Case
    {
        QString name;
        int size;
        QString header;
    };
    for (const Case &c :
         {Case{"Moving Head.gaf", 3000, "profile header: name \"MOVING H\", length 3000"},
          Case{"notes.txt", 2500, "no profile header"}}) {
        SCOPED_TRACE(c.name.toStdString());
        const QByteArray content = randomBytes(c.size);
        startSim({"receive", "--quiet-ms", "1500", "--out", dir.filePath("arrived")});
        dialog->choose = write(c.name, content);
        window->cmdSend->click();
        ASSERT_TRUE(waitForStatus("file has been sent")) << status().toStdString();
        const QString report = simOutput();
        EXPECT_EQ(sim.exitCode(), 0) << report.toStdString();
        EXPECT_TRUE(report.contains(c.header)) << report.toStdString();
        EXPECT_EQ(read(dir.filePath("arrived")), content);
        EXPECT_TRUE(window->messages.isEmpty());
        EXPECT_TRUE(window->cmdSend->isEnabled());
    }
}

TEST_F(EndToEndTest, BackupWithTheMarkerInAFullBlockIsSaved)
{
    receiveWithDump({"--length", "3072", "--fast", "--save-stream", dir.filePath("stream")});
    ASSERT_TRUE(waitForStatus("File has been saved.")) << status().toStdString();
    EXPECT_EQ(read(target), read(dir.filePath("stream")));
    EXPECT_EQ(read(target).size(), 3072);
    EXPECT_TRUE(window->messages.isEmpty());
}

TEST_F(EndToEndTest, BackupWithTheMarkerInTheTailIsSavedAfterTheLineFallsQuiet)
{
    receiveWithDump({"--length", "2548", "--save-stream", dir.filePath("stream")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return status() == "2048 bytes received"; }, 10000));
    ASSERT_TRUE(waitForStatus("File has been saved.", 10000)) << status().toStdString();
    EXPECT_EQ(read(target), read(dir.filePath("stream")));
    QDir(dir.path()).remove("stream");
}

TEST_F(EndToEndTest, DumpThatStopsIsALostConnectionAndKeepsTheEarlierBackup)
{
    receiveWithDump({"--length", "8192", "--fast", "--stop-after", "2500", "--linger-ms", "6000"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->messages.isEmpty(); }, 10000));
    EXPECT_EQ(window->messages, QStringList{"Connection was lost."});
    EXPECT_EQ(status(), QString());
    expectEarlierBackupKept();
}

TEST_F(EndToEndTest, SimulatorVanishingMidReceiveIsReportedAndKeepsTheEarlierBackup)
{
    receiveWithDump({"--length", "8192", "--rate", "4000", "--stop-after", "3000", "--vanish"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->messages.isEmpty(); }, 10000));
    // Whatever of the stream reached the program before the hang-up is
    // handled first; the loss ends the receive.
    EXPECT_EQ(window->messages,
              QStringList{"port disconnected error on com port, reset and retry"});
    expectEarlierBackupKept();
}

TEST_F(EndToEndTest, WrongHeaderIsRejected)
{
    receiveWithDump({"--length", "2048", "--fast", "--wrong-header"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->messages.isEmpty(); }, 10000));
    EXPECT_EQ(window->messages, QStringList{"header data error, reset and retry"});
    EXPECT_EQ(status(), QString("Waiting for data transmission from Glow Arranger."));
    expectEarlierBackupKept();
}

TEST_F(EndToEndTest, CancelDuringAReceive)
{
    receiveWithDump({"--length", "100000"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return status() == "1024 bytes received"; }, 10000));
    window->cmdCancel->click();
    EXPECT_EQ(status(), QString("Action canceled"));
    expectEarlierBackupKept();
}

TEST_F(EndToEndTest, CancelDuringASend)
{
    const QByteArray content = randomBytes(40000);
    startSim({"receive", "--quiet-ms", "1500", "--out", dir.filePath("arrived")});
    dialog->choose = write("big.txt", content);
    window->cmdSend->click();
    // Cancel once a few chunks have gone out.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return status().endsWith(" bytes remaining") &&
                   status().section(' ', 0, 0).toInt() <= 40000 - 4 * 1024;
        },
        5000));
    window->cmdCancel->click();
    EXPECT_EQ(status(), QString("Action canceled"));
    EXPECT_FALSE(window->port().PortOpen());
    EXPECT_EQ(read(dir.filePath("big.txt")), content) << "the source is kept";
    EXPECT_TRUE(simOutput().contains("received"));
    const QByteArray arrived = read(dir.filePath("arrived"));
    EXPECT_GE(arrived.size(), 3 * 1024);
    EXPECT_LT(arrived.size(), content.size());
    EXPECT_EQ(arrived, content.left(arrived.size()));
    QTest::qWait(1200);
    EXPECT_EQ(status(), QString("Action canceled")) << "no completion follows a cancelled send";
}

} // namespace
