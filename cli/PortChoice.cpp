#include "PortChoice.h"

#include "FileNames.h"
#include "NetworkLine.h"
#include "PortList.h"
#include "StartupSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>

#include <algorithm>

namespace {
// 1 or 2 when device is the one stored for COM1 or COM2, links resolved.
int storedNumber(const QString &device, const SettingsStore &store)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    for (int port : {1, 2}) {
        const QString stored = StartupSettings::devicePath(store, port);
        if (stored == device ||
            (!target.isEmpty() && QFileInfo(stored).canonicalFilePath() == target))
            return port;
    }
    return 0;
}
} // namespace

PortChoice PortChoice::from(const QString &argument, const SettingsStore &store,
                            const QString &devDir)
{
    using namespace StartupSettings;
    PortChoice choice;
    const bool com1Chosen =
        parseBoolean(store.read(kStartup, kBackup, booleanText(false))).value_or(false);
    choice.number = com1Chosen ? 1 : 2;
    for (int port : {1, 2}) {
        if (argument.compare(portKey(port), Qt::CaseInsensitive) == 0)
            choice.number = port;
    }
    if (argument.isEmpty() || argument.compare(portKey(choice.number), Qt::CaseInsensitive) == 0) {
        choice.device = devicePath(store, choice.number);
        return choice;
    }
    if (LineAddress::isNetwork(argument)) {
        QString problem;
        if (!LineAddress::parse(argument, &problem)) {
            choice.refusal = QObject::tr("\"%1\" names no serial server: %2")
                                 .arg(FileNames::printable(argument), problem);
            return choice;
        }
        choice.device = argument;
    } else if (argument.contains(QLatin1Char('/'))) {
        choice.device = argument;
    } else {
        for (const QString &dir : {devDir + QStringLiteral("/serial/by-id"), devDir}) {
            const QString path = QDir(dir).filePath(argument);
            if (choice.device.isEmpty() && QFileInfo::exists(path))
                choice.device = path;
        }
        if (choice.device.isEmpty()) {
            choice.refusal = QObject::tr("no serial port \"%1\": give COM1, COM2, a device path "
                                         "or a name that --list-ports shows")
                                 .arg(FileNames::printable(argument));
            return choice;
        }
    }
    const int stored = storedNumber(choice.device, store);
    if (stored)
        choice.number = stored;
    choice.stored = stored != 0;
    return choice;
}

QString portTable(const PortList &ports, const SettingsStore &store)
{
    QStringList stored;
    for (int port : {1, 2})
        stored << StartupSettings::devicePath(store, port);
    QList<QStringList> rows{{QObject::tr("PORT"), QObject::tr("DEVICE"), QObject::tr("STABLE NAME"),
                             QObject::tr("STATUS")}};
    for (const PortInfo &port : ports.portsAnd(stored)) {
        const int number = storedNumber(port.device, store);
        rows.append({number ? StartupSettings::portKey(number) : QStringLiteral("-"),
                     FileNames::printable(port.device),
                     port.stablePath.isEmpty() ? QStringLiteral("-")
                                               : FileNames::printable(port.stablePath),
                     port.status});
    }
    QList<qsizetype> widths(3, 0);
    for (const QStringList &row : rows) {
        for (int i = 0; i < 3; ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    QString table;
    for (const QStringList &row : rows) {
        for (int i = 0; i < 3; ++i)
            table += row[i].leftJustified(widths[i] + 2);
        table += row[3] + QLatin1Char('\n');
    }
    return table;
}
