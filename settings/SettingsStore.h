#pragma once

#include <QString>

// The per-user settings store: texts under a section and a key.
class SettingsStore
{
  public:
    virtual ~SettingsStore() = default;
    // The stored text, or defaultValue when the key does not exist.
    virtual QString read(const QString &section, const QString &key,
                         const QString &defaultValue) const = 0;
    virtual void write(const QString &section, const QString &key, const QString &value) = 0;
    // Where the store lives when changes cannot be kept there (a read-only
    // folder, a file in the way); empty when they can.
    virtual QString unwritablePlace() const { return {}; }
};
