#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

// Keeps the computer awake while a transfer runs: a systemd-logind
// inhibitor lock for sleep and idle, held from the start of a transfer to
// its end. The lock is the descriptor logind hands out; closing it releases
// the lock. Without the bus or logind nothing happens and nothing waits: the
// call is made asynchronously.
class SleepInhibitor : public QObject
{
    Q_OBJECT
  public:
    explicit SleepInhibitor(QDBusConnection bus, QObject *parent = nullptr);
    ~SleepInhibitor() override;

    void hold(const QString &why);
    void release();
    // True once logind has handed out the lock, until it is released.
    bool held() const { return m_lock.isValid(); }

  private:
    QDBusConnection m_bus;
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
    explicit DesktopNotifier(QDBusConnection bus, QObject *parent = nullptr);
    void notify(const QString &summary, const QString &body);

  private:
    QDBusConnection m_bus;
};
