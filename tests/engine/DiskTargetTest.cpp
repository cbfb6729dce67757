// The real receive target on the machine's file system: what a finished save
// leaves in the folder, whichever way the earlier file is replaced, and which
// leftovers a new receive clears; the send source and the file thread that
// serve both.
#include "BackgroundTarget.h"
#include "FailingTarget.h"
#include "FileThread.h"
#include "Rows.h"
#include "SendSource.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>
#include <mutex>

namespace {

struct Replacing
{
    const char *name;
    DiskTarget::Replace replace;
    bool earlier;      // a file already has the chosen name
    bool staleEarlier; // and an earlier copy of it, left by a cut, is beside it
};

// A folder of the test's own.
class DiskTargetFolderTest : public ::testing::Test
{
  protected:
    QString path(const QString &name) const { return QDir(dir.path()).filePath(name); }
    QStringList files() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    QTemporaryDir dir;
};

using DiskTargetTest = Rows<DiskTargetFolderTest, Replacing>;

// More than two pieces in writes of every size, so that gathering, the last
// piece written at the sync, and the replace are all seen.
TEST_P(DiskTargetTest, SavesTheWholeFileUnderItsNameAndNothingBeside)
{
    const QString chosen = path("backup.txt");
    if (GetParam().earlier) {
        TestFiles::write(chosen, "earlier");
        ::chmod(QFile::encodeName(chosen).constData(), 0640);
    }
    if (GetParam().staleEarlier)
        TestFiles::write(DiskTarget::earlierName(chosen), "older still");
    QByteArray content;
    DiskTarget target(GetParam().replace);
    ASSERT_TRUE(target.open(chosen)) << target.errorString().toStdString();
    for (int size : {1024, 1011, 65536, 70000, 1, 0, 1024, 3000}) {
        const QByteArray piece(size, char('a' + size % 26));
        content += piece;
        ASSERT_TRUE(target.write(piece));
    }
    EXPECT_EQ(TestFiles::read(chosen), GetParam().earlier ? "earlier" : "<missing>");
    ASSERT_TRUE(target.sync()) << target.errorString().toStdString();
    EXPECT_EQ(target.commit(), ReceiveTarget::Committed::Durable)
        << target.errorString().toStdString();
    target.discard();

    EXPECT_EQ(TestFiles::read(chosen), content);
    EXPECT_EQ(files(), QStringList{"backup.txt"});
    EXPECT_EQ(descriptorsInto(dir.path()), 0);
    EXPECT_TRUE(target.earlierKeptAs().isEmpty());
    if (GetParam().earlier) {
        EXPECT_EQ(QFileInfo(chosen).permissions(), QFile::ReadOwner | QFile::WriteOwner |
                                                       QFile::ReadUser | QFile::WriteUser |
                                                       QFile::ReadGroup);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Save, DiskTargetTest,
    ::testing::Values(
        Replacing{"NewFile", DiskTarget::Replace::ByFileSystem, false, false},
        Replacing{"InOneStep", DiskTarget::Replace::ByFileSystem, true, false},
        Replacing{"NewFileKeepingEarlier", DiskTarget::Replace::KeepEarlierFirst, false, false},
        Replacing{"KeepingEarlier", DiskTarget::Replace::KeepEarlierFirst, true, false},
        Replacing{"KeepingEarlierAfterACut", DiskTarget::Replace::KeepEarlierFirst, true, true}),
    rowName);

// A receive clears what a killed receive of this program left, and nothing
// else: not a copy of a receive still running, not a file of another
// program, not a folder, and not the earlier file a cut left as the only
// backup of its name.
TEST_F(DiskTargetFolderTest, ClearsOnlyLeftoversOfThisProgramThatNoLongerRuns)
{
    const QString gone = DiskTarget::partName(path("other.txt"), 0x7FFFFFF0, 3);
    const QString running = DiskTarget::partName(path("other.txt"), ::getpid(), 9999);
    TestFiles::write(gone, "killed mid-receive");
    TestFiles::write(running, "still coming");
    TestFiles::write(path("other.txt.part"), "another program's");
    TestFiles::write(path("notes.zo-vovere-12.part"), "not our pattern");
    TestFiles::write(DiskTarget::earlierName(path("show.txt")), "the only backup");
    QDir().mkpath(DiskTarget::partName(path("folder"), 0x7FFFFFF0, 1));

    DiskTarget target;
    ASSERT_TRUE(target.open(path("backup.txt")));
    EXPECT_FALSE(QFile::exists(gone));
    EXPECT_EQ(files().size(), 5) << files().join(' ').toStdString();
    EXPECT_TRUE(QFileInfo(DiskTarget::partName(path("folder"), 0x7FFFFFF0, 1)).isDir());
    target.discard();
    EXPECT_EQ(files().size(), 4) << "the copy goes with discard";
}

TEST_F(DiskTargetFolderTest, LinkStaysAndTheFileItNamesIsReplaced)
{
    TestFiles::write(path("shows/backup.txt"), "earlier");
    ASSERT_TRUE(QFile::link(path("shows/backup.txt"), path("link.txt")));
    DiskTarget target;
    ASSERT_TRUE(target.open(path("link.txt")));
    ASSERT_TRUE(target.write("new") && target.sync());
    EXPECT_EQ(target.commit(), ReceiveTarget::Committed::Durable);
    EXPECT_TRUE(QFileInfo(path("link.txt")).isSymLink());
    EXPECT_EQ(TestFiles::read(path("shows/backup.txt")), "new");
}

// The one-step replace only where the file system is known to do it: FAT,
// exFAT and NTFS (also through FUSE), and any file system not known, go
// through the earlier file's own name.
TEST(DiskTarget, ReplacesInOneStepOnlyOnFileSystemsKnownToDoIt)
{
    for (const long atomic : {0xEF53L, 0x58465342L, 0x9123683EL, 0x01021994L, 0x794C7630L})
        EXPECT_TRUE(DiskTarget::replacesInOneStep(atomic)) << std::hex << atomic;
    // vfat, exFAT, ntfs3, fuseblk (fusefat, exfat-fuse, ntfs-3g), an unknown one
    for (const long other : {0x4D44L, 0x2011BAB0L, 0x7366746EL, 0x65735546L, 0x12345678L})
        EXPECT_FALSE(DiskTarget::replacesInOneStep(other)) << std::hex << other;
}

// Where the copy cannot take the chosen name after the earlier file has
// stepped aside, the earlier file goes back to its name.
TEST_F(DiskTargetFolderTest, EarlierFileIsPutBackWhenTheNewOneCannotTakeItsName)
{
    const QString chosen = TestFiles::write(path("backup.txt"), "earlier");
    DiskTarget target(DiskTarget::Replace::KeepEarlierFirst);
    ASSERT_TRUE(target.open(chosen));
    ASSERT_TRUE(target.write("new") && target.sync());
    const QStringList copies = QDir(dir.path()).entryList({"*.part"}, QDir::Files);
    ASSERT_EQ(copies.size(), 1);
    ASSERT_TRUE(QFile::remove(path(copies[0]))); // the rename of the copy now fails
    EXPECT_EQ(target.commit(), ReceiveTarget::Committed::Failed);
    EXPECT_TRUE(target.errorString().contains("No such file"))
        << target.errorString().toStdString();
    EXPECT_TRUE(target.earlierKeptAs().isEmpty());
    target.discard();
    EXPECT_EQ(TestFiles::read(chosen), "earlier");
    EXPECT_EQ(files(), QStringList{"backup.txt"});
}

// A copy's name left by an earlier process that had this pid is never
// opened again: the new copy is a file of its own.
TEST_F(DiskTargetFolderTest, CopyLeftUnderTheSameNameIsNeverWrittenInto)
{
    DiskTarget first;
    ASSERT_TRUE(first.open(path("backup.txt")));
    const QStringList made = QDir(dir.path()).entryList({"*.part"}, QDir::Files);
    ASSERT_EQ(made.size(), 1);
    first.discard();
    const int copy = made[0].section('-', -1).section('.', 0, 0).toInt();
    const QByteArray leftover(5000, 'L');
    for (int next = copy + 1; next <= copy + 3; ++next)
        TestFiles::write(DiskTarget::partName(path("backup.txt"), ::getpid(), next), leftover);
    DiskTarget second;
    ASSERT_TRUE(second.open(path("backup.txt")));
    ASSERT_TRUE(second.write("new") && second.sync());
    EXPECT_EQ(second.commit(), ReceiveTarget::Committed::Durable);
    EXPECT_EQ(TestFiles::read(path("backup.txt")), "new");
    for (int next = copy + 1; next <= copy + 3; ++next)
        EXPECT_EQ(TestFiles::read(DiskTarget::partName(path("backup.txt"), ::getpid(), next)),
                  leftover);
}

// On its own thread, each step's failure reaches the engine as the step's
// own result: a failed sync or rename is never reported saved.
struct Finished
{
    const char *name;
    std::optional<ReceiveTarget::Step> failing;
    ReceiveTarget::Committed committed;
};

using BackgroundTargetTest = Rows<DiskTargetFolderTest, Finished>;

TEST_P(BackgroundTargetTest, FinishTellsHowTheSaveEnded)
{
    BackgroundTarget target([] {
        auto inner = std::make_unique<FailingTarget>();
        if (const auto step = GetParam().failing)
            inner->failure = FailingTarget::Failure{*step, EACCES};
        return inner;
    });
    std::optional<bool> opened;
    target.openThen(path("backup.txt"), [&](bool made) { opened = made; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.has_value(); }, 5000));
    ASSERT_TRUE(*opened);
    ASSERT_TRUE(target.write("new"));
    std::optional<ReceiveTarget::Committed> committed;
    target.finish([&](ReceiveTarget::Committed c) { committed = c; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return committed.has_value(); }, 5000));
    EXPECT_EQ(*committed, GetParam().committed);
    EXPECT_EQ(target.errorString().contains("Permission denied"), GetParam().failing.has_value());
    target.discard();
    EXPECT_TRUE(QTest::qWaitFor([&] { return files().size() <= 1; }, 2000));
    EXPECT_EQ(TestFiles::read(path("backup.txt")), GetParam().failing ? "<missing>" : "new");
}

