// The window offscreen: layout and state at creation, the two states, menus,
// About, help, line-error messages and closing during a transfer.
#include "AnimationWidget.h"
#include "AviReader.h"
#include "Rows.h"

#include "HelpViewer.h"
#include "TestWindow.h"
#include <QPainter>

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class WindowTest : public ::testing::Test, public WindowHarness
{
  protected:
    WindowTest() : window(store, clock, fakes) {}

    QRect twips(int l, int t, int w, int h)
    {
        return QRect(frmGAbackup::twips(l), frmGAbackup::twips(t), frmGAbackup::twips(w),
                     frmGAbackup::twips(h));
    }

    // Keyboard shortcuts reach only the active window.
    void showActive()
    {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    void startReceive()
    {
        fakes.dialog->choose = dir.filePath("backup.txt");
        window.cmdReceive->click();
    }

    TestWindow window;
};

TEST_F(WindowTest, StateAtCreation)
{
    EXPECT_EQ(window.windowTitle(), QString("ZO Vovere"));
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_FALSE(window.cmdCancel->isVisibleTo(&window));
    EXPECT_FALSE(window.ProgressBar1->isVisibleTo(&window));
    EXPECT_TRUE(window.Animation1->isVisibleTo(&window));
    EXPECT_FALSE(window.Animation1->isOpen());
    EXPECT_FALSE(fakes.timer1->enabled());
    EXPECT_FALSE(fakes.timer2->enabled());
    EXPECT_EQ(fakes.timer1->interval(), 3000ms);
    EXPECT_EQ(fakes.timer2->interval(), 1000ms);
    EXPECT_EQ(window.sbrPanel->text(), QString());
    EXPECT_FALSE(fakes.port->PortOpen());
    for (QWidget *w : std::initializer_list<QWidget *>{
             window.cmdSend, window.cmdReceive, window.Frame1, window.Option1, window.Option2})
        EXPECT_TRUE(w->isEnabled());
    EXPECT_EQ(window.ProgressBar1->minimum(), 0);
}

TEST_F(WindowTest, ControlsStandWhereTheLayoutPutsThem)
{
    EXPECT_EQ(window.centralWidget()->width(), frmGAbackup::twips(5805));
    EXPECT_EQ(window.centralWidget()->height() + window.statusBar()->height(),
              frmGAbackup::twips(4770));
    EXPECT_EQ(window.Frame1->geometry(), twips(3240, 720, 1455, 1095));
    EXPECT_EQ(window.Option1->geometry(), twips(240, 240, 975, 375));
    EXPECT_EQ(window.Option2->geometry(), twips(240, 600, 975, 375));
    EXPECT_EQ(window.cmdSend->geometry(), twips(720, 600, 1215, 495));
    EXPECT_EQ(window.cmdReceive->geometry(), twips(720, 1440, 1215, 495));
    EXPECT_EQ(window.ProgressBar1->geometry(), twips(240, 3840, 3855, 255));
    EXPECT_EQ(window.Animation1->geometry(), twips(840, 2400, 4095, 1095));
    EXPECT_EQ(window.cmdCancel->geometry(), twips(4320, 3720, 1215, 495));
    EXPECT_EQ(window.Line1->geometry().topLeft(), QPoint(0, 0));
    EXPECT_EQ(window.Line1->width(), frmGAbackup::twips(5760));

    EXPECT_EQ(window.Frame1->title(), QString("Serial Port"));
    EXPECT_EQ(window.Frame1->toolTip(), QString("Select com port connected to Glow Arranger"));
    EXPECT_EQ(window.Option1->text(), QString("Com 1"));
    EXPECT_EQ(window.Option2->text(), QString("Com 2"));
    EXPECT_EQ(window.cmdSend->text(), QString("&Send File"));
    EXPECT_EQ(window.cmdSend->toolTip(), QString("To send a file to the Glow Arranger"));
    EXPECT_EQ(window.cmdReceive->text(), QString("&Receive File"));
    EXPECT_EQ(window.cmdReceive->toolTip(), QString("To receive a file from the Glow Arranger"));
    EXPECT_EQ(window.cmdCancel->text(), QString("Cancel"));

    // Fixed size: nothing can resize it.
    window.show();
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(WindowTest, TabOrderFollowsTheLayout)
{
    QList<QWidget *> order;
    QWidget *w = window.Option1;
    for (int i = 0; i < 5; ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus)
            w = w->nextInFocusChain();
        order.append(w);
    }
    EXPECT_EQ(order, (QList<QWidget *>{window.Option1, window.Option2, window.cmdSend,
                                       window.cmdReceive, window.cmdCancel}));
}

TEST_F(WindowTest, MenusAndTheirCommands)
{
    const QList<QAction *> menus = window.menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), QString("&File"));
    EXPECT_EQ(menus[1]->text(), QString("&Help"));
    QStringList file;
    for (QAction *a : menus[0]->menu()->actions())
        file << (a->isSeparator() ? QString("-") : a->text());
    EXPECT_EQ(file, (QStringList{"&Open (Send File)", "Save &As (Receive File)", "-",
                                 "&Port Settings...", "E&xit"}));
    EXPECT_EQ(window.mnuGAhelp->text(), QString("GA &Backup help"));
    EXPECT_EQ(window.mnuGAhelp->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(window.mnuAbout->text(), QString("&About ZO Vovere"));

    fakes.dialog->choose.clear();
    window.mnuOpen->trigger();
    EXPECT_TRUE(fakes.dialog->lastWasOpen);
    window.mnuSaveas->trigger();
    EXPECT_FALSE(fakes.dialog->lastWasOpen);
    EXPECT_EQ(fakes.dialog->shown, 2);
}

