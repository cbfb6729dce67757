#pragma once

#include "SettingsStore.h"

#include <optional>

// Names, defaults and text forms of the remembered settings.
namespace StartupSettings {
inline const QString kStartup = QStringLiteral("Startup");
inline const QString kBackup = QStringLiteral("Backup"); // "True": Com 1 chosen
inline const QString kNameSave = QStringLiteral("namesave");
inline const QString kFilterSave = QStringLiteral("filtersave");
inline const QString kRecNameSave = QStringLiteral("recnamesave");

inline const QString kPorts = QStringLiteral("Ports");

QString booleanText(bool value); // "True" / "False"

// "True"/"False" in any letter case, or a whole number (0 is False). Anything
// else is not a Boolean.
std::optional<bool> parseBoolean(const QString &text);
// A whole number in the signed 16-bit range, blanks around it allowed.
std::optional<qint16> parseInt16(const QString &text);

// The device path for COM1 or COM2: the [Ports] value, or the platform's
// default when it is missing or empty.
QString defaultDevice(int port);
QString devicePath(const SettingsStore &store, int port);
QString portKey(int port); // "COM1", "COM2"
} // namespace StartupSettings
