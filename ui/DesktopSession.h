#pragma once

#include "BusLink.h"
#include "TransferWindow.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

// Keeps the computer awake while a transfer runs: a systemd-logind
// inhibitor lock for sleep and idle, held from the start of a transfer to
// its end. The lock is the descriptor logind hands out; closing it releases
// the lock. Without the bus or logind nothing happens, and nothing ever
// waits: the bus is reached through a BusLink and the call is asynchronous.
class SleepInhibitor : public QObject
{
    Q_OBJECT
  public:
    // The system bus, as the program reaches it.
    SleepInhibitor();
    // The bus at address, asked before it is connected to.
    SleepInhibitor(const QString &address, BusLink::Connect connect, QObject *parent = nullptr);
    // A bus that needs no asking.
    explicit SleepInhibitor(BusLink::Connect connect, QObject *parent = nullptr);
    explicit SleepInhibitor(const QDBusConnection &bus, QObject *parent = nullptr)
        : SleepInhibitor(BusLink::Connect([bus] { return bus; }), parent)
    {
    }
    ~SleepInhibitor() override;

    void hold(const QString &why);
    void release();
    // True once logind has handed out the lock, until it is released.
    bool held() const { return m_lock.isValid(); }

    BusLink &bus() { return *m_bus; }

  private:
    BusLink *m_bus;
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
    // The session bus, as the program reaches it.
    DesktopNotifier();
    DesktopNotifier(const QString &address, BusLink::Connect connect, QObject *parent = nullptr);
    explicit DesktopNotifier(BusLink::Connect connect, QObject *parent = nullptr);
    explicit DesktopNotifier(const QDBusConnection &bus, QObject *parent = nullptr)
        : DesktopNotifier(BusLink::Connect([bus] { return bus; }), parent)
    {
    }
    void notify(const QString &summary, const QString &body);
    // How a transfer ended, for a user looking at another program's window:
    // nothing while one of this program's own windows has the keyboard.
    void tellEnding(TransferWindow::Ending ending, const QString &words);

    BusLink &bus() { return *m_bus; }

  private:
    BusLink *m_bus;
};
