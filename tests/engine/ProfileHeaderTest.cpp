// The 43-byte profile header: which paths take it, its name and length fields.
#include "ProfileHeader.h"
#include "Rows.h"

#include <gtest/gtest.h>

namespace {

struct NameCase
{
    const char *label;
    QString path;
    QByteArray field;
};

using ProfileHeaderNames = ::testing::TestWithParam<NameCase>;

TEST_P(ProfileHeaderNames, NameField)
{
    EXPECT_EQ(ProfileHeader::nameField(GetParam().path), GetParam().field);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProfileHeaderNames,
    ::testing::Values(
        NameCase{"short", "/shows/ab.gaf", "AB      "},
        NameCase{"eightExact", "/shows/Fixture1.GAF", "FIXTURE1"},
        NameCase{"long", "/shows/LongProfileName.gaf", "LONGPROF"},
        NameCase{"firstDotEnds", "/shows/a.b.gaf", "A       "},
        NameCase{"dotFirst", "/shows/.gaf", "        "},
        NameCase{"passUnchanged", "/shows/A_1-z9.gaf", "A_1-Z9  "},
        NameCase{"folderNamedGaf", "/data/profiles.gaf/notes.txt", "NOTES   "},
        NameCase{"noExtension", "/data/profiles.gaf/readme", "README  "},
        NameCase{"backslashSeparator", "C:\\shows\\spot.gaf", "SPOT    "},
        NameCase{"noSeparator", "wash.gaf", "WASH    "},
        // Letters with marks as their base letter; others, symbols
        // and control characters as '_', one per character.
        NameCase{"marksDropped", QString::fromUtf8("x\u0161\u00e9\u012Ecd.gaf"), "XSEICD  "},
        NameCase{"noAsciiLetter", QString::fromUtf8("\u0142\u00df.gaf"), "__      "},
        NameCase{"cyrillic", QString::fromUtf8("Привет мир.gaf"), "______ _"},
        NameCase{"emojiIsOneCharacter", QString::fromUtf8("😀smile.gaf"), "_SMILE  "},
        NameCase{"controlCharacter", QString::fromUtf8("a\tb\u007F.gaf"), "A_B_    "}),
    [](const auto &info) { return std::string(info.param.label); });

TEST(ProfileHeader, AppliesToGafAnywhereInTheFileNameInAnyCase)
{
    for (const char *yes : {"/a/b.gaf", "/a/b.Gaf", "/a/b.gAF", "/a/x.gaffer", "C:\\a\\b.GAF"})
        EXPECT_TRUE(ProfileHeader::appliesTo(QString::fromLatin1(yes))) << yes;
    for (const char *no :
         {"/a/b.txt", "/a/gaf", "/a/b.ga", "/a/b_gaf", "/a/.ga.f", "/a/profiles.GAF/notes.txt",
          "/a/profiles.gaf.d/notes.txt", "C:\\x.gaf\\notes.txt"})
        EXPECT_FALSE(ProfileHeader::appliesTo(QString::fromLatin1(no))) << no;
}

TEST(ProfileHeader, LayoutAndLengthLeastSignificantByteFirst)
{
    const QByteArray header = ProfileHeader::build("/x/Fixture1.gaf", 3 * 65536 + 2 * 256 + 1);
    ASSERT_EQ(header.size(), 43);
    EXPECT_EQ(header.left(31), QByteArray("GLOW ARRANGER 2 FIXTURE PROFILE"));
    EXPECT_EQ(header.left(13), QByteArray("GLOW ARRANGER"));
    EXPECT_EQ(header.mid(31, 8), QByteArray("FIXTURE1"));
    EXPECT_EQ(header.mid(39), QByteArray("\x01\x02\x03\x00", 4));

    EXPECT_EQ(ProfileHeader::build("/x/a.gaf", 0).mid(39), QByteArray(4, '\0'));
    EXPECT_EQ(ProfileHeader::build("/x/a.gaf", 0x7FFFFFFF).mid(39),
              QByteArray("\xFF\xFF\xFF\x7F", 4));
}

} // namespace
