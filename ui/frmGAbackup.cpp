#include "frmGAbackup.h"

#include "AnimationWidget.h"
#include "FileNames.h"
#include "NetworkLine.h"
#include "QtFileDialog.h"
#include "SettingsStore.h"
#include "StartupSettings.h"
#include "StatusLineAccessible.h"
#include "Version.h"
#include "WindowSettings.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QWindow>
#include <QtMath>

namespace {
// The layout, in twips (1/1440 inch).
constexpr int kClientWidth = 5805;
constexpr int kClientHeight = 4770;
constexpr int kStatusTop = 4395;
constexpr QRect kFrame1(3240, 720, 1455, 1095);
constexpr QRect kOption1(240, 240, 975, 375);
constexpr QRect kOption2(240, 600, 975, 375);
constexpr QRect kCmdSend(720, 600, 1215, 495);
constexpr QRect kCmdReceive(720, 1440, 1215, 495);
constexpr QRect kProgressBar1(240, 3840, 3855, 255);
constexpr QRect kAnimation1(840, 2400, 4095, 1095);
constexpr QRect kCmdCancel(4320, 3720, 1215, 495);
constexpr int kLine1Length = 5760;

} // namespace

int frmGAbackup::twips(int value)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return qRound(value * dpi / 1440.0);
}

QString frmGAbackup::aboutText()
{
    return tr("ZO Vovere version %1.%2\r\n\r\n"
              "Backs up and restores Glow Arranger shows over a serial line.")
        .arg(Version::kMajor)
        .arg(Version::kMinor);
}

frmGAbackup::frmGAbackup(SettingsStore &store, Parts given, QWidget *parent)
    : QMainWindow(parent), m_store(store)
{
    Parts parts = completed(std::move(given), store);
    // Where the keyboard goes when a dialog or popup of this window closes.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow *focused) {
        const QPointer<QWindow> left = std::exchange(m_focusWindow, focused);
        QTimer::singleShot(0, this, [this, left] { takeKeyboardBack(left && !left->isVisible()); });
    });
    // A dialog that is deleted takes its window with it, without a word to
    // the signal above. (A window still shown lost the keyboard to another
    // program, which keeps it.)
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *now) {
        if (!old || now)
            return;
        const QPointer<QWidget> oldWindow = old->window();
        QTimer::singleShot(0, this, [this, oldWindow] {
            takeKeyboardBack(!oldWindow || !oldWindow->isVisible());
        });
    });
    m_port = std::move(parts.port);
    m_timer1 = std::move(parts.timer1);
    m_timer2 = std::move(parts.timer2);
    m_statusFrame = std::move(parts.statusFrame);
    m_dialog = std::move(parts.dialog);
    m_source = std::move(parts.source);
    m_target = std::move(parts.target);
    m_portList = std::move(parts.portList);
    m_inhibitor = std::move(parts.inhibitor);
    m_notifier = std::move(parts.notifier);
    m_dataDirs = std::move(parts.dataDirs);
    if (!m_dialog)
        m_dialog = std::make_unique<QtFileDialog>(this);

    setWindowTitle(QStringLiteral("ZO Vovere"));
    setWindowIcon(QIcon(QStringLiteral(":/zo-vovere/zo-vovere.png")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    buildControls();
    buildMenus();

    m_clipPath = QDir(m_dataDirs.constFirst()).absoluteFilePath(kClipName);
    for (const QString &dir : std::as_const(m_dataDirs)) {
        if (QFileInfo::exists(QDir(dir).absoluteFilePath(kClipName))) {
            m_clipPath = QDir(dir).absoluteFilePath(kClipName);
            break;
        }
    }
    m_engine = std::make_unique<TransferEngine>(*m_port, *this, *m_timer1, *m_timer2, *m_dialog,
                                                *m_source, *m_target);

    connect(cmdSend, &QPushButton::clicked, this, [this] { m_engine->cmdSend_Click(); });
    connect(cmdReceive, &QPushButton::clicked, this, [this] { m_engine->cmdReceive_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { m_engine->cmdCancel_Click(); });
    // Selecting a port, by the user or by loading the settings, stores it.
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option1_Click();
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option2_Click();
    });
    m_statusFrame->setInterval(kStatusFrame);
    m_statusFrame->setEnabled(false);
    m_statusFrame->setOnTick([this] {
        if (!m_pendingCount) {
            m_statusFrame->setEnabled(false); // nothing new: the next count shows at once
            return;
        }
        const PendingCount count = *std::exchange(m_pendingCount, std::nullopt);
        showStatus(count.words.arg(count.bytes));
    });
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (cmdCancel->isVisible())
            cmdCancel->click();
    });

    Form_Load();
    showPortDevices();
    cmdSend->setFocus(); // the first thing most users do
}