TEST_F(WindowTest, BusyWhileATransferRunsIdleAfterCancel)
{
    showActive();
    startReceive();
    for (QWidget *w : std::initializer_list<QWidget *>{
             window.cmdSend, window.cmdReceive, window.Frame1, window.Option1, window.Option2})
        EXPECT_FALSE(w->isEnabled());
    EXPECT_FALSE(window.mnuOpen->isEnabled());
    EXPECT_FALSE(window.mnuSaveas->isEnabled());
    EXPECT_TRUE(window.cmdCancel->isVisible());
    EXPECT_TRUE(window.mnuExit->isEnabled());
    EXPECT_TRUE(window.mnuGAhelp->isEnabled());
    EXPECT_TRUE(window.mnuAbout->isEnabled());
    EXPECT_FALSE(window.ProgressBar1->isVisible()) << "a receive shows no progress bar";
    EXPECT_EQ(window.sbrPanel->text(),
              QString("Waiting for data transmission from Glow Arranger."));

    QTest::keyClick(&window, Qt::Key_Escape); // clicks Cancel while it is shown
    EXPECT_EQ(window.sbrPanel->text(), QString("Action canceled"));
    EXPECT_TRUE(window.cmdSend->isEnabled());
    EXPECT_TRUE(window.mnuOpen->isEnabled());
    EXPECT_FALSE(window.cmdCancel->isVisible());
}

TEST_F(WindowTest, LineErrorsShowTheirMessageAndClearTheStatusLine)
{
    for (auto [code, text] :
         std::vector<std::pair<int, QString>>{{1004, "framing error on com port, reset and retry"},
                                              {1002, " on com port, reset and retry"},
                                              {4711, " on com port, reset and retry"}}) {
        window.messages.clear();
        startReceive();
        fakes.port->raise(code);
        EXPECT_EQ(window.messages, QStringList{text});
        EXPECT_EQ(window.sbrPanel->text(), QString());
        EXPECT_TRUE(window.cmdSend->isEnabled());
    }
}

TEST_F(WindowTest, ProgressBarKeepsSinglePrecisionValues)
{
    window.showProgress({2.44140625f, 2.0f, true});
    EXPECT_EQ(window.ProgressBar1->value(), 8192); // 2 / 2.44140625 of the scale
    window.showProgress({1.0f, 2.0f, true});       // a value left above a new maximum
    EXPECT_EQ(window.ProgressBar1->value(), frmGAbackup::kProgressScale);
    window.showProgress({1.0f, 0.0f, true});
    EXPECT_EQ(window.ProgressBar1->value(), 0);
}

// The clip is decoration: one that cannot be read leaves its control empty
// and the transfer goes on (true: a send, false: a receive).
class UnreadableClipTest : public ::testing::TestWithParam<bool>, public WindowHarness
{
};

