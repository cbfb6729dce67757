// File > Port Settings...: the list of ports against a fake (plugging,
// unplugging, busy and forbidden devices), what OK and Cancel write, and the
// real list's stable names and status words.
#include "FakePortList.h"
#include "PortSettingsDialog.h"
#include "TestWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "TestLine.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const PortInfo kUart{"/dev/ttyS0", {}, "16550A UART", {}, {}, "free"};
const PortInfo kNoUart{"/dev/ttyS1", {}, {}, {}, {}, "no serial port behind this device"};
const PortInfo kAdapter{"/dev/ttyUSB0",
                        "/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0",
                        "FT232R USB UART",
                        "FTDI",
                        "A1B2",
                        "in use by picocom (process 4242)"};
const PortInfo kForbidden{
    "/dev/ttyACM0", {}, "CDC modem", {}, {}, "permission denied: join the \"dialout\" group"};

QStringList column(QTreeWidget *table, int c)
{
    QStringList texts;
    for (int i = 0; i < table->topLevelItemCount(); ++i)
        texts << table->topLevelItem(i)->text(c);
    return texts;
}

QStringList items(QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

class PortSettingsTest : public ::testing::Test
{
  protected:
    PortSettingsTest() { ports.list = {kUart, kNoUart, kForbidden}; }
    MemorySettingsStore store;
    FakePortList ports;
};

TEST_F(PortSettingsTest, ListsThePortsWithStableNamesAndWhetherTheyCanBeOpened)
{
    store.values = {{"Ports/COM1", "/dev/ttyS0"}};
    ports.list.append(kAdapter);
    PortSettingsDialog dialog(store, ports);
    EXPECT_EQ(dialog.com1()->currentText(), QString("/dev/ttyS0"));
    EXPECT_EQ(dialog.com2()->currentText(), QString("/dev/ttyS1")) << "the default when unset";
    EXPECT_EQ(column(dialog.portTable(), 0),
              (QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyACM0", "/dev/ttyUSB0"}));
    EXPECT_EQ(column(dialog.portTable(), 1),
              (QStringList{"free", "no serial port behind this device",
                           "permission denied: join the \"dialout\" group",
                           "in use by picocom (process 4242)"}));
    EXPECT_EQ(column(dialog.portTable(), 3).last(), QString("FTDI"));
    EXPECT_EQ(column(dialog.portTable(), 4).last(), QString("A1B2"));
    EXPECT_EQ(column(dialog.portTable(), 5).last(), kAdapter.stablePath);
    // The stable name is what is offered and stored for the adapter.
    EXPECT_TRUE(items(dialog.com2()).contains(kAdapter.stablePath));
    EXPECT_FALSE(items(dialog.com2()).contains("/dev/ttyUSB0"));

    dialog.portTable()->setCurrentItem(dialog.portTable()->topLevelItem(3));
    for (QPushButton *button : dialog.findChildren<QPushButton *>())
        if (button->text() == "Use for COM &2")
            button->click();
    EXPECT_EQ(dialog.com2()->currentText(), kAdapter.stablePath);
    dialog.accept();
    EXPECT_EQ(store.read("Ports", "COM2", ""), kAdapter.stablePath);
    EXPECT_EQ(store.read("Ports", "COM1", ""), QString("/dev/ttyS0"));
}

TEST_F(PortSettingsTest, FollowsPluggingOnlyWhileShown)
{
    PortSettingsDialog dialog(store, ports);
    EXPECT_FALSE(ports.watching);
    dialog.show();
    EXPECT_TRUE(ports.watching);
    dialog.com1()->setEditText("/dev/typed-by-hand");

    ports.plug(kAdapter);
    EXPECT_EQ(column(dialog.portTable(), 0),
              (QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyACM0", "/dev/ttyUSB0",
                           "/dev/typed-by-hand"}))
        << "a typed path the system does not list is shown with its status";
    EXPECT_EQ(column(dialog.portTable(), 1).last(), QString("does not exist"));
    EXPECT_TRUE(items(dialog.com1()).contains(kAdapter.stablePath));
    EXPECT_EQ(dialog.com1()->currentText(), QString("/dev/typed-by-hand"))
        << "what the user typed stays";

    ports.unplug("/dev/ttyUSB0");
    EXPECT_EQ(dialog.portTable()->topLevelItemCount(), 4);
    EXPECT_FALSE(items(dialog.com1()).contains(kAdapter.stablePath));

    dialog.reject();
    EXPECT_FALSE(ports.watching) << "nothing is watched once the dialog is closed";
    EXPECT_TRUE(store.writes.isEmpty()) << "Cancel writes nothing";
}

// A path typed by hand is listed as soon as it is typed, and the device and
// its status show whole, however long the device's name.
TEST_F(PortSettingsTest, TypedPathIsListedAtOnceAndItsStatusShows)
{
    PortSettingsDialog dialog(store, ports);
    dialog.show();
    const QString typed = "/dev/serial/by-id/usb-Glow_Arranger_Desk_Serial_Adapter_0123456789-if00";
    dialog.com1()->lineEdit()->setText(typed);
    emit dialog.com1()->lineEdit()->editingFinished(); // Tab or Return
    ASSERT_EQ(column(dialog.portTable(), 0).last(), typed);
    EXPECT_EQ(column(dialog.portTable(), 1).last(), QString("does not exist"));
    EXPECT_EQ(dialog.com1()->currentText(), typed);
    QTreeWidget *table = dialog.portTable();
    table->doItemsLayout();
    EXPECT_LE(table->header()->sectionViewportPosition(1) + table->header()->sectionSize(1),
              table->viewport()->width())
        << "the status column is cut";
}

TEST_F(PortSettingsTest, OkWritesAtOnceAndUnloadKeepsIt)
{
    TestWindow::Fakes fakes{};
    ManualClock clock;
    auto window = std::make_unique<TestWindow>(store, clock, fakes);
    const QList<QAction *> file = window->menuBar()->actions()[0]->menu()->actions();
    EXPECT_EQ(file[file.indexOf(window->mnuExit) - 1], window->mnuPortSettings);

    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<PortSettingsDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->com2()->setEditText("  /dev/ttyUSB3 ");
        dialog->accept();
    });
    window->mnuPortSettings->trigger();
    EXPECT_EQ(store.read("Ports", "COM2", ""), QString("/dev/ttyUSB3")) << "written at once";

    // Written again behind the window's back (another run, an edit): unload
    // must not put an older value back.
    store.values["Ports/COM2"] = "/dev/ttyUSB4";
    window->close();
    EXPECT_EQ(store.read("Ports", "COM2", ""), QString("/dev/ttyUSB4"));
    EXPECT_EQ(store.read("Ports", "COM1", ""), QString("/dev/ttyS0")) << "missing: written out";
}

