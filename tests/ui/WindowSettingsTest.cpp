// Loading and storing the remembered settings through the window.
#include "AnyPort.h"
#include "TestWindow.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class WindowSettingsTest : public ::testing::Test, public WindowHarness
{
  protected:
    std::unique_ptr<TestWindow> open() { return std::make_unique<TestWindow>(store, clock, fakes); }
};

TEST_F(WindowSettingsTest, CleanStoreSelectsCom2AndWritesTheRestOnlyAtUnload)
{
    auto window = open();
    EXPECT_TRUE(window->Option2->isChecked());
    EXPECT_FALSE(window->Option1->isChecked());
    EXPECT_EQ(store.writes, QStringList{"Startup/Backup=False"});
    QCoreApplication::processEvents();
    EXPECT_EQ(window->messages, QStringList{});

    window->close();
    EXPECT_EQ(store.read("Startup", "namesave", "missing"), QString());
    EXPECT_EQ(store.read("Startup", "filtersave", "missing"), QString("0"));
    EXPECT_EQ(store.read("Startup", "recnamesave", "missing"), QString());
    // The port mapping is written out for the user to find.
    EXPECT_EQ(store.read("Ports", "COM1", "missing"), QString("/dev/ttyS0"));
    EXPECT_EQ(store.read("Ports", "COM2", "missing"), QString("/dev/ttyS1"));
}

TEST_F(WindowSettingsTest, SettingsThatCannotBeKeptAreSaidOnceAtStart)
{
    store.unwritable = "/home/tech/.config/ZO Vovere/ZO Vovere.conf";
    auto window = open();
    QCoreApplication::processEvents();
    window->Option1->click();
    ASSERT_EQ(window->messages.size(), 1);
    EXPECT_TRUE(window->messages[0].startsWith("Settings cannot be saved: /home/tech/.config/ZO "
                                               "Vovere/ZO Vovere.conf cannot be written."));
}

TEST_F(WindowSettingsTest, ChoosingAPortIsStoredAtOnce)
{
    auto window = open();
    store.writes.clear();
    window->Option1->click();
    EXPECT_EQ(store.writes, QStringList{"Startup/Backup=True"});
    window->Option2->click();
    EXPECT_EQ(store.writes, (QStringList{"Startup/Backup=True", "Startup/Backup=False"}));
}

TEST_F(WindowSettingsTest, StoredChoicesComeBackAtTheNextStart)
{
    store.values = {{"Startup/Backup", "True"},
                    {"Startup/namesave", "/shows/a.gaf"},
                    {"Startup/filtersave", "2"},
                    {"Startup/recnamesave", "/shows/backup.txt"}};
    auto window = open();
    EXPECT_TRUE(window->Option1->isChecked());
    EXPECT_EQ(store.read("Startup", "Backup", ""), QString("True"));
    EXPECT_EQ(window->engine().remembered().NameSave, QString("/shows/a.gaf"));
    EXPECT_EQ(window->engine().remembered().FilterSave, 2);
    EXPECT_EQ(window->engine().remembered().RecNameSave, QString("/shows/backup.txt"));

    fakes.dialog->choose.clear();
    window->cmdSend->click();
    EXPECT_EQ(fakes.dialog->fileNameShown, QString("/shows/a.gaf"));
    EXPECT_EQ(fakes.dialog->filterIndexShown, 2);
}

TEST_F(WindowSettingsTest, DamagedValuesStartCleanly)
{
    store.values = {{"Startup/Backup", "perhaps"}, {"Startup/filtersave", "70000"}};
    auto window = open();
    EXPECT_TRUE(window->Option2->isChecked());
    EXPECT_EQ(window->engine().remembered().FilterSave, 0);
    EXPECT_EQ(store.read("Startup", "Backup", ""), QString("False"));

    store.values = {{"Startup/filtersave", "many"}};
    auto again = open();
    EXPECT_EQ(again->engine().remembered().FilterSave, 0);
}

TEST_F(WindowSettingsTest, ChoicesOfThisRunReachTheStoreAtUnload)
{
    auto window = open();
    fakes.dialog->choose = TestFiles::write(dir.filePath("profile.gaf"));
    fakes.dialog->chooseFilter = 2;
    window->cmdSend->click();
    window->cmdCancel->click();

    fakes.dialog->choose = dir.filePath("backup.txt");
    window->cmdReceive->click();
    window->cmdCancel->click(); // cancelled while waiting for the header

    EXPECT_FALSE(store.has("Startup", "namesave")) << "written only at unload";
    window->close();
    EXPECT_EQ(store.read("Startup", "namesave", ""), dir.filePath("profile.gaf"));
    EXPECT_EQ(store.read("Startup", "filtersave", ""), QString("2"));
    EXPECT_EQ(store.read("Startup", "recnamesave", ""), dir.filePath("backup.txt"));
}

TEST_F(WindowSettingsTest, PortsSectionNamesTheDeviceThePortOpens)
{
    store.values = {{"Ports/COM1", "/dev/ttyUSB0"}, {"Ports/COM2", ""}};
    frmGAbackup window(store); // with the real serial port
    auto &port = dynamic_cast<AnyPort &>(window.Comm1());
    port.setCommPort(1);
    EXPECT_EQ(port.address(), QString("/dev/ttyUSB0"));
    port.setCommPort(2);
    EXPECT_EQ(port.address(), QString("/dev/ttyS1"));
    window.close();
    EXPECT_EQ(store.read("Ports", "COM2", ""), QString("/dev/ttyS1"));
    EXPECT_EQ(store.read("Ports", "COM1", ""), QString("/dev/ttyUSB0"));
}

} // namespace
