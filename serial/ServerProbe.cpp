#include "ServerProbe.h"

#include "NetworkLine.h"

#include <QEventLoop>
#include <QTcpSocket>

ServerProbe::ServerProbe(const QString &address, QObject *parent) : QObject(parent)
{
    QString problem;
    const std::optional<LineAddress> line = LineAddress::parse(address, &problem);
    if (!line) {
        m_status = problem;
        m_done = true;
        return;
    }
    m_socket = new QTcpSocket(this);
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        finish(m_socket->state() == QAbstractSocket::ConnectedState
                   ? tr("reachable")
                   : tr("no answer within %1 seconds")
                         .arg(NetworkLine::kConnectLimit.count() / 1000));
    });
    connect(m_socket, &QTcpSocket::connected, this, [this] { m_limit.start(kListen); });
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { m_words += m_socket->readAll(); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this, line] {
        switch (m_socket->error()) {
        case QAbstractSocket::HostNotFoundError:
            finish(tr("name not found"));
            return;
        case QAbstractSocket::ConnectionRefusedError:
            finish(tr("refused: no serial server listens on port %1").arg(line->port));
            return;
        case QAbstractSocket::RemoteHostClosedError: {
            // What it said, without the Telnet greeting before it.
            std::vector<TelnetCodec::Command> greeting;
            const QString said =
                QString::fromUtf8(TelnetCodec().feed(m_words, greeting)).section(u'\n', 0, 0).trimmed();
            finish(said.isEmpty() ? tr("reachable, but it closed the connection at once")
                                  : tr("reachable, but it turns clients away: \"%1\"").arg(said));
            return;
        }
        default:
            finish(m_socket->errorString());
            return;
        }
    });
    m_limit.start(NetworkLine::kConnectLimit);
    m_status = tr("looking...");
    m_socket->connectToHost(line->host, line->port);
}

void ServerProbe::finish(const QString &status)
{
    if (m_done)
        return;
    m_done = true;
    m_limit.stop();
    m_status = status;
    m_socket->disconnect(this);
    m_socket->abort();
    emit finished();
}

QString ServerProbe::statusOf(const QString &address)
{
    ServerProbe probe(address);
    if (!probe.done()) {
        QEventLoop wait;
        connect(&probe, &ServerProbe::finished, &wait, &QEventLoop::quit);
        wait.exec();
    }
    return probe.status();
}
