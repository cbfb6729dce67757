#include "PortList.h"

#include "DeviceNode.h"
#include "NetworkLine.h"
#include "PortUsers.h"
#include "ServerProbe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSerialPortInfo>
#include <QTimer>

#include <algorithm>
#include <cstring>

#include <unistd.h>

namespace {
const QString kById = QStringLiteral("/dev/serial/by-id");
}

SystemPortList::SystemPortList(QObject *parent, bool waitForServers)
    : PortList(parent), m_waitForServers(waitForServers)
{
}

QString SystemPortList::serverStatus(const QString &address) const
{
    if (m_waitForServers)
        return ServerProbe::statusOf(address);
    auto found = m_probes.find(address);
    if (found == m_probes.end()) {
        auto *probe = new ServerProbe(address, const_cast<SystemPortList *>(this));
        found = m_probes.emplace(address, probe).first;
        connect(probe, &ServerProbe::finished, this, &PortList::changed, Qt::QueuedConnection);
    }
    return found->second->status();
}

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
    QString status = accessStatusOf(device);
    // The kernel writes its messages to a console: they would reach the desk
    // in the middle of a transfer.
    if (DeviceNode::isConsole(device))
        status = QObject::tr("%1; the system console: kernel messages go out on it").arg(status);
    return status;
}

QString SystemPortList::accessStatusOf(const QString &device)
{
    const DeviceNode::Check seen = DeviceNode::glance(device);
    switch (seen.kind) {
    case DeviceNode::Check::Kind::Missing:
        return QObject::tr("does not exist");
    case DeviceNode::Check::Kind::NotTerminal:
        return QObject::tr("not a serial port (%1)").arg(seen.what);
    case DeviceNode::Check::Kind::Refused:
        return QString::fromLocal8Bit(std::strerror(seen.error));
    case DeviceNode::Check::Kind::Terminal:
        break;
    }
    if (const auto user = PortUsers::holder(device))
        return QObject::tr("in use by %1").arg(user->describe());
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0) {
        const DeviceNode::Access access = DeviceNode::access(device);
        switch (access.remedy) {
        case DeviceNode::Access::Remedy::JoinGroup:
            return QObject::tr("permission denied: join the \"%1\" group").arg(access.group);
        case DeviceNode::Access::Remedy::LogInAgain:
            return QObject::tr("permission denied: log out and in again to use the \"%1\" group")
                .arg(access.group);
        case DeviceNode::Access::Remedy::AskOwner:
            return QObject::tr("permission denied: belongs to %1, group %2")
                .arg(access.owner, access.group);
        }
    }
    // The serial core tells the UART it found; 0 means none answered.
    QFile type(QStringLiteral("/sys/class/tty/%1/type")
                   .arg(QFileInfo(QFileInfo(device).canonicalFilePath()).fileName()));
    if (type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0")
        return QObject::tr("no serial port behind this device");
    return QObject::tr("free");
}

QList<PortInfo> PortList::portsAnd(const QStringList &paths) const
{
    QList<PortInfo> listed = ports();
    for (QString path : paths) {
        path = path.trimmed();
        const QString target =
            LineAddress::isNetwork(path) ? QString() : QFileInfo(path).canonicalFilePath();
        const bool known = std::any_of(listed.begin(), listed.end(), [&](const PortInfo &port) {
            return path == port.device || path == port.stablePath ||
                   (!target.isEmpty() && target == QFileInfo(port.device).canonicalFilePath());
        });
        if (!path.isEmpty() && !known)
            listed.append(describe(path));
    }
    return listed;
}

PortInfo SystemPortList::describe(const QString &path) const
{
    PortInfo port;
    port.device = path;
    if (LineAddress::isNetwork(path)) {
        port.description = QObject::tr("serial server on the network");
        port.status = serverStatus(path);
        return port;
    }
    const QString target = QFileInfo(path).canonicalFilePath();
    port.description = !target.isEmpty() && target != QFileInfo(path).absoluteFilePath()
                           ? QObject::tr("link to %1").arg(target)
                           : QObject::tr("not in the system's list");
    port.status = statusOf(path);
    return port;
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
    // A server looked at while the list was last shown is looked at afresh.
    for (auto &[address, probe] : m_probes)
        probe->deleteLater();
    m_probes.clear();
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
