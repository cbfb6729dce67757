#pragma once

#include "SettingsStore.h"

#include <QMap>

class MemorySettingsStore final : public SettingsStore
{
  public:
    QString read(const QString &section, const QString &key,
                 const QString &defaultValue) const override
    {
        return values.value(section + QLatin1Char('/') + key, defaultValue);
    }
    void write(const QString &section, const QString &key, const QString &value) override
    {
        values.insert(section + QLatin1Char('/') + key, value);
        writes.append(section + QLatin1Char('/') + key + QLatin1Char('=') + value);
    }
    QString unwritablePlace() const override { return unwritable; }
    bool has(const QString &section, const QString &key) const
    {
        return values.contains(section + QLatin1Char('/') + key);
    }

    QMap<QString, QString> values;
    QStringList writes;
    QString unwritable;
};
