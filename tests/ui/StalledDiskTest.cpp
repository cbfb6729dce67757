// A disk or a share that stalls while a backup is written: the window keeps
// answering, Cancel ends the receive at once, and whatever the hung call does
// when it returns changes nothing the user was told.
#include "BackgroundTarget.h"
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

// The real target, hanging at the start of one step as a stalled file
// system would.
class StallingTarget : public DiskTarget
{
  public:
    StallingTarget(Gate &gate, Step step) : m_gate(gate), m_step(step) {}
    bool write(const QByteArray &bytes) override
    {
        stallAt(Step::Write);
        return DiskTarget::write(bytes);
    }
    bool sync() override
    {
        stallAt(Step::Sync);
        return DiskTarget::sync();
    }
    Committed commit() override
    {
        stallAt(Step::Commit);
        return DiskTarget::commit();
    }

  private:
    void stallAt(Step step)
    {
        if (step == m_step && !std::exchange(m_stalled, true))
            m_gate.pass();
    }
    Gate &m_gate;
    Step m_step;
    bool m_stalled = false;
};

struct Stall
{
    const char *name;
    ReceiveTarget::Step step;
    bool cancel;
};

class StalledDiskTest : public ::testing::TestWithParam<Stall>
{
  protected:
    StalledDiskTest()
        : window(store, clock, fakes, {}, [this](frmGAbackup::Parts &parts) {
              parts.target = std::make_unique<BackgroundTarget>(
                  [this] { return std::make_unique<StallingTarget>(gate, GetParam().step); });
          })
    {
    }
    ~StalledDiskTest() override { gate.release(); } // before the window waits for its threads

    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files); }

    QTemporaryDir dir;
    Gate gate;
    MemorySettingsStore store;
    ManualClock clock;
    TestWindow::Fakes fakes{};
    TestWindow window;
};

TEST_P(StalledDiskTest, WindowAnswersAndTheEndingHolds)
{
    const QString target = TestFiles::write(dir.filePath("backup.txt"), "earlier backup");
    QByteArray dump = "GLOW ARRANGER" + QByteArray(2980, 'd') + ":abcdef";
    fakes.dialog->choose = target;
    window.cmdReceive->click();
    fakes.port->arrive(dump);
    clock.advance(3000ms);

    // The window's thread runs its event loop while the disk hangs.
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.wasReached(); }, 5000));
    QTest::qWait(50);
    EXPECT_TRUE(window.cmdCancel->isVisibleTo(&window));
    EXPECT_NE(window.sbrPanel->text(), QString("File has been saved."));
    if (GetParam().cancel) {
        window.cmdCancel->click();
        EXPECT_EQ(window.sbrPanel->text(), QString("Action canceled"));
        EXPECT_TRUE(window.cmdReceive->isEnabled());
    }
    gate.release();

    if (GetParam().cancel) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return files() == QStringList{"backup.txt"}; }, 5000))
            << files().join(' ').toStdString();
        QTest::qWait(100);
        EXPECT_EQ(TestFiles::read(target), "earlier backup");
        EXPECT_EQ(window.sbrPanel->text(), QString("Action canceled"));
        EXPECT_TRUE(window.messages.isEmpty()) << window.messages.join('\n').toStdString();
    } else {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return window.sbrPanel->text() == "File has been saved."; }, 5000));
        EXPECT_EQ(TestFiles::read(target), dump);
        EXPECT_EQ(files(), QStringList{"backup.txt"});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Receive, StalledDiskTest,
    ::testing::Values(Stall{"WriteThenCancel", ReceiveTarget::Step::Write, true},
                      Stall{"SyncThenCancel", ReceiveTarget::Step::Sync, true},
                      Stall{"CommitThenCancel", ReceiveTarget::Step::Commit, true},
                      Stall{"WriteThenGoOn", ReceiveTarget::Step::Write, false},
                      Stall{"SyncThenGoOn", ReceiveTarget::Step::Sync, false},
                      Stall{"CommitThenGoOn", ReceiveTarget::Step::Commit, false}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
