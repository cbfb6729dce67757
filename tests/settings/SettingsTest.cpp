// Text forms of the remembered settings and the store on disk.
#include "QSettingsStore.h"
#include "StartupSettings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace StartupSettings;

TEST(StartupSettings, BooleanTexts)
{
    EXPECT_EQ(booleanText(true), QString("True"));
    EXPECT_EQ(booleanText(false), QString("False"));
    EXPECT_EQ(parseBoolean("True"), true);
    EXPECT_EQ(parseBoolean("False"), false);
    EXPECT_EQ(parseBoolean(" true "), true);
    EXPECT_EQ(parseBoolean("FALSE"), false);
    EXPECT_EQ(parseBoolean("-1"), true);
    EXPECT_EQ(parseBoolean("0"), false);
    for (const char *damaged : {"", "yes", "Tru", "1.5x", "True False"})
        EXPECT_FALSE(parseBoolean(QString::fromLatin1(damaged)).has_value()) << damaged;
}

TEST(StartupSettings, FilterIndexIsASigned16BitNumber)
{
    EXPECT_EQ(parseInt16("0"), qint16(0));
    EXPECT_EQ(parseInt16("3"), qint16(3));
    EXPECT_EQ(parseInt16("-32768"), qint16(-32768));
    EXPECT_EQ(parseInt16("32767"), qint16(32767));
    for (const char *damaged : {"32768", "-32769", "", "two", "2.5", "99999999999"})
        EXPECT_FALSE(parseInt16(QString::fromLatin1(damaged)).has_value()) << damaged;
}

TEST(StartupSettings, PortsMapToDevicesWithDefaults)
{
    QTemporaryDir dir;
    QSettingsStore store(dir.filePath("zo.conf"));
    EXPECT_EQ(devicePath(store, 1), QString("/dev/ttyS0"));
    EXPECT_EQ(devicePath(store, 2), QString("/dev/ttyS1"));
    store.write(kPorts, "COM1", "/dev/ttyUSB0");
    store.write(kPorts, "COM2", "  ");
    EXPECT_EQ(devicePath(store, 1), QString("/dev/ttyUSB0"));
    EXPECT_EQ(devicePath(store, 2), QString("/dev/ttyS1")) << "an empty value takes the default";
}

TEST(QSettingsStore, TextsReadBackAsWritten)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("zo.conf");
    const QStringList texts = {"True",
                               "0",
                               "",
                               "/home/tech/shows/a,b;c.gaf",
                               "/home/tech/Ünïcödé show.txt",
                               "C:\\shows\\x.txt",
                               "-32768"};
    {
        QSettingsStore store(file);
        for (int i = 0; i < texts.size(); ++i)
            store.write("Startup", QString("key%1").arg(i), texts[i]);
    }
    QSettingsStore again(file);
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_EQ(again.read("Startup", QString("key%1").arg(i), "missing"), texts[i]);
    EXPECT_EQ(again.read("Startup", "absent", "the default"), QString("the default"));
    EXPECT_EQ(again.read("Elsewhere", "key0", "d"), QString("d"));
    EXPECT_EQ(again.unwritablePlace(), QString());

    // A file where its folder should be: nothing can be kept, and it is said.
    const QString blocked = dir.filePath("zo.conf/ZO Vovere.conf");
    EXPECT_EQ(QSettingsStore(blocked).unwritablePlace(), blocked);
}

TEST(QSettingsStore, DefaultStoreLivesUnderTheConfigFolder)
{
    QSettingsStore store;
    EXPECT_TRUE(store.fileName().endsWith("/ZO Vovere/ZO Vovere.conf"))
        << store.fileName().toStdString();
}

} // namespace