INSTANTIATE_TEST_SUITE_P(
    Save, BackgroundTargetTest,
    ::testing::Values(
        Finished{"Saved", std::nullopt, ReceiveTarget::Committed::Durable},
        Finished{"WriteFails", ReceiveTarget::Step::Write, ReceiveTarget::Committed::Failed},
        Finished{"SyncFails", ReceiveTarget::Step::Sync, ReceiveTarget::Committed::Failed},
        Finished{"RenameFails", ReceiveTarget::Step::Commit, ReceiveTarget::Committed::Failed}),
    rowName);

// A disk slower than the line: the thread's writes wait while the test holds
// the disk. Only a few writes are kept in memory for it; the caller is told
// when there is room again, and nothing is lost.
TEST_F(DiskTargetFolderTest, BackgroundTargetKeepsOnlyAFewWritesForASlowDisk)
{
    struct SlowTarget : FailingTarget
    {
        std::mutex *disk = nullptr;
        bool write(const QByteArray &bytes) override
        {
            std::lock_guard lock(*disk);
            return FailingTarget::write(bytes);
        }
    };
    std::mutex disk;
    std::unique_lock held(disk);
    BackgroundTarget target([&disk] {
        auto inner = std::make_unique<SlowTarget>();
        inner->disk = &disk;
        return inner;
    });
    std::optional<bool> opened;
    target.openThen(path("backup.txt"), [&](bool made) { opened = made; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.has_value(); }, 5000) && *opened);
    QByteArray written;
    while (target.hasRoom() && written.size() < 8 * BackgroundTarget::kInFlight) {
        const QByteArray block(1024, char('a' + written.size() / 1024 % 26));
        ASSERT_TRUE(target.write(block));
        written += block;
    }
    EXPECT_EQ(written.size(), BackgroundTarget::kInFlight);
    bool room = false;
    target.whenRoom([&] { room = true; });
    QTest::qWait(50);
    EXPECT_FALSE(room) << "told of room while the disk had taken nothing";
    held.unlock();
    ASSERT_TRUE(QTest::qWaitFor([&] { return room; }, 5000));
    std::optional<ReceiveTarget::Committed> committed;
    target.finish([&](ReceiveTarget::Committed c) { committed = c; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return committed.has_value(); }, 5000));
    EXPECT_EQ(*committed, ReceiveTarget::Committed::Durable);
    EXPECT_EQ(TestFiles::read(path("backup.txt")), written);
}

} // namespace

