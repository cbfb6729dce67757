#include "DesktopSession.h"

#include <QGuiApplication>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {
const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
} // namespace

SleepInhibitor::SleepInhibitor()
    : SleepInhibitor(BusLink::systemAddress(), [] { return QDBusConnection::systemBus(); })
{
}

SleepInhibitor::SleepInhibitor(const QString &address, BusLink::Connect connect, QObject *parent)
    : QObject(parent), m_bus(new BusLink(address, std::move(connect), this))
{
}

SleepInhibitor::SleepInhibitor(BusLink::Connect connect, QObject *parent)
    : QObject(parent), m_bus(new BusLink(std::move(connect), this))
{
}

SleepInhibitor::~SleepInhibitor() = default;

void SleepInhibitor::hold(const QString &why)
{
    if (m_wanted)
        return;
    m_wanted = true;
    const quint64 request = ++m_request;
    m_bus->whenConnected([this, request, why](QDBusConnection &bus) {
        if (!m_wanted || request != m_request)
            return; // released before the bus was reached
        QDBusMessage call = QDBusMessage::createMethodCall(
            kLogind, QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
        call << QStringLiteral("sleep:idle") << QStringLiteral("ZO Vovere") << why
             << QStringLiteral("block");
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, request](QDBusPendingCallWatcher *w) {
                    w->deleteLater();
                    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
                    // An answer to a hold already released is dropped, and
                    // with it the lock.
                    if (reply.isValid() && m_wanted && request == m_request)
                        m_lock = reply.value();
                });
    });
}

void SleepInhibitor::release()
{
    m_wanted = false;
    ++m_request;
    m_lock = QDBusUnixFileDescriptor(); // closes our copy: logind lets go
}

DesktopNotifier::DesktopNotifier()
    : DesktopNotifier(BusLink::sessionAddress(), [] { return QDBusConnection::sessionBus(); })
{
}

DesktopNotifier::DesktopNotifier(const QString &address, BusLink::Connect connect, QObject *parent)
    : QObject(parent), m_bus(new BusLink(address, std::move(connect), this))
{
}

DesktopNotifier::DesktopNotifier(BusLink::Connect connect, QObject *parent)
    : QObject(parent), m_bus(new BusLink(std::move(connect), this))
{
}

void DesktopNotifier::notify(const QString &summary, const QString &body)
{
    m_bus->whenConnected([summary, body](QDBusConnection &bus) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kNotifications, QStringLiteral("/org/freedesktop/Notifications"), kNotifications,
            QStringLiteral("Notify"));
        call << QStringLiteral("ZO Vovere") << quint32(0) << QStringLiteral("zo-vovere") << summary
             << body << QStringList()
             << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("zo-vovere")}}
             << qint32(-1);
        bus.asyncCall(call); // nothing waits for the answer
    });
}

void DesktopNotifier::tellEnding(TransferWindow::Ending ending, const QString &words)
{
    // The keyboard is in one of this program's windows: the user is here.
    if (QGuiApplication::focusWindow())
        return;
    QString summary;
    switch (ending) {
    case TransferWindow::Ending::Sent:
        summary = tr("File sent");
        break;
    case TransferWindow::Ending::Saved:
        summary = tr("Backup saved");
        break;
    case TransferWindow::Ending::Failed:
    case TransferWindow::Ending::PortUnavailable:
    case TransferWindow::Ending::FileRefused:
        summary = tr("Transfer failed");
        break;
    case TransferWindow::Ending::Canceled:
        summary = tr("Transfer canceled");
        break;
    }
    notify(summary, words);
}
