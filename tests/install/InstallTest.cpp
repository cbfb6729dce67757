// The installed tree: the program's lookup finds the clip and the help file
// from where the executable is installed, and the icon sits in the theme.
#include "AviReader.h"
#include "HelpViewer.h"
#include "Rows.h"
#include "frmGAbackup.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
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
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(viewer.locateInLanguage(frmGAbackup::kHelpName),
              kPrefix + "/" ZO_INSTALL_DATADIR "/zo-vovere/ZO vovere_de.hlp");
    QLocale::setDefault(before);
    const QString clip = viewer.locate(frmGAbackup::kClipName);
    ASSERT_FALSE(clip.isEmpty());
    EXPECT_TRUE(AviReader::read(clip));
}

// The extent of what stands out from panel: pixels whose lightness over it
// differs by a third or more.
QRect visibleOn(const QImage &icon, QRgb panel)
{
    QImage shown(icon.size(), QImage::Format_RGB32);
    shown.fill(panel);
    QPainter(&shown).drawImage(0, 0, icon);
    QRect extent;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (std::abs(QColor(shown.pixel(x, y)).lightness() - QColor(panel).lightness()) >= 85)
                extent |= QRect(x, y, 1, 1);
        }
    }
    return extent;
}

TEST(InstalledTree, IconsInTheHicolorTheme)
{
    const QString theme = kPrefix + "/" ZO_INSTALL_DATADIR "/icons/hicolor";
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage icon = QImage(QString("%1/%2x%2/apps/zo-vovere.png").arg(theme).arg(size))
                                .convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << size << ": the ground is transparent";
        // On a light panel and a dark one alike, the whole drawing shows:
        // nothing at its edges fades into the panel.
        const QRect light = visibleOn(icon, qRgb(0xF5, 0xF5, 0xF5));
        const QRect dark = visibleOn(icon, qRgb(0x20, 0x20, 0x20));
        const int slack = (size + 31) / 32;
        EXPECT_LE(std::abs(dark.bottom() - light.bottom()), slack) << size;
        EXPECT_LE(std::abs(dark.top() - light.top()), slack) << size;
    }
    // The window's own icon is the 32 x 32 one, pixel for pixel.
    EXPECT_EQ(QImage(theme + "/32x32/apps/zo-vovere.png").convertToFormat(QImage::Format_ARGB32),
              QImage(":/zo-vovere/zo-vovere.png").convertToFormat(QImage::Format_ARGB32));

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

struct Invocation
{
    const char *name;
    QStringList args;
    bool fullOutput; // standard output is /dev/full
    int exitCode;    // -1: still running after 3 s (the window is up)
    const char *out; // in standard output
    const char *err; // in standard error
};

using CommandLineTest = ::testing::TestWithParam<Invocation>;

// What GNU tools do, without a display where no window is needed: answers on
// standard output, usage errors on standard error with the way to help and
// exit 2, a write error as a failure; a FILE that cannot be sent is said.
TEST_P(CommandLineTest, AnswersAsGnuProgramsDo)
{
    const Invocation &call = GetParam();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    if (call.exitCode < 0)
        env.insert("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    env.insert("XDG_CONFIG_HOME", config.path());
    QProcess program;
    program.setProcessEnvironment(env);
    if (call.fullOutput)
        program.setStandardOutputFile(QStringLiteral("/dev/full"));
    program.start(kPrefix + "/" ZO_INSTALL_BINDIR "/zo-vovere", call.args);
    const bool ended = program.waitForFinished(call.exitCode < 0 ? 3000 : 10000);
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    if (call.exitCode < 0) {
        EXPECT_FALSE(ended);
        program.kill();
        program.waitForFinished(3000);
    } else {
        ASSERT_TRUE(ended);
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), call.exitCode) << err.toStdString();
    }
    EXPECT_TRUE(out.contains(QString::fromUtf8(call.out))) << out.toStdString();
    EXPECT_TRUE(err.contains(QString::fromUtf8(call.err))) << err.toStdString();
    if (call.exitCode == 2) {
        EXPECT_TRUE(out.isEmpty()) << out.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    InstalledTree, CommandLineTest,
    ::testing::Values(
        Invocation{"Version", {"--version"}, false, 0, "ZO Vovere 1.1\n", ""},
        Invocation{"Help", {"--help"}, false, 0, "[FILE]", ""},
        Invocation{"VersionIntoAFullDisk", {"--version"}, true, 1, "", "write error"},
        Invocation{"UnknownOption",
                   {"--no-such-option"},
                   false,
                   2,
                   "",
                   "zo-vovere: Unknown option 'no-such-option'.\nTry 'zo-vovere --help'.\n"},
        Invocation{"TwoFiles", {"a.txt", "b.txt"}, false, 2, "", "Try 'zo-vovere --help'."},
        Invocation{"SendAndReceive", {"-s", "a", "-r", "b"}, false, 2, "", "only one of --send"},
        Invocation{"FileWithSend", {"--send", "a", "b"}, false, 2, "", "FILE goes without"},
        Invocation{"PortWithoutTransfer", {"--port", "COM1"}, false, 2, "", "--port and --quiet"},
        Invocation{"UnknownPort",
                   {"--receive", "b", "--port", "COM7"},
                   false,
                   3,
                   "",
                   "zo-vovere: no serial port \"COM7\""},
        Invocation{"MissingFile",
                   {"/nonexistent/show.txt"},
                   false,
                   -1,
                   "",
                   "zo-vovere: /nonexistent/show.txt: No such file or directory"},
        Invocation{"Folder", {"/tmp"}, false, -1, "", "zo-vovere: /tmp: it is a folder"},
        Invocation{"FileWithoutADisplay", {"a.txt"}, false, 1, "", "no display"}),
    rowName);

} // namespace