TEST_P(UnreadableClipTest, StopsNoTransfer)
{
    TestFiles::write(dir.filePath("filemove.avi"), "not a clip");
    TestWindow window(store, clock, fakes, {dir.path()});
    if (GetParam()) {
        fakes.dialog->choose = TestFiles::write(dir.filePath("a.txt"), "abc");
        window.cmdSend->click();
        fakes.port->transmitEmpty();
    } else {
        fakes.dialog->choose = dir.filePath("backup.txt");
        window.cmdReceive->click();
        fakes.port->arrive(dump());
    }
    EXPECT_TRUE(window.cmdCancel->isVisibleTo(&window));
    EXPECT_FALSE(window.Animation1->isOpen());
    clock.advance(3000ms);
    EXPECT_EQ(window.sbrPanel->text(), GetParam() ? "file has been sent" : "File has been saved.");
    EXPECT_TRUE(window.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Window, UnreadableClipTest, ::testing::Bool());

TEST_F(WindowTest, AboutBoxNamesTheVersion)
{
    window.mnuAbout->trigger();
    ASSERT_EQ(window.abouts.size(), 2);
    EXPECT_EQ(window.abouts[0], QString("About ZO Vovere"));
    const QStringList lines = window.abouts[1].split("\r\n");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QString("ZO Vovere version 1.1"));
    EXPECT_EQ(lines[1], QString());
    EXPECT_FALSE(lines[2].isEmpty());
}

TEST_F(WindowTest, HelpOpensBesideTheWindowEvenDuringATransfer)
{
    showActive();
    startReceive();
    QTest::keyClick(&window, Qt::Key_F1);
    HelpViewer *help = window.helpViewer();
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->shownFile().endsWith("/ZO vovere.hlp"));
    EXPECT_FALSE(help->isModal());
    EXPECT_TRUE(fakes.port->PortOpen()) << "the transfer goes on";
    window.mnuGAhelp->trigger(); // already shown: only brought to the front
    EXPECT_TRUE(help->isVisible());
}

class MissingHelpViewer : public HelpViewer
{
  public:
    using HelpViewer::HelpViewer;
    QStringList missing;

  protected:
    void reportMissing(const QString &name) override { missing << name; }
};

TEST(HelpViewer, FindsTheFileInItsFoldersInOrderAndSaysWhenItCannot)
{
    QTemporaryDir empty;
    MissingHelpViewer viewer({empty.path(), QStringLiteral(ZO_SOURCE_DATA_DIR)});
    EXPECT_EQ(viewer.locate("ZO vovere.hlp"),
              QDir(QStringLiteral(ZO_SOURCE_DATA_DIR)).absoluteFilePath("ZO vovere.hlp"));
    // A German session reads the German help; any other the English.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(viewer.locateInLanguage("ZO vovere.hlp").endsWith("/ZO vovere_de.hlp"));
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    EXPECT_TRUE(viewer.locateInLanguage("ZO vovere.hlp").endsWith("/ZO vovere.hlp"));
    QLocale::setDefault(before);
    EXPECT_FALSE(viewer.showHelpFile("nothing.hlp"));
    EXPECT_EQ(viewer.missing, QStringList{"nothing.hlp"});
    EXPECT_FALSE(viewer.isVisible());
}

// The help's links read on a dark page whose scheme left Qt's dark blue, and
// keep their colour on a light one.
TEST(HelpViewer, LinksReadOnTheirPage)
{
    for (const bool dark : {true, false}) {
        HelpViewer viewer({});
        QPalette palette = viewer.palette();
        palette.setColor(QPalette::Base, dark ? QColor(0x23, 0x26, 0x29) : QColor(Qt::white));
        palette.setColor(QPalette::Link, QColor(0, 0, 0xff));
        viewer.setPalette(palette);
        if (dark)
            EXPECT_GE(viewer.linkColor().lightness(), 150);
        else
            EXPECT_EQ(viewer.linkColor(), QColor(0, 0, 0xff));
    }
}

TEST_F(WindowTest, ClosingDuringATransferAsksFirst)
{
    TestFiles::write(dir.filePath("backup.txt"), "earlier");

    window.show();
    startReceive();
    fakes.port->arrive("GLOW ARRANGER" + QByteArray(1011, 'x'));

    window.answerStop = false;
    EXPECT_FALSE(window.close());
    EXPECT_EQ(window.stopQuestions, 1);
    EXPECT_TRUE(fakes.port->PortOpen()) << "No keeps the transfer running";
    EXPECT_TRUE(window.isVisible());

    window.answerStop = true;
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(fakes.port->PortOpen());
    EXPECT_FALSE(window.engine().state().FileOpen);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"backup.txt"});
    EXPECT_EQ(TestFiles::read(dir.filePath("backup.txt")), QByteArray("earlier"));
    EXPECT_TRUE(store.has("Startup", "recnamesave"));
}

