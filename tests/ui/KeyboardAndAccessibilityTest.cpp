// The window used with the keyboard alone, and read back the way a screen
// reader sees it (Qt's accessibility interface).
#include "AnimationWidget.h"
#include "Rows.h"
#include "TestWindow.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class KeyboardTest : public ::testing::Test, public WindowHarness
{
  protected:
    KeyboardTest() : window(store, clock, fakes) {}

    void SetUp() override
    {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // A key as the window system delivers it: shortcuts, mnemonics and the
    // menu bar see it as they would a real key press.
    void key(int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWindow *target =
            QApplication::activePopupWidget()   ? QApplication::activePopupWidget()->windowHandle()
            : QApplication::activeModalWidget() ? QApplication::activeModalWidget()->windowHandle()
                                                : window.windowHandle();
        QTest::keyClick(target, Qt::Key(k), modifiers);
    }

    // Alt+letter on a button: it is pressed at once and clicked when it
    // comes up again, a tenth of a second later.
    void mnemonic(int letter)
    {
        key(letter, Qt::AltModifier);
        QTest::qWaitFor(
            [&] {
                const auto buttons = window.findChildren<QAbstractButton *>();
                return std::none_of(buttons.begin(), buttons.end(),
                                    [](const QAbstractButton *b) { return b->isDown(); });
            },
            2000);
    }

    QString status() const { return window.sbrPanel->text(); }

    TestWindow window;
};

TEST_F(KeyboardTest, WholeSendAndReceiveWithKeysAlone)
{
    // Choose Com 1 with the arrow keys in the port frame.
    window.Option2->setFocus();
    key(Qt::Key_Up);
    EXPECT_TRUE(window.Option1->isChecked());

    // Send: Alt+S, the dialog answers, the line drains.
    fakes.dialog->choose = TestFiles::write(dir.filePath("show.txt"), QByteArray(1500, 's'));
    mnemonic(Qt::Key_S);
    ASSERT_TRUE(fakes.port->PortOpen()) << status().toStdString();
    EXPECT_EQ(fakes.port->CommPort(), 1);
    fakes.port->transmitEmpty();
    fakes.port->transmitEmpty();
    clock.advance(1000ms);
    EXPECT_EQ(status(), QString("file has been sent"));
    EXPECT_EQ(fakes.port->written.size(), 1500);

    // Receive: Alt+R, then Escape cancels; Alt+R again and a whole backup.
    fakes.dialog->choose = dir.filePath("backup.txt");
    mnemonic(Qt::Key_R);
    ASSERT_TRUE(fakes.port->PortOpen());
    key(Qt::Key_Escape);
    EXPECT_EQ(status(), QString("Action canceled"));
    mnemonic(Qt::Key_R);
    fakes.port->arrive(dump());
    clock.advance(3000ms);
    EXPECT_EQ(status(), QString("File has been saved."));

    // The menus open from the keyboard too: Alt+F, then P for Port Settings,
    // which Escape closes again.
    QString dialogSeen;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            dialogSeen = modal->windowTitle();
            QTest::keyClick(modal->windowHandle(), Qt::Key_Escape);
        }
    });
    closer.start();
    key(Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000))
        << "the File menu opened";
    key(Qt::Key_P);
    closer.stop();
    EXPECT_EQ(dialogSeen, QString("Port Settings"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(KeyboardTest, FocusStartsOnSendFileAndReturnsToWhatStartedATransfer)
{
    EXPECT_EQ(QApplication::focusWidget(), window.cmdSend);
    fakes.dialog->choose = dir.filePath("backup.txt");
    window.mnuSaveas->trigger();
    ASSERT_TRUE(fakes.port->PortOpen());
    key(Qt::Key_Escape);
    EXPECT_EQ(QApplication::focusWidget(), window.cmdReceive);
}

// Each device, and the line's settings, on its option: updated when Port
// Settings has set another.
TEST_F(KeyboardTest, EachOptionSaysItsDeviceAndTheLine)
{
    EXPECT_EQ(window.Option2->toolTip(),
              QString("COM2: /dev/ttyS1, 19200 baud, 8 data bits, no parity, 1 stop bit"));
    QTimer::singleShot(0, [] {
        QWidget *dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        dialog->findChildren<QComboBox *>().at(1)->setEditText("/dev/ttyUSB0");
        qobject_cast<QDialog *>(dialog)->accept();
    });
    window.mnuPortSettings_Click();
    EXPECT_TRUE(window.Option2->toolTip().startsWith("COM2: /dev/ttyUSB0, 19200 baud"));
    EXPECT_EQ(window.Option2->accessibleDescription(), window.Option2->toolTip());
}

struct Shortcut
{
    const char *name;
    QKeySequence::StandardKey key;
    QAction *TestWindow::*action;
    const char *caption;
    const char *otherwise; // on a desktop that has no key for it
};

using ShortcutTest = Rows<KeyboardTest, Shortcut>;

// The desktop's standard keys, without a word of the captions changed.
TEST_P(ShortcutTest, TriggersItsCommand)
{
    QAction *action = window.*GetParam().action;
    EXPECT_EQ(action->text(), GetParam().caption);
    const QList<QKeySequence> standard = QKeySequence::keyBindings(GetParam().key);
    EXPECT_EQ(action->shortcut(),
              standard.value(0, QKeySequence::fromString(GetParam().otherwise)));
    ASSERT_FALSE(action->shortcut().isEmpty());
    QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
    QSignalSpy triggered(action, &QAction::triggered);
    const QKeyCombination pressed = action->shortcut()[0];
    key(pressed.key(), pressed.keyboardModifiers());
    EXPECT_EQ(triggered.count(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Window, ShortcutTest,
    ::testing::Values(Shortcut{"Open", QKeySequence::Open, &TestWindow::mnuOpen,
                               "&Open (Send File)", "Ctrl+O"},
                      Shortcut{"SaveAs", QKeySequence::SaveAs, &TestWindow::mnuSaveas,
                               "Save &As (Receive File)", "Ctrl+Shift+S"},
                      Shortcut{"Quit", QKeySequence::Quit, &TestWindow::mnuExit, "E&xit", "Ctrl+Q"},
                      Shortcut{"Help", QKeySequence::HelpContents, &TestWindow::mnuGAhelp,
                               "GA &Backup help", "F1"}),
    rowName);

TEST_F(KeyboardTest, EveryControlHasANameForScreenReaders)
{
    auto name = [](QObject *o) {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(o);
        return a ? a->text(QAccessible::Name) : QString("<none>");
    };
    auto description = [](QObject *o) {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(o);
        return a ? a->text(QAccessible::Description) : QString("<none>");
    };
    window.cmdCancel->show();
    window.ProgressBar1->show();
    const std::vector<std::pair<QWidget *, QString>> expected = {
        {window.cmdSend, "Send File"},
        {window.cmdReceive, "Receive File"},
        {window.cmdCancel, "Cancel"},
        {window.Frame1, "Serial Port"},
        {window.Option1, "Com 1"},
        {window.Option2, "Com 2"},
        {window.ProgressBar1, "Transfer progress"},
        {window.Animation1, "Transfer animation"},
        {window.sbrPanel, "Status line"},
    };
    for (const auto &[widget, text] : expected)
        EXPECT_EQ(name(widget), text) << widget->metaObject()->className();

    // The status line's words reach the screen reader as they change, and
    // its text is there to be read word by word (the text's change event
    // goes only to a connected screen reader: not offscreen).
    window.SbrMessage("4096 bytes received");
    EXPECT_EQ(description(window.sbrPanel), QString("4096 bytes received"));
    QAccessibleTextInterface *text =
        QAccessible::queryAccessibleInterface(window.sbrPanel)->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(0, text->characterCount()), QString("4096 bytes received"));
    int start = 0, end = 0;
    EXPECT_EQ(text->textAtOffset(6, QAccessible::WordBoundary, &start, &end), QString("bytes"));
    EXPECT_EQ(text->textAfterOffset(6, QAccessible::WordBoundary, &start, &end), QString(" "));
}

} // namespace