void frmGAbackup::showPortDevices()
{
    // Which device each option stands for, and the line's settings, where
    // the pointer and a screen reader find them.
    for (int port : {1, 2}) {
        QRadioButton *option = port == 1 ? Option1 : Option2;
        const QString device = StartupSettings::devicePath(m_store, port);
        const std::optional<LineAddress> server = LineAddress::parse(device);
        const QString line =
            server ? tr("%1: serial server %2 on the network (%3), 19200 baud, 8 data bits, no "
                        "parity, 1 stop bit")
                         .arg(StartupSettings::portKey(port), server->server(),
                              server->kind == LineAddress::Kind::Rfc2217 ? tr("RFC 2217")
                                                                          : tr("raw TCP"))
                   : tr("%1: %2, 19200 baud, 8 data bits, no parity, 1 stop bit")
                         .arg(StartupSettings::portKey(port), FileNames::printable(device));
        option->setToolTip(line);
        option->setAccessibleDescription(line);
    }
}

frmGAbackup::~frmGAbackup()
{
    Form_Unload();
    m_engine.reset(); // before the port and timers it refers to
}

void frmGAbackup::buildControls()
{
    setCentralWidget(new QWidget(this));
    QWidget *client = centralWidget();

    Line1 = new QFrame(client);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);

    Frame1 = new QGroupBox(tr("Serial Port"), client);
    Frame1->setToolTip(tr("Select com port connected to Glow Arranger"));
    Option1 = new QRadioButton(tr("Com 1"), Frame1);
    Option2 = new QRadioButton(tr("Com 2"), Frame1);

    cmdSend = new QPushButton(tr("&Send File"), client);
    cmdSend->setToolTip(tr("To send a file to the Glow Arranger"));
    cmdReceive = new QPushButton(tr("&Receive File"), client);
    cmdReceive->setToolTip(tr("To receive a file from the Glow Arranger"));

    ProgressBar1 = new QProgressBar(client);
    ProgressBar1->setRange(0, kProgressScale);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();

    Animation1 = new AnimationWidget(client);

    cmdCancel = new QPushButton(tr("Cancel"), client);
    cmdCancel->hide();

    StatusLineAccessible::install();
    sbrPanel = new QLabel(this);
    sbrPanel->setObjectName(StatusLineAccessible::kObjectName);
    sbrPanel->setTextFormat(Qt::PlainText);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(sbrPanel, 1);
    m_announcement = new StatusAnnouncement(statusBar());

    // Names for screen readers: the buttons and option buttons name
    // themselves by their captions; these have none.
    ProgressBar1->setAccessibleName(tr("Transfer progress"));
    Animation1->setAccessibleName(tr("Transfer animation"));
    Line1->setAccessibleName(tr("Separator"));
    sbrPanel->setAccessibleName(tr("Status line"));

    setTabOrder(Option1, Option2);
    setTabOrder(Option2, cmdSend);
    setTabOrder(cmdSend, cmdReceive);
    setTabOrder(cmdReceive, cmdCancel);

    layout()->setSizeConstraint(QLayout::SetFixedSize);
    placeControls();
}

