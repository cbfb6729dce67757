// The 43-byte profile header: which paths take it, its name and length fields.
#include "ProfileHeader.h"

#include <gtest/gtest.h>

namespace {

struct NameCase
{
    const char *label;
    QString path;
    QByteArray field;
};

class ProfileHeaderNames : public ::testing::TestWithParam<NameCase>
{
};

TEST_P(ProfileHeaderNames, NameField)
{
    EXPECT_EQ(ProfileHeader::nameField(GetParam().path), GetParam().field);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProfileHeaderNames,
    ::testing::Values(NameCase{"short", "/shows/ab.gaf", "AB      "},
                      NameCase{"eightExact", "/shows/Fixture1.GAF", "FIXTURE1"},
                      NameCase{"long", "/shows/LongProfileName.gaf", "LONGPROF"},
                      NameCase{"firstDotEnds", "/shows/a.b.gaf", "A       "},
                      NameCase{"dotFirst", "/shows/.gaf", "        "},
                      NameCase{"passUnchanged", "/shows/A_1-z9.gaf", "A_1-Z9  "},
                      NameCase{"folderNamedGaf", "/data/profiles.gaf/notes.txt", "NOTES   "},
                      NameCase{"noExtension", "/data/profiles.gaf/readme", "README  "},
                      NameCase{"backslashSeparator", "C:\\shows\\spot.gaf", "SPOT    "},
                      NameCase{"noSeparator", "wash.gaf", "WASH    "},
                      // U+0161 (s caron): low byte 0x61 'a' is upper-cased to 'A';
                      // U+0142 (l stroke): low byte 0x42 passes as 'B'; U+00E9 stays 0xE9.
                      NameCase{"aboveLatin1", QString::fromUtf8("x\u0161\u0142\u00e9.gaf"),
                               QByteArray("XAB\xE9    ", 8)},
                      // U+012E: low byte 0x2E is '.', which ends the name.
                      NameCase{"lowByteIsDot", QString::fromUtf8("ab\u012Ecd.gaf"), "AB      "}),
    [](const auto &info) { return std::string(info.param.label); });

TEST(ProfileHeader, AppliesToGafAnywhereInThePathInAnyCase)
{
    for (const char *yes :
         {"/a/b.gaf", "/a/b.Gaf", "/a/b.gAF", "/a/profiles.GAF/notes.txt", "/a/x.gaffer"})
        EXPECT_TRUE(ProfileHeader::appliesTo(QString::fromLatin1(yes))) << yes;
    for (const char *no : {"/a/b.txt", "/a/gaf", "/a/b.ga", "/a/b_gaf", "/a/.ga.f"})
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
