// The window used with the keyboard alone, and read back the way a screen
// reader sees it (Qt's accessibility interface).
#include "AnimationWidget.h"
#include "TestWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

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
        QTest::qWait(250);
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
    QTest::qWait(50);
    ASSERT_NE(QApplication::activePopupWidget(), nullptr) << "the File menu opened";
    key(Qt::Key_P);
    closer.stop();
    EXPECT_EQ(dialogSeen, QString("Port Settings"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

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

    // The status line's words reach the screen reader as they change.
    window.SbrMessage("4096 bytes received");
    EXPECT_EQ(description(window.sbrPanel), QString("4096 bytes received"));
}

} // namespace
