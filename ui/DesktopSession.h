#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// Connects to a bus when first needed, not before: a window that has not
// started a transfer has no use for logind or the notification service, and
// its start-up should not wait for them.
class LazyBus
{
  public:
    using Connect = std::function<QDBusConnection()>;
    explicit LazyBus(Connect connect) : m_connect(std::move(connect)) {}
    QDBusConnection &get()
    {
        if (!m_bus)
            m_bus = m_connect();
        return *m_bus;
    }

  private:
    Connect m_connect;
    std::optional<QDBusConnection> m_bus;
};

// Keeps the computer awake while a transfer runs: a systemd-logind
// inhibitor lock for sleep and idle, held from the start of a transfer to
// its end. The lock is the descriptor logind hands out; closing it releases
// the lock. Without the bus or logind nothing happens and nothing waits: the
// call is made asynchronously.
class SleepInhibitor : public QObject
{
    Q_OBJECT
  public:
    explicit SleepInhibitor(LazyBus::Connect connect, QObject *parent = nullptr);
    explicit SleepInhibitor(const QDBusConnection &bus, QObject *parent = nullptr)
        : SleepInhibitor([bus] { return bus; }, parent)
    {
    }
    ~SleepInhibitor() override;

    void hold(const QString &why);
    void release();
    // True once logind has handed out the lock, until it is released.
    bool held() const { return m_lock.isValid(); }

  private:
    LazyBus m_bus;
    QDBusUnixFileDescriptor m_lock;
    bool m_wanted = false;
    quint64 m_request = 0; // the hold an answer belongs to
};

// Desktop notifications (org.freedesktop.Notifications on the session bus),
// for the end of a transfer that the user is not watching.
class DesktopNotifier : public QObject
{
    Q_OBJECT
  public:
    explicit DesktopNotifier(LazyBus::Connect connect, QObject *parent = nullptr);
    explicit DesktopNotifier(const QDBusConnection &bus, QObject *parent = nullptr)
        : DesktopNotifier([bus] { return bus; }, parent)
    {
    }
    void notify(const QString &summary, const QString &body);

  private:
    LazyBus m_bus;
};
