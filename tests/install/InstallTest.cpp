// The installed tree: the program's lookup finds the clip and the help file
// from where the executable is installed, and the icon sits in the theme.
#include "AviReader.h"
#include "HelpViewer.h"
#include "frmGAbackup.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

namespace {

const QString kPrefix = QStringLiteral(ZO_INSTALL_PREFIX);

TEST(InstalledTree, ProgramFindsItsClipAndHelpFile)
{
    const QString bin = kPrefix + "/" ZO_INSTALL_BINDIR;
    ASSERT_TRUE(QFileInfo(bin + "/zo-vovere").isExecutable());
    ASSERT_TRUE(QFileInfo(bin + "/zo-vovere-sim").isExecutable());

    HelpViewer viewer(frmGAbackup::dataDirsFor(bin));
    const QString help = viewer.locate(frmGAbackup::kHelpName);
    EXPECT_EQ(help, kPrefix + "/" ZO_INSTALL_DATADIR "/zo-vovere/ZO vovere.hlp");
    const QString clip = viewer.locate(frmGAbackup::kClipName);
    ASSERT_FALSE(clip.isEmpty());
    EXPECT_TRUE(AviReader::read(clip));
}

TEST(InstalledTree, IconIsInTheHicolorTheme)
{
    const QImage icon(kPrefix + "/" ZO_INSTALL_DATADIR "/icons/hicolor/32x32/apps/zo-vovere.png");
    EXPECT_EQ(icon.size(), QSize(32, 32));
}

} // namespace