frmGAbackup::Scale frmGAbackup::captionScale() const
{
    // The layout is in logical inches, drawn for the classic 8-point font.
    // Heights grow with the font's height; a caption longer than its control
    // (another language, a larger font) widens that control into the room
    // beside it, and the layout grows across only as far as that room ends.
    // Nothing shrinks below the specified size.
    const auto need = [](qreal wanted, int twipsGiven) {
        return wanted / std::max(1, twips(twipsGiven));
    };
    Scale scale;
    for (const QPushButton *button : {cmdSend, cmdReceive, cmdCancel})
        scale.down =
            std::max(scale.down, need(button->fontMetrics().height() + 4, kCmdSend.height()));
    for (const QRadioButton *option : {Option1, Option2})
        scale.down = std::max(scale.down, need(option->fontMetrics().height(), kOption1.height()));
    scale.down = std::max(scale.down,
                          need(sbrPanel->fontMetrics().height() + 4, kClientHeight - kStatusTop));
    // Across: as wide as the heights make it, then wider where the room
    // beside a widened control would not hold it.
    scale.across = scale.down;
    const Widths widths = captionWidths();
    const auto room = [&](int fromTwips, int toTwips) {
        return twips(toTwips - fromTwips) * scale.across;
    };
    for (int round = 0; round < 100; ++round) {
        const bool fits = widths.starters <= room(kCmdSend.left(), kFrame1.left() - 240) &&
                          widths.cancel <= room(kProgressBar1.right() + 120, kCmdCancel.right()) &&
                          widths.frame <= room(kFrame1.left(), kClientWidth - 120);
        if (fits)
            break;
        scale.across *= 1.05;
    }
    return scale;
}

frmGAbackup::Widths frmGAbackup::captionWidths() const
{
    const auto caption = [](const QWidget *w, QString text) {
        return qreal(w->fontMetrics().horizontalAdvance(text.remove(QLatin1Char('&'))));
    };
    Widths widths;
    // As much room beside a button's caption as the classic font had, in
    // proportion to the font's height.
    const auto button = [&](const QPushButton *b) {
        return caption(b, b->text()) + 0.7 * b->fontMetrics().height();
    };
    widths.starters = std::max(button(cmdSend), button(cmdReceive));
    widths.cancel = button(cmdCancel);
    const QStyle *look = Option1->style();
    const int indicator = look->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, Option1) +
                          look->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, Option1);
    qreal options = 0;
    for (const QRadioButton *option : {Option1, Option2})
        options = std::max(options, indicator + caption(option, option->text()));
    widths.options = options;
    widths.frame = std::max(caption(Frame1, Frame1->title()) + 8,
                            twips(kOption1.left()) + options + twips(kOption1.left()));
    return widths;
}

void frmGAbackup::placeControls()
{
    const Scale scale = captionScale();
    const Widths widths = captionWidths();
    const auto x = [&](int value) { return qRound(twips(value) * scale.across); };
    const auto y = [&](int value) { return qRound(twips(value) * scale.down); };
    // A control at its place, at least wide enough for its caption.
    const auto place = [&](QWidget *w, const QRect &r, qreal wide = 0) {
        w->setGeometry(x(r.x()), y(r.y()), std::max(x(r.width()), qCeil(wide)), y(r.height()));
    };
    centralWidget()->setFixedSize(x(kClientWidth), y(kStatusTop));
    Line1->setGeometry(0, 0, x(kLine1Length), 2);
    place(Frame1, kFrame1, widths.frame);
    place(Option1, kOption1, widths.options);
    place(Option2, kOption2, widths.options);
    place(cmdSend, kCmdSend, widths.starters);
    place(cmdReceive, kCmdReceive, widths.starters);
    place(ProgressBar1, kProgressBar1);
    place(Animation1, kAnimation1);
    // Cancel keeps its right edge and widens to the left.
    const int cancelWidth = std::max(x(kCmdCancel.width()), qCeil(widths.cancel));
    cmdCancel->setGeometry(x(kCmdCancel.x() + kCmdCancel.width()) - cancelWidth, y(kCmdCancel.y()),
                           cancelWidth, y(kCmdCancel.height()));
    statusBar()->setFixedHeight(y(kClientHeight - kStatusTop));
}

void frmGAbackup::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange && cmdSend)
        placeControls();
    QMainWindow::changeEvent(event);
}

