#include "BusLink.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace {

struct SocketAddress
{
    QString name;
    bool abstract = false;
};

// The first address of a D-Bus address list that is a Unix socket: its
// path or abstract name, with D-Bus's %-escapes undone.
std::optional<SocketAddress> unixSocketIn(const QString &addresses)
{
    for (const QString &address : addresses.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!address.startsWith(QLatin1String("unix:")))
            continue;
        for (const QString &pair : address.mid(5).split(QLatin1Char(','))) {
            const QString key = pair.section(QLatin1Char('='), 0, 0);
            const QString value = QString::fromUtf8(
                QByteArray::fromPercentEncoding(pair.section(QLatin1Char('='), 1).toUtf8()));
            if (key == QLatin1String("path"))
                return SocketAddress{value, false};
            if (key == QLatin1String("abstract"))
                return SocketAddress{value, true};
            if (key == QLatin1String("runtime") && value == QLatin1String("yes")) {
                const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
                if (!runtime.isEmpty())
                    return SocketAddress{QDir(runtime).filePath(QStringLiteral("bus")), false};
            }
        }
    }
    return std::nullopt;
}

} // namespace

BusLink::BusLink(Connect connectToBus, QObject *parent)
    : QObject(parent), m_connect(std::move(connectToBus)), m_trusted(true)
{
}

BusLink::BusLink(const QString &address, Connect connectToBus, QObject *parent)
    : QObject(parent), m_connect(std::move(connectToBus))
{
    if (const auto socket = unixSocketIn(address)) {
        m_socketName = socket->name;
        m_abstract = socket->abstract;
    }
    m_limit.setSingleShot(true);
    m_limit.setInterval(kGreetingLimit);
    connect(&m_limit, &QTimer::timeout, this, &BusLink::probeFailed);
}

QString BusLink::systemAddress()
{
    const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    return address.isEmpty() ? QStringLiteral("unix:path=/var/run/dbus/system_bus_socket")
                             : address;
}

QString BusLink::sessionAddress()
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address;
    // Where a systemd user session keeps its bus when nobody has said.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString bus = QDir(runtime).filePath(QStringLiteral("bus"));
    return !runtime.isEmpty() && QFileInfo::exists(bus) ? QStringLiteral("unix:path=") + bus
                                                        : QString();
}

void BusLink::neverLaunchASessionBus()
{
    if (sessionAddress().isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

bool BusLink::answersWithin(const QString &address, std::chrono::milliseconds limit)
{
#ifdef Q_OS_UNIX
    const auto socket = unixSocketIn(address);
    if (!socket)
        return true;
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(socket->name);
    const qsizetype offset = socket->abstract ? 1 : 0; // an abstract name starts with a NUL
    if (name.size() + offset >= qsizetype(sizeof where.sun_path))
        return true;
    std::memcpy(where.sun_path + offset, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return true;
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(offset + name.size()));
    QElapsedTimer elapsed;
    elapsed.start();
    const auto left = [&] { return int(std::max<qint64>(0, limit.count() - elapsed.elapsed())); };
    bool answered = true;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&where), length) == 0 ||
        errno == EINPROGRESS || errno == EAGAIN) {
        // Connected (or on its way): the same first words as the probe.
        const QByteArray hello = QByteArray(1, '\0') + "AUTH EXTERNAL " +
                                 QByteArray::number(::getuid()).toHex() + "\r\n";
        pollfd writable{fd, POLLOUT, 0};
        answered = false;
        if (::poll(&writable, 1, left()) == 1 && !(writable.revents & (POLLERR | POLLHUP)) &&
            ::send(fd, hello.constData(), size_t(hello.size()), MSG_NOSIGNAL) == hello.size()) {
            pollfd readable{fd, POLLIN, 0};
            while (!answered && ::poll(&readable, 1, left()) == 1) {
                char byte = 0;
                const ssize_t n = ::recv(fd, &byte, 1, 0);
                // Any line, or the daemon hanging up: it is there and speaks.
                answered = n <= 0 || byte == '\n';
                if (n < 0 && (errno == EAGAIN || errno == EINTR))
                    answered = false;
            }
        } else if (writable.revents & (POLLERR | POLLHUP)) {
            answered = true; // refused: nobody will wait on it
        }
    }
    ::close(fd);
    return answered;
#else
    Q_UNUSED(address);
    Q_UNUSED(limit);
    return true;
#endif
}

void BusLink::leaveASilentSessionBusAlone()
{
    const QString address = sessionAddress();
    if (address.isEmpty() || answersWithin(address, kGreetingLimit))
        return;
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    std::fprintf(stderr,
                 "zo-vovere: the session bus does not answer (%s): no screen reader or desktop "
                 "notifications this time\n",
                 qPrintable(address));
}

void BusLink::whenConnected(Use use)
{
    if (m_bus && m_bus->isConnected()) {
        use(*m_bus);
        return;
    }
    if (m_trusted) {
        connectNow();
        if (m_bus && m_bus->isConnected())
            use(*m_bus);
        return;
    }
    if (m_socketName.isEmpty())
        return; // no address this link knows how to ask
    m_waiting.push_back(std::move(use));
    if (!m_probe)
        startProbe();
}

void BusLink::startProbe()
{
    ++m_probes;
    m_probe = new QLocalSocket(this);
    if (m_abstract)
        m_probe->setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    connect(m_probe, &QLocalSocket::connected, this, [this] {
        // A client's first words: a NUL byte, then the request to log in
        // as the user this process runs as. Any answer line will do.
        QByteArray uid = "0";
#ifdef Q_OS_UNIX
        uid = QByteArray::number(::getuid());
#endif
        m_probe->write(QByteArray(1, '\0') + "AUTH EXTERNAL " + uid.toHex() + "\r\n");
    });
    connect(m_probe, &QLocalSocket::readyRead, this, [this] {
        if (m_probe->canReadLine())
            probeAnswered();
    });
    connect(m_probe, &QLocalSocket::errorOccurred, this, &BusLink::probeFailed);
    m_limit.start();
    m_probe->connectToServer(m_socketName);
}

void BusLink::probeAnswered()
{
    m_limit.stop();
    m_probe->abort();
    m_probe->deleteLater();
    m_probe = nullptr;
    connectNow();
    std::vector<Use> waiting = std::exchange(m_waiting, {});
    if (!m_bus || !m_bus->isConnected())
        return;
    for (Use &use : waiting)
        use(*m_bus);
}

void BusLink::probeFailed()
{
    // No daemon, or one that does not answer: what waited is dropped; the
    // next use asks again.
    m_limit.stop();
    if (m_probe) {
        disconnect(m_probe, nullptr, this, nullptr);
        m_probe->abort();
        m_probe->deleteLater();
        m_probe = nullptr;
    }
    m_waiting.clear();
}

void BusLink::connectNow()
{
    // A trusted bus is connected once; an asked one again after each answer.
    if (!m_bus || (!m_trusted && !m_bus->isConnected()))
        m_bus = m_connect();
}
