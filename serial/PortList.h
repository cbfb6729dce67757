#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <map>

class QFileSystemWatcher;
class ServerProbe;

// One serial port the computer has.
struct PortInfo
{
    QString device;     // /dev/ttyUSB0
    QString stablePath; // /dev/serial/by-id/..., empty when there is none
    QString description, manufacturer, serialNumber;
    QString status; // whether it can be opened now, in words

    // The name to store for it: the stable one survives plugging the
    // adapter into another socket.
    QString preferredPath() const { return stablePath.isEmpty() ? device : stablePath; }
};

// The serial ports of the computer, for the port settings dialog. While
// watched it reports plugging and unplugging through changed(); unwatched it
// does nothing at all.
class PortList : public QObject
{
    Q_OBJECT
  public:
    using QObject::QObject;
    virtual QList<PortInfo> ports() const = 0;
    // A path the system does not list (a link made by socat, a device typed
    // in), described and looked at the same way.
    virtual PortInfo describe(const QString &path) const = 0;
    virtual void setWatching(bool on) = 0;

    // The system's ports, and after them each of paths (stored or typed
    // devices) that names none of them, described.
    QList<PortInfo> portsAnd(const QStringList &paths) const;

  signals:
    void changed();
};

// The real list: QSerialPortInfo, the names under /dev/serial/by-id, and a
// look at each port that opens nothing (a lock file or descriptor of another
// program, the device's permissions, the UART type the kernel found).
// Plugging is followed through the file system's notifications on /dev, not
// by polling.
class SystemPortList final : public PortList
{
    Q_OBJECT
  public:
    // A network line's server is looked at in the background and told
    // through changed() when known, unless waitForServers (the terminal).
    explicit SystemPortList(QObject *parent = nullptr, bool waitForServers = false);
    QList<PortInfo> ports() const override;
    PortInfo describe(const QString &path) const override;
    void setWatching(bool on) override;

    // The link under byIdDir that resolves to device, or empty.
    static QString stableNameFor(const QString &device, const QString &byIdDir);
    // "free", "in use by picocom (process 4242)", ... for device.
    static QString statusOf(const QString &device);

  private:
    static QString accessStatusOf(const QString &device);
    QString serverStatus(const QString &address) const;
    QFileSystemWatcher *m_watcher = nullptr;
    bool m_waitForServers = false;
    mutable std::map<QString, ServerProbe *> m_probes; // children, one per address looked at
};
