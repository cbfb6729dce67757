#include "PortList.h"

#include "PortUsers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSerialPortInfo>
#include <QTimer>

#include <unistd.h>

namespace {
const QString kById = QStringLiteral("/dev/serial/by-id");
}

SystemPortList::SystemPortList(QObject *parent) : PortList(parent) {}

QString SystemPortList::stableNameFor(const QString &device, const QString &byIdDir)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QFileInfoList links =
        QDir(byIdDir).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &link : links) {
        if (link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    }
    return {};
}

QString SystemPortList::statusOf(const QString &device)
{
    if (const auto user = PortUsers::holder(device))
        return QObject::tr("in use by %1").arg(user->describe());
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0)
        return QObject::tr("permission denied: join the \"dialout\" group");
    // The serial core tells the UART it found; 0 means none answered.
    QFile type(QStringLiteral("/sys/class/tty/%1/type")
                   .arg(QFileInfo(QFileInfo(device).canonicalFilePath()).fileName()));
    if (type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0")
        return QObject::tr("no serial port behind this device");
    return QObject::tr("free");
}

QList<PortInfo> SystemPortList::ports() const
{
    QList<PortInfo> list;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PortInfo port;
        port.device = info.systemLocation();
        port.stablePath = stableNameFor(port.device, kById);
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        port.status = statusOf(port.device);
        list.append(port);
    }
    return list;
}

void SystemPortList::setWatching(bool on)
{
    if (!on) {
        delete m_watcher;
        m_watcher = nullptr;
        return;
    }
    if (m_watcher)
        return;
    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(QStringLiteral("/dev"));
    if (QFileInfo::exists(kById))
        m_watcher->addPath(kById);
    // A device node, its by-id link and its permissions settle over a few
    // hundred milliseconds after plugging: look once things have settled.
    auto *settle = new QTimer(m_watcher);
    settle->setSingleShot(true);
    settle->setInterval(300);
    connect(settle, &QTimer::timeout, this, [this] {
        if (m_watcher && QFileInfo::exists(kById) && !m_watcher->directories().contains(kById))
            m_watcher->addPath(kById);
        emit changed();
    });
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, settle, qOverload<>(&QTimer::start));
}
