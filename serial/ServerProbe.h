#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;

// A look at the serial server a network address names, for the port lists:
// it connects, listens a moment for a server that turns clients away, and
// leaves. Nothing is written to the line.
class ServerProbe final : public QObject
{
    Q_OBJECT
  public:
    static constexpr std::chrono::milliseconds kListen{300};

    explicit ServerProbe(const QString &address, QObject *parent = nullptr);
    bool done() const { return m_done; }
    // "reachable", "refused", "no answer", "name not found", ...
    QString status() const { return m_status; }

    // The status once the look is over, waiting for it (the terminal's list).
    static QString statusOf(const QString &address);

  signals:
    void finished();

  private:
    void finish(const QString &status);

    QTcpSocket *m_socket = nullptr;
    QTimer m_limit{this};
    QByteArray m_words;
    QString m_status;
    bool m_done = false;
};