TEST_F(WindowTest, StopQuestionGoesAwayWhenTheTransferEndsMeanwhile)
{
    // The line fails while the user is being asked; the error is shown, the
    // question no longer stands, and the window stays open to show the end.
    showActive();
    startReceive();
    window.realStopQuestion = true;
    bool questionWasShown = false;
    QTimer::singleShot(50, &window, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        questionWasShown = box && box->text() == "A transfer is in progress. Stop it and exit?";
        fakes.port->raise(1004);
    });
    QTimer::singleShot(3000, &window, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close(); // the question stayed: end the test instead of hanging
    });
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(questionWasShown);
    EXPECT_EQ(window.messages, QStringList{"framing error on com port, reset and retry"});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.cmdSend->isEnabled());
    EXPECT_FALSE(fakes.port->PortOpen());
}

TEST_F(WindowTest, FileGivenAtStartIsOfferedForSending)
{
    // zo-vovere FILE, or "Open with" in a file manager: the send dialog
    // opens with the file chosen and the filter that lists it.
    const QString profile = TestFiles::write(dir.filePath("Moving Head.GAF"), QByteArray(100, 'p'));
    fakes.dialog->choose = profile;
    window.offerToSend(profile);
    EXPECT_TRUE(fakes.dialog->lastWasOpen);
    EXPECT_EQ(fakes.dialog->fileNameShown, profile);
    EXPECT_EQ(fakes.dialog->filterIndexShown, 2);
    EXPECT_TRUE(fakes.port->PortOpen()) << "confirmed: the send runs";
    window.cmdCancel->click();

    EXPECT_EQ(window.engine().remembered().NameSave, profile);

    fakes.dialog->choose.clear();
    window.offerToSend("notes.txt");
    EXPECT_EQ(fakes.dialog->fileNameShown, QDir::current().absoluteFilePath("notes.txt"));
    EXPECT_EQ(fakes.dialog->filterIndexShown, 3);
    EXPECT_EQ(window.sbrPanel->text(), QString()) << "cancelled: nothing happens";
    EXPECT_EQ(window.engine().remembered().NameSave, profile) << "cancelled: not remembered";
    EXPECT_EQ(window.engine().remembered().FilterSave, 2);

    // One that does not exist, or a folder, is said instead of offered.
    fakes.dialog->fileNameShown.clear();
    window.startWith(dir.filePath("gone.txt"));
    window.startWith(dir.path());
    EXPECT_EQ(window.messages,
              (QStringList{"Cannot open \"" + dir.filePath("gone.txt") +
                               "\" for sending: No such file or directory.",
                           "Cannot open \"" + dir.path() + "\" for sending: it is a folder."}));
    EXPECT_EQ(fakes.dialog->fileNameShown, QString());
}

TEST_F(WindowTest, CountsAreShownOncePerFrameAndNoneAfterTheEnd)
{
    using Direction = TransferWindow::Direction;
    // The first count shows at once; counts within the same frame wait, the
    // latest one winning; once the frame is over it is shown.
    window.showCount(Direction::Send, 3000, "%1 bytes remaining");
    EXPECT_EQ(window.sbrPanel->text(), QString("3000 bytes remaining"));
    window.showCount(Direction::Send, 1976, "%1 bytes remaining");
    window.showCount(Direction::Send, 952, "%1 bytes remaining");
    EXPECT_EQ(window.sbrPanel->text(), QString("3000 bytes remaining"));
    clock.advance(frmGAbackup::kStatusFrame);
    EXPECT_EQ(window.sbrPanel->text(), QString("952 bytes remaining"));
    // The words that end a transfer are shown at once, and a count pending
    // then is never painted over them.
    window.showCount(Direction::Send, 0, "%1 bytes remaining");
    window.transferEnded(TransferWindow::Ending::Sent, "file has been sent");
    clock.advance(frmGAbackup::kStatusFrame);
    EXPECT_EQ(window.sbrPanel->text(), QString("952 bytes remaining"));
    window.showCount(Direction::Receive, 1024, "%1 bytes received");
    window.SbrMessage("file has been sent");
    clock.advance(3 * frmGAbackup::kStatusFrame);
    EXPECT_EQ(window.sbrPanel->text(), QString("file has been sent"));
    // After a quiet frame the next count shows at once again.
    window.showCount(Direction::Receive, 2048, "%1 bytes received");
    clock.advance(2 * frmGAbackup::kStatusFrame);
    window.showCount(Direction::Receive, 3072, "%1 bytes received");
    EXPECT_EQ(window.sbrPanel->text(), QString("3072 bytes received"));
}

