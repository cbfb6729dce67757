// File names as bytes: every name Linux allows comes back as the same bytes,
// is shown readably, and is found again when the file dialog has turned its
// bytes into U+FFFD.
#include "FileNames.h"
#include "QtPrinters.h"
#include "Rows.h"
#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Name
{
    const char *name;
    QByteArray bytes;
    const char *shown; // as printable() writes it
};

using FileNameTest = ::testing::TestWithParam<Name>;

TEST_P(FileNameTest, KeepsItsBytesAndIsShownReadably)
{
    const Name &n = GetParam();
    const QString held = FileNames::fromNative(n.bytes);
    EXPECT_EQ(FileNames::toNative(held), n.bytes);
    EXPECT_EQ(FileNames::printable(held), QString::fromUtf8(n.shown));
    if (QString::fromUtf8(n.bytes).toUtf8() == n.bytes) {
        EXPECT_EQ(held, QString::fromUtf8(n.bytes)) << "text stays the text it is";
    }
}

INSTANTIATE_TEST_SUITE_P(
    FileNames, FileNameTest,
    ::testing::Values(Name{"Ascii", "show.txt", "show.txt"},
                      Name{"Accented",
                           "\xc3\x89"
                           "clairage.gaf",
                           "\xc3\x89"
                           "clairage.gaf"},
                      Name{"FourBytes", "\xf0\x9f\x8e\xad.txt", "\xf0\x9f\x8e\xad.txt"},
                      Name{"LatinOneBytes", "bad\xff\xfe.txt", "bad\\xFF\\xFE.txt"},
                      Name{"TextThenAByte", "\xc3\xa9\xe9", "\xc3\xa9\\xE9"},
                      Name{"Overlong", "a\xc0\x80", "a\\xC0\\x80"},
                      Name{"EncodedSurrogate", "\xed\xa0\x80", "\\xED\\xA0\\x80"},
                      Name{"BeyondUnicode", "\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
                      Name{"CutSequence", "ab\xe2\x82", "ab\\xE2\\x82"},
                      Name{"ControlCharacters", QByteArray("\x01\x1b[31mred\x7f\ttab", 14),
                           "\\x01\\x1B[31mred\\x7F\\x09tab"},
                      Name{"ControlCharacterC1",
                           "\xc2\x9b"
                           "x",
                           "\\x9Bx"},
                      Name{"Nul", QByteArray("\0\1", 2), "\\x00\\x01"}),
    rowName);

TEST(FileNames, AbsoluteKeepsTheBytesOfTheCurrentFolder)
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + "/here\xff";
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    const QByteArray before = QFile::encodeName(QDir::currentPath());
    ASSERT_EQ(::chdir(folder.constData()), 0);
    const QString absolute = FileNames::absolute(FileNames::fromNative("./a/../b\xfe.txt"));
    ASSERT_EQ(::chdir(before.constData()), 0);
    EXPECT_EQ(FileNames::toNative(absolute), folder + "/b\xfe.txt");
    TestFiles::removeAll(dir.path());
}

// The file dialog shows each byte that is not UTF-8 as U+FFFD, and returns
// the name that way: the one entry shown so is found, in a folder so named
// too; where two are shown alike, nothing is guessed.
TEST(FileNames, NameFromTheDialogIsFoundOnTheDisk)
{
    QTemporaryDir dir;
    const QByteArray top = QFile::encodeName(dir.path());
    ASSERT_EQ(::mkdir(top + "/folder\xe9", 0700), 0);
    for (const QByteArray name :
         {top + "/folder\xe9/show\xff.txt", top + "/one\xfe.txt", top + "/a\xfa", top + "/a\xfb"}) {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    const auto shown = [&](const QByteArray &name) { return QFile::decodeName(top + name); };
    EXPECT_EQ(FileNames::toNative(FileNames::fromDialog(shown("/folder\xe9/show\xff.txt"))),
              top + "/folder\xe9/show\xff.txt");
    EXPECT_EQ(FileNames::toNative(FileNames::fromDialog(shown("/one\xfe.txt"))),
              top + "/one\xfe.txt");
    EXPECT_EQ(FileNames::fromDialog(shown("/a\xfa")), shown("/a\xfa")) << "two are shown alike";
    EXPECT_EQ(FileNames::fromDialog(shown("/new.txt")), shown("/new.txt"));
    // A new name typed in a folder that is not UTF-8.
    EXPECT_EQ(FileNames::toNative(FileNames::fromDialog(shown("/folder\xe9/new.txt"))),
              top + "/folder\xe9/new.txt");
    TestFiles::removeAll(dir.path());
}

} // namespace
