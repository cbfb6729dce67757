// The filter text of the dialog property becomes Qt's name filters, shown by
// their labels exactly; a name typed without an extension.
#include "FileNames.h"
#include "QtFileDialog.h"
#include "Rows.h"
#include "TestFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

TEST(QtFileDialog, FilterTextBecomesNameFilters)
{
    const QStringList filters = QtFileDialog::nameFilters(
        "Text files (*.txt)|*.txt|GA2 Fixture Profiles (*.gaf)|*.gaf|All Files (*.*)|*.*");
    EXPECT_EQ(filters,
              (QStringList{"Text files (*.txt) (*.txt)", "GA2 Fixture Profiles (*.gaf) (*.gaf)",
                           "All Files (*.*) (*)"}));
    // What Qt's own dialog shows of them.
    QFileDialog dialog;
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
    const auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    QStringList shown;
    for (int i = 0; i < types->count(); ++i)
        shown << types->itemText(i);
    EXPECT_EQ(shown, (QStringList{"Text files (*.txt)", "GA2 Fixture Profiles (*.gaf)",
                                  "All Files (*.*)"}));
    EXPECT_EQ(QtFileDialog::nameFilters("Pictures|*.png;*.bmp"),
              QStringList{"Pictures (*.png *.bmp)"});
    EXPECT_TRUE(QtFileDialog::nameFilters("").isEmpty());
    EXPECT_TRUE(QtFileDialog::nameFilters("label without pattern").isEmpty());
}

TEST(QtFileDialog, FilterIndexIsOneBasedAndZeroSelectsTheFirst)
{
    EXPECT_EQ(QtFileDialog::filterEntry(0, 3), 0);
    EXPECT_EQ(QtFileDialog::filterEntry(1, 3), 0);
    EXPECT_EQ(QtFileDialog::filterEntry(2, 3), 1);
    EXPECT_EQ(QtFileDialog::filterEntry(3, 3), 2);
    EXPECT_EQ(QtFileDialog::filterEntry(9, 3), 2);
    EXPECT_EQ(QtFileDialog::filterEntry(-4, 3), 0);
}

struct Typed
{
    const char *name;
    const char *typed;
    const char *opened;
};

using OpenedNameTest = ::testing::TestWithParam<Typed>;

// In a folder with small.txt, README and notes (and notes.txt): the default
// extension only finds a file that the name as typed does not.
TEST_P(OpenedNameTest, DefaultExtensionOnlyWhereItFindsTheFile)
{
    QTemporaryDir dir;
    for (const char *name : {"small.txt", "README", "notes", "notes.txt"})
        TestFiles::write(dir.filePath(name), "x");
    EXPECT_EQ(QtFileDialog::openedName(dir.filePath(GetParam().typed), ".txt"),
              dir.filePath(GetParam().opened));
}

INSTANTIATE_TEST_SUITE_P(QtFileDialog, OpenedNameTest,
                         ::testing::Values(Typed{"AddedWhereOnlyItExists", "small", "small.txt"},
                                           Typed{"NotToAnExistingName", "README", "README"},
                                           Typed{"TypedNameWins", "notes", "notes"},
                                           Typed{"NotToANameWithASuffix", "small.doc", "small.doc"},
                                           Typed{"NotWhereNeitherExists", "missing", "missing"}),
                         rowName);

// The dialogs are kept between openings (a new one each time grows the
// program): each opening still shows its own title, filters and name.
TEST(QtFileDialog, KeptDialogShowsWhatEachOpeningAsks)
{
    QTemporaryDir dir;
    for (const char *name : {"a.txt", "b.txt"})
        TestFiles::write(dir.filePath(name), "x");
    QWidget window;
    QtFileDialog files(&window);
    QPointer<QFileDialog> shown, first;
    const auto open = [&](const QString &name, const QString &filter, bool accept) {
        files.FileName = name;
        files.Filter = filter;
        QTimer::singleShot(0, [&shown, accept] {
            shown = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (shown)
                accept ? static_cast<QDialog *>(shown)->accept() : shown->reject();
        });
        return files.ShowOpen();
    };
    files.DialogTitle = "Filename to send";
    EXPECT_TRUE(open(dir.filePath("a.txt"), "Text Files (*.txt)|*.txt", true));
    ASSERT_TRUE(shown);
    first = shown;
    EXPECT_EQ(files.FileName, dir.filePath("a.txt"));

    files.DialogTitle = "Another title";
    EXPECT_FALSE(open(dir.filePath("b.txt"), "All Files (*.*)|*.*", false));
    ASSERT_EQ(shown, first) << "the same dialog, kept";
    EXPECT_EQ(shown->windowTitle(), QString("Another title"));
    EXPECT_EQ(shown->selectedFiles(), QStringList{dir.filePath("b.txt")});
    EXPECT_EQ(shown->nameFilters(), QStringList{"All Files (*.*) (*)"});

    // The filter the user picks is the one remembered.
    QTimer::singleShot(0, [&shown] {
        shown = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        auto *types =
            shown ? shown->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")) : nullptr;
        if (!types)
            return shown->reject();
        types->setCurrentIndex(1);
        emit types->activated(1);
        static_cast<QDialog *>(shown)->accept();
    });
    files.FileName = dir.filePath("a.txt");
    files.Filter = "Text files (*.txt)|*.txt|GA2 Fixture Profiles (*.gaf)|*.gaf";
    files.FilterIndex = 1;
    ASSERT_TRUE(files.ShowOpen());
    EXPECT_EQ(files.FilterIndex, 2);

    // Nothing to start from: a fresh dialog, with nothing typed earlier.
    EXPECT_FALSE(open(QString(), "All Files (*.*)|*.*", false));
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(shown);
}