TEST_F(PortSettingsTest, NotAvailableDuringATransfer)
{
    TestWindow::Fakes fakes{};
    ManualClock clock;
    TestWindow window(store, clock, fakes);
    QTemporaryDir dir;
    fakes.dialog->choose = dir.filePath("backup.txt");
    window.cmdReceive->click();
    EXPECT_FALSE(window.mnuPortSettings->isEnabled());
    window.cmdCancel->click();
    EXPECT_TRUE(window.mnuPortSettings->isEnabled());
}

TEST(SystemPortList, StableNamesAndStatusWords)
{
    TestLine line(true); // a line as socat makes one: nobody holds the device
    ASSERT_TRUE(line.ok());
    QTemporaryDir byId;
    const QString link = byId.filePath("usb-Maker_Cable_123-if00-port0");
    ASSERT_TRUE(QFile::link(line.path(), link));
    EXPECT_EQ(SystemPortList::stableNameFor(line.path(), byId.path()), link);
    EXPECT_EQ(SystemPortList::stableNameFor(byId.filePath("other"), byId.path()), QString());

    // A device another program has open is named.
    QProcess holder;
    holder.start("sh", {"-c", QString("exec sleep 30 3<'%1'").arg(line.path())});
    ASSERT_TRUE(holder.waitForStarted(5000));
    ASSERT_TRUE(waitForProgramName(holder, "sleep"));
    EXPECT_EQ(SystemPortList::statusOf(line.path()),
              QString("in use by sleep (process %1)").arg(holder.processId()));
    holder.kill();
    holder.waitForFinished(2000);
    EXPECT_EQ(SystemPortList::statusOf(line.path()), QString("free"));

    // A link the system does not list is described by what it leads to.
    const PortInfo linked = SystemPortList().describe(link);
    EXPECT_EQ(linked.device, link);
    EXPECT_EQ(linked.description, "link to " + QFileInfo(line.path()).canonicalFilePath());
    EXPECT_EQ(linked.status, QString("free"));
    EXPECT_EQ(SystemPortList::statusOf(byId.path()), QString("not a serial port (a folder)"));
    EXPECT_EQ(SystemPortList::statusOf(byId.filePath("gone")), QString("does not exist"));
    if (::geteuid() != 0) {
        QFile(line.path()).setPermissions(QFileDevice::ReadOwner);
        EXPECT_TRUE(SystemPortList::statusOf(line.path()).startsWith("permission denied: "));
    }
}

} // namespace
