#include "WindowSettings.h"

#include "SettingsStore.h"
#include "StartupSettings.h"

#include <QDir>
#include <QObject>

namespace WindowSettings {

using namespace StartupSettings;

Loaded load(const SettingsStore &store)
{
    Loaded loaded;
    loaded.com1 = parseBoolean(store.read(kStartup, kBackup, booleanText(false))).value_or(false);
    loaded.remembered.NameSave = store.read(kStartup, kNameSave, QString());
    loaded.remembered.FilterSave =
        parseInt16(store.read(kStartup, kFilterSave, QStringLiteral("0"))).value_or(qint16(0));
    loaded.remembered.RecNameSave = store.read(kStartup, kRecNameSave, QString());
    return loaded;
}

QString unwritableMessage(const SettingsStore &store)
{
    const QString place = store.unwritablePlace();
    if (place.isEmpty())
        return {};
    return QObject::tr("Settings cannot be saved: %1 cannot be written. The ports, folders and "
                       "file names chosen now will be forgotten when the program closes.")
        .arg(QDir::toNativeSeparators(place));
}

void storePortChoice(SettingsStore &store, bool com1)
{
    store.write(kStartup, kBackup, booleanText(com1));
}

void storeAtUnload(SettingsStore &store, const RememberedValues &remembered)
{
    store.write(kStartup, kNameSave, remembered.NameSave);
    store.write(kStartup, kFilterSave, QString::number(remembered.FilterSave));
    store.write(kStartup, kRecNameSave, remembered.RecNameSave);
    for (int port : {1, 2}) {
        if (store.read(kPorts, portKey(port), QString()).trimmed().isEmpty())
            store.write(kPorts, portKey(port), defaultDevice(port));
    }
}

} // namespace WindowSettings