// A file that reads fine up to failAt, then fails as a pulled stick does.
class BreakingSource : public FileSource
{
  public:
    explicit BreakingSource(qint64 failAt) : m_left(failAt) {}
    void read(qint64 length, Ready ready) override
    {
        if (m_left < 0)
            return FileSource::read(length, std::move(ready));
        FileSource::read(std::min(length, m_left), [&](const QByteArray &chunk, const QString &) {
            m_left -= chunk.size();
            ready(chunk, chunk.size() < length ? QStringLiteral("Input/output error") : QString());
        });
    }

  private:
    qint64 m_left;
};

struct Sent
{
    const char *name;
    qint64 size, failAt; // failAt < 0: the file reads whole
};

using BackgroundSourceTest = ::testing::TestWithParam<Sent>;

// Read ahead on its thread and handed out chunk by chunk, the file comes out
// whole and in order, and a failure is told with the first short chunk.
TEST_P(BackgroundSourceTest, HandsOutTheFileInOrderAndTellsWhereItBroke)
{
    QTemporaryDir dir;
    QByteArray content(GetParam().size, '\0');
    for (qint64 i = 0; i < content.size(); ++i)
        content[i] = char(i * 7 + i / 251);
    BackgroundSource source([&] { return std::make_shared<BreakingSource>(GetParam().failAt); });
    std::optional<SendSource::Opening> opening;
    source.open(TestFiles::write(dir.filePath("show.txt"), content), content.size(),
                [&](const SendSource::Opening &answer) { opening = answer; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return opening.has_value(); }, 5000));
    ASSERT_TRUE(opening->opened()) << opening->error.toStdString();
    EXPECT_EQ(opening->size, content.size());

    QByteArray got;
    QString error;
    for (qint64 left = content.size(); left > 0 && error.isEmpty();) {
        const qint64 wanted = std::min<qint64>(left, 1024);
        bool ready = false;
        source.read(wanted, [&](const QByteArray &chunk, const QString &why) {
            got += chunk;
            error = why;
            ready = true;
            left -= wanted;
            EXPECT_EQ(chunk.size() < wanted, !why.isEmpty());
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return ready; }, 5000));
    }
    const qint64 whole = GetParam().failAt < 0 ? content.size() : GetParam().failAt;
    EXPECT_EQ(got, content.left(whole));
    EXPECT_EQ(error.isEmpty(), GetParam().failAt < 0);
    source.close();
}