TEST_F(WindowTest, ClosingWhileIdleAsksNothing)
{
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_EQ(window.stopQuestions, 0);
}

struct FontAndLanguage
{
    int points;
    bool german; // the captions' German lengths
};

using FontSizeTest = Rows<WindowTest, FontAndLanguage>;

// With a larger font or longer captions the controls grow, so that no
// caption is cut, and the window still fits a 1366x768 laptop's screen
// (less a panel and the title bar); no control runs into its neighbour.
TEST_P(FontSizeTest, NoCaptionIsClippedAndTheWindowFits)
{
    const QRect before = window.cmdReceive->geometry();
    if (GetParam().german) {
        window.cmdSend->setText("Datei &senden");
        window.cmdReceive->setText("Datei &empfangen");
        window.cmdCancel->setText("Abbrechen");
        window.Frame1->setTitle("Serieller Anschluss");
    }
    QFont font = window.font();
    font.setPointSize(GetParam().points);
    window.setFont(font);
    const auto width = [](const QWidget *w, QString text) {
        return w->fontMetrics().horizontalAdvance(text.remove('&'));
    };
    for (QPushButton *button : {window.cmdSend, window.cmdReceive, window.cmdCancel}) {
        EXPECT_LT(width(button, button->text()), button->width()) << button->text().toStdString();
        EXPECT_LT(button->fontMetrics().height(), button->height());
    }
    for (QRadioButton *option : {window.Option1, window.Option2}) {
        EXPECT_LT(width(option, option->text()) + 13, option->width());
        EXPECT_LE(option->geometry().bottom(), window.Frame1->contentsRect().bottom());
        EXPECT_LE(option->geometry().right(), window.Frame1->contentsRect().right());
    }
    EXPECT_LT(width(window.Frame1, window.Frame1->title()), window.Frame1->width());
    EXPECT_LT(window.sbrPanel->fontMetrics().height(), window.statusBar()->height());
    if (GetParam().points >= 16) {
        EXPECT_GT(window.cmdReceive->height(), before.height()) << "grown";
    }
    // Proportions stay: the two buttons one above the other, as drawn.
    EXPECT_EQ(window.cmdSend->x(), window.cmdReceive->x());
    EXPECT_EQ(window.cmdSend->width(), window.cmdReceive->width());
    EXPECT_LT(window.cmdReceive->geometry().right(), window.Frame1->x());
    EXPECT_LE(window.Frame1->geometry().right(), window.centralWidget()->width());
    EXPECT_GT(window.cmdCancel->x(), window.ProgressBar1->geometry().right());
    const QSize size = window.sizeHint();
    EXPECT_LE(size.width(), 1366);
    EXPECT_LE(size.height(), 768 - 32 - 24) << "with a panel and a title bar";
}

INSTANTIATE_TEST_SUITE_P(Window, FontSizeTest,
                         ::testing::Values(FontAndLanguage{9, false}, FontAndLanguage{12, false},
                                           FontAndLanguage{16, false}, FontAndLanguage{20, false},
                                           FontAndLanguage{9, true}, FontAndLanguage{16, true},
                                           FontAndLanguage{20, true}),
                         [](const auto &info) {
                             return std::to_string(info.param.points) + "pt" +
                                    (info.param.german ? "German" : "");
                         });

qsizetype frameArea(const QImage &image)
{
    return qsizetype(image.width()) * image.height();
}

TEST(AnimationWidget, PlaysTheShippedClipInALoopAndShowsNothingOnceClosed)
{
    AnimationWidget widget;
    widget.resize(273, 73);
    widget.show();
    ASSERT_TRUE(widget.open(QStringLiteral(ZO_SOURCE_DATA_DIR "/filemove.avi")))
        << widget.lastError().toStdString();
    EXPECT_TRUE(widget.isOpen());
    EXPECT_GT(widget.frameCount(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return widget.currentFrame() > 0; }, 2000));
    const QRgb face = widget.palette().color(QPalette::Button).rgb();
    auto drawnPixels = [&] {
        const QImage shot = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
        int drawn = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                drawn += (shot.pixel(x, y) | 0xFF000000) != (face | 0xFF000000);
        return drawn;
    };
    EXPECT_GT(drawnPixels(), 1000) << "the PC and the desk are drawn";
    widget.close();
    EXPECT_FALSE(widget.isOpen());
    EXPECT_EQ(drawnPixels(), 0);

    EXPECT_FALSE(widget.open(QStringLiteral(ZO_SOURCE_DATA_DIR "/ZO vovere.hlp")));
    EXPECT_FALSE(widget.isOpen());
    EXPECT_FALSE(widget.lastError().isEmpty());
}

