#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

class QLocalSocket;

// A desktop bus, reached without ever making the window wait.
//
// The connection is made when first needed, not at start-up. Qt's connect
// blocks the calling thread until the bus daemon has greeted it, and for
// good when a daemon accepts and never answers (a hung or half-started bus):
// so before Qt is let near it, the bus is asked over a socket of our own,
// asynchronously and within kGreetingLimit, whether its daemon answers at
// all (the first step of the D-Bus handshake). A bus that does not is left
// alone; the next use asks again.
class BusLink : public QObject
{
    Q_OBJECT
  public:
    using Connect = std::function<QDBusConnection()>;
    using Use = std::function<void(QDBusConnection &)>;
    static constexpr std::chrono::milliseconds kGreetingLimit{2000};

    // A bus that needs no asking (a test's private bus, already connected):
    // connect is called at the first use.
    explicit BusLink(Connect connectToBus, QObject *parent = nullptr);
    // The bus at address, in the D-Bus form ("unix:path=...",
    // "unix:abstract=..."), asked first. A bus at an address of any other
    // kind is not used.
    BusLink(const QString &address, Connect connectToBus, QObject *parent = nullptr);

    // Where the system and the session bus are, as libdbus finds them.
    static QString systemAddress();
    static QString sessionAddress();
    // With no session bus to find, libdbus starts one of its own
    // (dbus-launch) at the first question anyone in the program asks it, Qt's
    // accessibility bridge included, and that bus outlives the program. Call
    // before the application object exists: the session bus is then said to
    // be unavailable instead.
    static void neverLaunchASessionBus();
    // Whether the daemon at address greets a client within limit; waits for
    // it (for the start, before there is an event loop). A bus that cannot
    // be reached at all is not waited for, and counts as answering: whoever
    // connects is told so at once.
    static bool answersWithin(const QString &address, std::chrono::milliseconds limit);
    // Qt's accessibility bridge connects to the session bus while the
    // window is being built, and waits for good on a daemon that accepts and
    // never answers. Call before the application object exists: such a bus
    // is then said to be unavailable, and standard error says so once.
    static void leaveASilentSessionBusAlone();

    // Runs use with the connected bus: at once when it is connected, once
    // its daemon has answered otherwise, never when it does not answer in
    // time or cannot be connected.
    void whenConnected(Use use);

    // How many times the bus's daemon has been asked (for tests).
    int probes() const { return m_probes; }

  private:
    void startProbe();
    void probeAnswered();
    void probeFailed();
    void connectNow();

    Connect m_connect;
    bool m_trusted = false;
    QString m_socketName; // the probe's target, empty: not usable
    bool m_abstract = false;
    std::optional<QDBusConnection> m_bus;
    QLocalSocket *m_probe = nullptr;
    QTimer m_limit;
    std::vector<Use> m_waiting;
    int m_probes = 0;
};