INSTANTIATE_TEST_SUITE_P(SendSource, BackgroundSourceTest,
                         ::testing::Values(Sent{"OneShortChunk", 1000, -1},
                                           Sent{"WholeChunks", 3 * 1024, -1},
                                           Sent{"ManyReadAheads", 100000, -1},
                                           Sent{"BreaksInsideAReadAhead", 100000, 40000},
                                           Sent{"BreaksAtAChunksEnd", 50000, 16 * 1024}),
                         rowName);

// Cancelled with deliveries already on their way, or let go of from inside
// one of them (a save that ends the receive): nothing more runs on the
// window's thread, and the delivery that let go of it ends safely.
using FileThreadTest = ::testing::TestWithParam<bool>;

TEST_P(FileThreadTest, DeliversNothingAfterItsCancel)
{
    const bool fromInside = GetParam();
    QObject receiver;
    auto thread = std::make_unique<FileThread>(receiver, "test");
    std::atomic<bool> posted{false};
    int delivered = 0;
    thread->post([&](FileThread::Channel &channel) {
        channel.deliver([&] { ++delivered, fromInside ? thread.reset() : void(); });
        channel.deliver([&] { ++delivered; });
        posted = true;
    });
    // Not through the event loop, which would take the deliveries.
    for (int waited = 0; !posted && waited < 5000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(posted);
    if (!fromInside)
        thread->cancel();
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, fromInside ? 1 : 0);
    EXPECT_TRUE(FileThread::waitForAll(std::chrono::seconds(5))) << "ended once asked";
    EXPECT_EQ(FileThread::stillRunning(), QStringList());
}

INSTANTIATE_TEST_SUITE_P(FileThread, FileThreadTest, ::testing::Bool());