struct Scheme
{
    const char *name;
    QRgb face, text; // the palette's button face and button text
};

using AnimationPaletteTest = ::testing::TestWithParam<Scheme>;

// Idle, the area is the window's own background; playing, the clip stands
// on the palette's button face, and most of what it draws differs from it
// clearly.
TEST_P(AnimationPaletteTest, FollowsThePaletteAndStaysLegible)
{
    AnimationWidget widget;
    widget.resize(273, 73);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Button, GetParam().face);
    palette.setColor(QPalette::ButtonText, GetParam().text);
    palette.setColor(QPalette::Window, QColor(GetParam().face).darker(130)); // a block would show
    widget.setPalette(palette);
    widget.show();
    const auto shot = [&] { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); };
    EXPECT_EQ(shot().pixel(136, 36) | 0xFF000000, palette.color(QPalette::Window).rgb());
    ASSERT_TRUE(widget.open(QStringLiteral(ZO_SOURCE_DATA_DIR "/filemove.avi")));
    const QImage playing = shot();
    EXPECT_EQ(playing.pixel(0, 0) | 0xFF000000, GetParam().face | 0xFF000000);
    const int faceLightness = QColor(GetParam().face).lightness();
    int drawn = 0, clear = 0;
    for (int y = 0; y < playing.height(); ++y) {
        for (int x = 0; x < playing.width(); ++x) {
            const QRgb pixel = playing.pixel(x, y) | 0xFF000000;
            if (pixel == (GetParam().face | 0xFF000000))
                continue;
            ++drawn;
            clear += std::abs(QColor(pixel).lightness() - faceLightness) >= 50;
        }
    }
    EXPECT_GT(drawn, 1000);
    EXPECT_GT(clear, drawn * 3 / 4) << clear << " of " << drawn << " stand out";
}

INSTANTIATE_TEST_SUITE_P(
    AnimationWidget, AnimationPaletteTest,
    ::testing::Values(Scheme{"Classic", qRgb(0xF0, 0xF0, 0xF0), qRgb(0, 0, 0)},
                      Scheme{"Light", qRgb(0xEF, 0xEF, 0xEF), qRgb(0, 0, 0)},
                      Scheme{"Dark", qRgb(0x35, 0x35, 0x35), qRgb(0xFF, 0xFF, 0xFF)},
                      Scheme{"HighContrast", qRgb(0, 0, 0), qRgb(0xFF, 0xFF, 0)}),
    rowName);

TEST(AnimationWidget, RepaintingOnlyWhatChangedDrawsEachFrameOfTheClipExactly)
{
    QString error;
    const auto clip = AviReader::read(QStringLiteral(ZO_SOURCE_DATA_DIR "/filemove.avi"), &error);
    ASSERT_TRUE(clip && clip->frames.size() > 1) << error.toStdString();
    // The screen as the widget leaves it: the previous frame with only the
    // changed rectangle of the next one painted over it.
    const qsizetype count = clip->frames.size();
    QImage screen = clip->frames.last();
    qsizetype changedArea = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const QImage &frame = clip->frames.at(i);
        const QRect changed =
            AnimationWidget::changedRect(clip->frames.at((i + count - 1) % count), frame);
        changedArea += qsizetype(changed.width()) * changed.height();
        QPainter(&screen).drawImage(changed.topLeft(), frame, changed);
        EXPECT_EQ(screen, frame) << "frame " << i;
    }
    EXPECT_LT(changedArea, count * frameArea(clip->frames.first()) / 2)
        << "most of the clip stays still";

    QImage a(7, 4, QImage::Format_RGB32), b;
    a.fill(Qt::white);
    b = a;
    EXPECT_TRUE(AnimationWidget::changedRect(a, b).isEmpty());
    b.setPixel(6, 1, qRgb(0, 0, 0));
    b.setPixel(2, 3, qRgb(0, 0, 0));
    EXPECT_EQ(AnimationWidget::changedRect(a, b), QRect(2, 1, 5, 3));
}

} // namespace
