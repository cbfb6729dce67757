#include "StartupSettings.h"

namespace StartupSettings {

QString booleanText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<bool> parseBoolean(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const qlonglong number = trimmed.toLongLong(&ok);
    if (ok)
        return number != 0;
    return std::nullopt;
}

std::optional<qint16> parseInt16(const QString &text)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    if (!ok || number < -32768 || number > 32767)
        return std::nullopt;
    return qint16(number);
}

QString portKey(int port)
{
    return QStringLiteral("COM%1").arg(port);
}

QString defaultDevice(int port)
{
#ifdef Q_OS_WIN
    return portKey(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QString devicePath(const SettingsStore &store, int port)
{
    const QString path = store.read(kPorts, portKey(port), QString()).trimmed();
    return path.isEmpty() ? defaultDevice(port) : path;
}

} // namespace StartupSettings
