// The installed tree: the program's lookup finds the clip and the help file
// from where the executable is installed, and the icon sits in the theme.
#include "AviReader.h"
#include "HelpViewer.h"
#include "frmGAbackup.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QXmlStreamReader>

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

TEST(InstalledTree, IconsInTheHicolorTheme)
{
    const QString theme = kPrefix + "/" ZO_INSTALL_DATADIR "/icons/hicolor";
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage icon(QString("%1/%2x%2/apps/zo-vovere.png").arg(theme).arg(size));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
    }
    // The window's own icon is the 32 x 32 one, pixel for pixel.
    EXPECT_EQ(QImage(theme + "/32x32/apps/zo-vovere.png").convertToFormat(QImage::Format_RGB32),
              QImage(":/zo-vovere/zo-vovere.png").convertToFormat(QImage::Format_RGB32));

    QFile svg(theme + "/scalable/apps/zo-vovere.svg");
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    ASSERT_TRUE(xml.readNextStartElement());
    EXPECT_EQ(xml.name(), QString("svg"));
    EXPECT_EQ(xml.attributes().value("viewBox"), QString("0 0 32 32"));
    int shapes = 0;
    while (xml.readNextStartElement()) {
        ++shapes;
        xml.skipCurrentElement();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GE(shapes, 6);
}

TEST(InstalledTree, ManualPagesForBothPrograms)
{
    for (const QString name : {"zo-vovere", "zo-vovere-sim"}) {
        QProcess gzip;
        gzip.start("gzip", {"-dc", kPrefix + "/" ZO_INSTALL_MANDIR "/man1/" + name + ".1.gz"});
        ASSERT_TRUE(gzip.waitForFinished(5000));
        const QString page = QString::fromUtf8(gzip.readAllStandardOutput());
        EXPECT_TRUE(page.startsWith(".TH " + name.toUpper() + " 1 ")) << name.toStdString();
        EXPECT_TRUE(page.contains(".SH NAME\n" + name + " \\- "));
        EXPECT_TRUE(page.contains(".SH SYNOPSIS"));
    }
}

TEST(InstalledTree, HelpAndVersionNeedNoDisplay)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(env);
    const QString bin = kPrefix + "/" ZO_INSTALL_BINDIR "/zo-vovere";

    program.start(bin, {"--version"});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromLocal8Bit(program.readAllStandardOutput()).trimmed(),
              QString("ZO Vovere 1.1"));

    program.start(bin, {"--help"});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(program.readAllStandardOutput());
    EXPECT_TRUE(help.contains("Usage:")) << help.toStdString();
    EXPECT_TRUE(help.contains("[FILE]"));
    EXPECT_TRUE(help.contains("--version"));

    // An unknown option is refused with a word, before any window opens.
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(bin, {"--no-such-option"});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(program.exitCode(), 0);
    EXPECT_TRUE(program.readAllStandardError().contains("no-such-option"));
}

} // namespace