// inotify watches the process holds (a folder a file dialog's model watches).
int folderWatches()
{
    int watches = 0;
    const QDir fds(QStringLiteral("/proc/self/fdinfo"));
    for (const QString &fd : fds.entryList(QDir::Files)) {
        QFile info(fds.filePath(fd));
        if (info.open(QIODevice::ReadOnly))
            watches += int(info.readAll().count("inotify wd:"));
    }
    return watches;
}

// A kept dialog watches its folder only while it is shown: hidden, it would
// read the folder again for every change a receive makes in it. What it
// remembers stays.
TEST(QtFileDialog, KeptDialogWatchesNoFolderWhileHidden)
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath("a.txt"), "x");
    QWidget window;
    QtFileDialog files(&window);
    files.Filter = "All Files (*.*)|*.*";
    int liveWhileShown = 0;
    QStringList history;
    for (int opening = 0; opening < 2; ++opening) {
        QTimer::singleShot(0, [&] {
            auto *shown = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!shown)
                return;
            liveWhileShown = QTest::qWaitFor([] { return folderWatches() > 0; }, 3000);
            history = shown->history();
            // A file made while it was hidden is listed.
            const auto *model = shown->findChild<QFileSystemModel *>();
            if (opening > 0 && !QTest::qWaitFor([&] { return model->index(dir.filePath("new0.txt")).isValid(); }, 3000))
                liveWhileShown = false;
            shown->reject();
        });
        files.FileName = dir.filePath("a.txt");
        files.ShowOpen();
        EXPECT_TRUE(liveWhileShown) << "opening " << opening;
        QTest::qWait(100);
        EXPECT_EQ(folderWatches(), 0) << "opening " << opening;
        TestFiles::write(dir.filePath(QStringLiteral("new%1.txt").arg(opening)), "x");
    }
    EXPECT_FALSE(history.isEmpty()) << "the kept dialog forgot where it had been";
}

// The dialog is sized for its text at the desktop's font.
TEST(QtFileDialog, GrowsWithTheDesktopFont)
{
    const QFont before = QApplication::font();
    QWidget window;
    QtFileDialog files(&window);
    const auto shownSize = [&files, &before](int points) {
        QFont font = before;
        font.setPointSize(points);
        QApplication::setFont(font);
        QSize size;
        QTimer::singleShot(0, [&size] {
            if (QWidget *shown = QApplication::activeModalWidget()) {
                size = shown->size();
                static_cast<QDialog *>(shown)->reject();
            }
        });
        files.FileName.clear(); // a dialog made afresh
        files.ShowOpen();
        return size;
    };
    const QSize small = shownSize(9), large = shownSize(16);
    QApplication::setFont(before);
    // (within the screen, which the offscreen platform makes 800 x 600)
    EXPECT_GT(large.width(), small.width());
    EXPECT_GT(large.height(), small.height());
}

// A file whose name is not UTF-8, picked in Qt's own dialog (which shows its
// bytes as U+FFFD) is the file the program then opens.
TEST(QtFileDialog, NameThatIsNotUtf8IsTheFileChosen)
{
    QTemporaryDir dir;
    const QByteArray name = QFile::encodeName(dir.path()) + "/show\xff\xfe.txt";
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    QWidget window;
    QtFileDialog files(&window);
    files.FileName = dir.filePath("other.txt");
    QTimer::singleShot(0, [&name] {
        auto *shown = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!shown)
            return;
        shown->selectFile(QFile::decodeName(name));
        static_cast<QDialog *>(shown)->accept();
    });
    ASSERT_TRUE(files.ShowOpen());
    EXPECT_EQ(FileNames::toNative(files.FileName), name);
    TestFiles::removeAll(dir.path());
}

} // namespace
