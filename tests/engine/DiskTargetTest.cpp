// The real receive target on the machine's file system: what a finished save
// leaves in the folder, whichever way the earlier file is replaced, and which
// leftovers a new receive clears.
#include "FailingTarget.h"
#include "SendSource.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct Replacing
{
    const char *name;
    DiskTarget::Replace replace;
    bool earlier;      // a file already has the chosen name
    bool staleEarlier; // and an earlier copy of it, left by a cut, is beside it
};

class DiskTargetTest : public ::testing::TestWithParam<Replacing>
{
  protected:
    QString path(const QString &name) const { return QDir(dir.path()).filePath(name); }
    QStringList files() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    QTemporaryDir dir;
};

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
    [](const auto &info) { return std::string(info.param.name); });

class DiskTargetFolderTest : public DiskTargetTest
{
};

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

class BackgroundSourceTest : public ::testing::TestWithParam<Sent>
{
};

// Read ahead on its thread and handed out chunk by chunk, the file comes out
// whole and in order, and a failure is told with the first short chunk.
TEST_P(BackgroundSourceTest, HandsOutTheFileInOrderAndTellsWhereItBroke)
{
    QTemporaryDir dir;
    QByteArray content(GetParam().size, '\0');
    for (qint64 i = 0; i < content.size(); ++i)
        content[i] = char(i * 7 + i / 251);
    QFile file(TestFiles::write(dir.filePath("show.txt"), content));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    BackgroundSource source([&] { return std::make_shared<BreakingSource>(GetParam().failAt); });
    QString reason;
    ASSERT_TRUE(source.start(file, &reason));
    file.close();

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
                         [](const auto &info) { return std::string(info.param.name); });
