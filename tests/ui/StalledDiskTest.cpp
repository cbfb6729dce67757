// A disk or a share that stalls while the file is opened, a backup written
// or a file read for sending: the window keeps answering, Cancel ends the transfer at once,
// and whatever the hung call does when it returns changes nothing the user
// was told.
#include "BackgroundTarget.h"
#include "FileThread.h"
#include "Rows.h"
#include "SendSource.h"
#include "TestWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

using namespace std::chrono_literals;

namespace {

// Opened when the test says; until then the step that reaches it hangs.
struct Gate
{
    std::mutex mutex;
    std::condition_variable changed;
    bool reached = false, open = false;

    void pass()
    {
        std::unique_lock lock(mutex);
        reached = true;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
    }
    void release()
    {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    bool wasReached()
    {
        std::lock_guard lock(mutex);
        return reached;
    }
};

enum class Stalls
{
    Open,
    OpenToSend,
    Write,
    Sync,
    Commit,
    Naming, // the copy has taken the name; the folder's sync hangs
    Read
};

// Hangs the first time the stalling step comes.
class Staller
{
  public:
    Staller(Gate &gate, Stalls step) : m_gate(gate), m_step(step) {}
    void stallAt(Stalls step)
    {
        if (step == m_step && !std::exchange(m_stalled, true))
            m_gate.pass();
    }

  private:
    Gate &m_gate;
    Stalls m_step;
    bool m_stalled = false;
};

// The real target and source, hanging at the start of one step as a stalled
// file system would.
class StallingTarget : public DiskTarget, Staller
{
  public:
    using Staller::Staller;
    bool open(const QString &path) override
    {
        stallAt(Stalls::Open);
        return DiskTarget::open(path);
    }
    bool write(const QByteArray &bytes) override
    {
        stallAt(Stalls::Write);
        return DiskTarget::write(bytes);
    }
    bool sync() override
    {
        stallAt(Stalls::Sync);
        return DiskTarget::sync();
    }
    Committed commit() override
    {
        stallAt(Stalls::Commit);
        const Committed committed = DiskTarget::commit();
        stallAt(Stalls::Naming);
        return committed;
    }
};

class StallingSource : public FileSource, Staller
{
  public:
    using Staller::Staller;
    void open(const QString &path, qint64 largest, Opened opened) override
    {
        stallAt(Stalls::OpenToSend);
        FileSource::open(path, largest, std::move(opened));
    }
    void read(qint64 length, Ready ready) override
    {
        stallAt(Stalls::Read);
        FileSource::read(length, std::move(ready));
    }
};

struct Stall
{
    const char *name;
    Stalls step;
    bool cancel;
};

class StalledDiskTest : public ::testing::TestWithParam<Stall>, public WindowHarness
{
  protected:
    StalledDiskTest()
        : window(store, clock, fakes, {}, [this](frmGAbackup::Parts &parts) {
              parts.target = std::make_unique<BackgroundTarget>(
                  [this] { return std::make_unique<StallingTarget>(gate, GetParam().step); });
              parts.source = std::make_unique<BackgroundSource>(
                  [this] { return std::make_shared<StallingSource>(gate, GetParam().step); });
          })
    {
    }
    ~StalledDiskTest() override { gate.release(); } // before the window waits for its threads

    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files); }
    void giveDump(const QByteArray &dump)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.port->PortOpen(); }, 5000));
        fakes.port->arrive(dump);
        clock.advance(3000ms);
    }

    Gate gate;
    TestWindow window;
};

TEST_P(StalledDiskTest, WindowAnswersAndTheEndingHolds)
{
    const Stalls step = GetParam().step;
    const bool sending = step == Stalls::Read || step == Stalls::OpenToSend;
    const QString target = TestFiles::write(dir.filePath("backup.txt"), "earlier backup");
    const QByteArray dump = WindowHarness::dump(2980);
    if (sending) {
        fakes.dialog->choose = TestFiles::write(dir.filePath("show.txt"), dump);
        window.cmdSend->click();
    } else {
        fakes.dialog->choose = target;
        window.cmdReceive->click();
        if (step != Stalls::Open)
            giveDump(dump);
    }

    // The window's thread runs its event loop while the disk hangs.
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.wasReached(); }, 5000));
    EXPECT_TRUE(window.cmdCancel->isVisibleTo(&window));
    EXPECT_NE(window.sbrPanel->text(), QString("File has been saved."));
    // Once the copy has begun to take the name, Cancel cannot undo it, and
    // says so instead of claiming the earlier file kept.
    const bool tooLate = step == Stalls::Naming;
    if (GetParam().cancel) {
        window.cmdCancel->click();
        EXPECT_EQ(window.sbrPanel->text(),
                  tooLate ? QString("The backup is taking its name on the disk; it can no longer "
                                    "be canceled.")
                          : QString("Action canceled"));
        EXPECT_NE(window.cmdReceive->isEnabled(), tooLate);
    }
    gate.release();

    if (GetParam().cancel && !tooLate) {
        const QStringList left =
            sending ? QStringList{"backup.txt", "show.txt"} : QStringList{"backup.txt"};
        EXPECT_TRUE(QTest::qWaitFor([&] { return files() == left; }, 5000))
            << files().join(' ').toStdString();
        // Whatever the hung call did when it returned has been done.
        ASSERT_TRUE(FileThread::waitForAll(5s));
        QCoreApplication::processEvents();
        EXPECT_EQ(TestFiles::read(target), "earlier backup");
        EXPECT_TRUE(fakes.port->written.isEmpty()) << "a chunk read after Cancel went out";
        EXPECT_EQ(window.sbrPanel->text(), QString("Action canceled"));
        EXPECT_TRUE(window.messages.isEmpty()) << window.messages.join('\n').toStdString();
    } else if (sending) {
        // Each chunk is read on the source's thread and sent when it is back.
        for (qsizetype sent = 0; fakes.port->written.size() < dump.size();) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.port->written.size() > sent; }, 5000));
            sent = fakes.port->written.size();
            fakes.port->transmitEmpty();
        }
        fakes.port->transmitEmpty();
        clock.advance(1000ms);
        EXPECT_EQ(fakes.port->written, dump);
        EXPECT_EQ(window.sbrPanel->text(), QString("file has been sent"));
    } else {
        if (step == Stalls::Open)
            giveDump(dump);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return window.sbrPanel->text() == "File has been saved."; }, 5000));
        EXPECT_EQ(TestFiles::read(target), dump);
        EXPECT_EQ(files(), QStringList{"backup.txt"});
    }
}

INSTANTIATE_TEST_SUITE_P(Transfer, StalledDiskTest,
                         ::testing::Values(Stall{"OpenThenCancel", Stalls::Open, true},
                                           Stall{"OpenToSendThenCancel", Stalls::OpenToSend, true},
                                           Stall{"OpenThenGoOn", Stalls::Open, false},
                                           Stall{"OpenToSendThenGoOn", Stalls::OpenToSend, false},
                                           Stall{"WriteThenCancel", Stalls::Write, true},
                                           Stall{"SyncThenCancel", Stalls::Sync, true},
                                           Stall{"CommitThenCancel", Stalls::Commit, true},
                                           Stall{"NamingThenCancel", Stalls::Naming, true},
                                           Stall{"ReadThenCancel", Stalls::Read, true},
                                           Stall{"WriteThenGoOn", Stalls::Write, false},
                                           Stall{"SyncThenGoOn", Stalls::Sync, false},
                                           Stall{"CommitThenGoOn", Stalls::Commit, false},
                                           Stall{"ReadThenGoOn", Stalls::Read, false}),
                         rowName);

} // namespace