void frmGAbackup::buildMenus()
{
    QMenu *mnuFile = menuBar()->addMenu(tr("&File"));
    mnuOpen = mnuFile->addAction(tr("&Open (Send File)"));
    mnuSaveas = mnuFile->addAction(tr("Save &As (Receive File)"));
    mnuFile->addSeparator();
    mnuPortSettings = mnuFile->addAction(tr("&Port Settings..."));
    mnuExit = mnuFile->addAction(tr("E&xit"));

    QMenu *mnuHelp = menuBar()->addMenu(tr("&Help"));
    mnuGAhelp = mnuHelp->addAction(tr("GA &Backup help"));
    mnuAbout = mnuHelp->addAction(tr("&About ZO Vovere"));

    // The desktop's own keys for these commands, shown beside the captions;
    // where a desktop has none, the keys most others use.
    const auto standard = [](QAction *action, QKeySequence::StandardKey key,
                             const QKeySequence &otherwise) {
        if (QKeySequence::keyBindings(key).isEmpty())
            action->setShortcut(otherwise);
        else
            action->setShortcuts(key);
    };
    standard(mnuOpen, QKeySequence::Open, QKeySequence(Qt::CTRL | Qt::Key_O));
    standard(mnuSaveas, QKeySequence::SaveAs, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    standard(mnuExit, QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q));
    standard(mnuGAhelp, QKeySequence::HelpContents, QKeySequence(Qt::Key_F1));
    mnuGAhelp->setShortcutContext(Qt::ApplicationShortcut);

    connect(mnuOpen, &QAction::triggered, this, &frmGAbackup::mnuOpen_Click);
    connect(mnuSaveas, &QAction::triggered, this, &frmGAbackup::mnuSaveas_Click);
    connect(mnuPortSettings, &QAction::triggered, this, &frmGAbackup::mnuPortSettings_Click);
    connect(mnuExit, &QAction::triggered, this, &frmGAbackup::mnuExit_Click);
    connect(mnuGAhelp, &QAction::triggered, this, &frmGAbackup::mnuGAhelp_Click);
    connect(mnuAbout, &QAction::triggered, this, &frmGAbackup::mnuAbout_Click);
}

// ---- TransferWindow

void frmGAbackup::SbrMessage(const QString &text)
{
    // Any text but a count is shown at once; a count left pending is
    // dropped for it, so that no count shows after the words that end.
    m_statusFrame->setEnabled(false);
    m_pendingCount.reset();
    showStatus(text);
}

void frmGAbackup::showCount(Direction, qint64 bytes, const QString &words)
{
    // Counts come once per 1024 bytes, far faster than anyone reads on a
    // fast line, and each new text makes the status bar lay itself out
    // again. They are shown at most once per frame, the latest one winning;
    // the others are never even formatted.
    if (m_statusFrame->enabled()) {
        m_pendingCount = PendingCount{words, bytes};
        return;
    }
    showStatus(words.arg(bytes));
    m_statusFrame->setEnabled(true);
}

void frmGAbackup::showStatus(const QString &text)
{
    const QString before = sbrPanel->text();
    sbrPanel->setText(text);
    // Read out with the name; changing it tells the screen reader, and so
    // does the text's own change.
    sbrPanel->setAccessibleDescription(text);
    if (before != text && QAccessible::isActive()) {
        QAccessibleTextUpdateEvent changed(sbrPanel, 0, before, text);
        QAccessible::updateAccessibility(&changed);
    }
}

void frmGAbackup::takeKeyboardBack(bool leftClosed)
{
    if (!isVisible() || QApplication::activeModalWidget())
        return;
    const QWindow *focused = QGuiApplication::focusWindow();
    // A window manager hands the keyboard back as a dialog closes, while Qt
    // still counts the dialog as modal; Qt then leaves this window inactive,
    // and no shortcut or mnemonic would work until a click.
    if (focused == windowHandle() && QApplication::activeWindow() != this)
        QApplication::setActiveWindow(this);
    // Without a window manager nobody hands it back: a window of this
    // program that had the keyboard (a dialog, the name completion's popup)
    // has closed, and the keyboard is nowhere.
    if (!focused && leftClosed)
        activateWindow();
}

