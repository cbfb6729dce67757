#include "QSettingsStore.h"

#include <QStringList>

QSettingsStore::QSettingsStore()
    : m_settings(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication))
{
}

QSettingsStore::QSettingsStore(const QString &iniPath) : m_settings(iniPath, QSettings::IniFormat)
{
}

QString QSettingsStore::read(const QString &section, const QString &key,
                             const QString &defaultValue) const
{
    const QVariant value = m_settings.value(section + QLatin1Char('/') + key);
    if (!value.isValid())
        return defaultValue;
    // A text edited by hand to hold a comma comes back as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void QSettingsStore::write(const QString &section, const QString &key, const QString &value)
{
    m_settings.setValue(section + QLatin1Char('/') + key, value);
    m_settings.sync();
}

QString QSettingsStore::unwritablePlace() const
{
    // Asks by creating the folders and a scratch file beside the settings,
    // which holds for read-only mounts and for the superuser too.
    if (m_settings.isWritable() && m_settings.status() != QSettings::AccessError)
        return {};
    return m_settings.fileName();
}