void frmGAbackup::transferStarted(Direction direction, qint64)
{
    // Where the keyboard goes back to when it ends.
    m_starter = direction == Direction::Send ? cmdSend : cmdReceive;
    // The mapping is not changed under a running transfer.
    mnuPortSettings->setEnabled(false);
    // The computer stays awake from the start of a transfer to its end,
    // whichever way it ends.
    m_inhibitor->hold(tr("A transfer to or from the lighting controller is running"));
}

void frmGAbackup::transferEnded(Ending ending, const QString &words)
{
    mnuPortSettings->setEnabled(true);
    m_inhibitor->release();
    m_statusFrame->setEnabled(false);
    m_pendingCount.reset();
    // The transfer has ended while the user was being asked whether to stop
    // it: the question no longer stands, and the window stays open so that
    // the user sees how it ended.
    if (m_stopQuestion)
        m_stopQuestion->done(QMessageBox::Cancel);
    m_notifier->tellEnding(ending, words);
    if (m_starter)
        m_starter->setFocus();
    // A failure comes with a message box, which a screen reader reads out as
    // it opens; the other endings are only in the status line.
    if (ending != Ending::Failed && ending != Ending::PortUnavailable &&
        ending != Ending::FileRefused)
        m_announcement->say(words);
}

void frmGAbackup::showBusy(bool busy)
{
    // Held and given back in this order, Cancel last.
    cmdSend->setEnabled(!busy);
    cmdReceive->setEnabled(!busy);
    Frame1->setEnabled(!busy);
    Option1->setEnabled(!busy);
    Option2->setEnabled(!busy);
    mnuOpen->setEnabled(!busy);
    mnuSaveas->setEnabled(!busy);
    cmdCancel->setVisible(busy);
}

void frmGAbackup::showProgress(const Progress &progress)
{
    // QProgressBar counts in integers: show the fraction value/max on a fine
    // fixed scale. A value left above a smaller new maximum shows as full.
    const double fraction = progress.max > 0 ? double(progress.value) / progress.max : 0.0;
    ProgressBar1->setValue(int(std::clamp(fraction, 0.0, 1.0) * kProgressScale + 0.5));
    ProgressBar1->setVisible(progress.visible);
}

void frmGAbackup::showAnimation(bool playing)
{
    // Decoration: a clip that cannot be read leaves the control empty.
    if (playing)
        Animation1->open(m_clipPath);
    else
        Animation1->close();
}

void frmGAbackup::messageBox(const QString &text)
{
    showMessageBox(text);
}

void frmGAbackup::detailedMessageBox(const QString &text, const QString &details)
{
    showMessageBox(text, details);
}

void frmGAbackup::showMessageBox(const QString &text, const QString &details)
{
    QMessageBox box(QMessageBox::Warning, QString(), text, QMessageBox::Ok, this);
    box.setDetailedText(details);
    box.exec();
}

// ---- loading and unloading

void frmGAbackup::Form_Load()
{
    const WindowSettings::Loaded loaded = WindowSettings::load(m_store);
    Option1->setChecked(loaded.com1);
    if (!Option1->isChecked())
        Option2->setChecked(true);
    m_engine->remembered() = loaded.remembered;
    // Said once, when the window is up: otherwise every choice of this run
    // would quietly be forgotten.
    const QString unwritable = WindowSettings::unwritableMessage(m_store);
    if (!unwritable.isEmpty())
        QTimer::singleShot(0, this, [this, unwritable] { messageBox(unwritable); });
}

void frmGAbackup::Option1_Click()
{
    m_engine->choosePort(Option1->isChecked() ? 1 : 2);
    WindowSettings::storePortChoice(m_store, Option1->isChecked());
}

void frmGAbackup::Option2_Click()
{
    Option1_Click();
}

void frmGAbackup::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_engine->FormUnload();

    WindowSettings::storeAtUnload(m_store, m_engine->remembered());
}
