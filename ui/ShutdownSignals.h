#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGHUP (a closed terminal, a logout) and SIGINT (Ctrl+C), turned
// into a Qt signal on the owner's thread: the handler only writes the
// signal's number to a socket pair, which the event loop reads. While an
// object lives, it owns these signals; its destruction gives them back to
// whoever had them before.
class ShutdownSignals : public QObject
{
    Q_OBJECT
  public:
    explicit ShutdownSignals(QObject *parent = nullptr);
    ~ShutdownSignals() override;

    // False when the socket pair or the handlers could not be set up.
    bool ok() const { return m_notifier != nullptr; }

  signals:
    void received(int signalNumber);

  private:
    QSocketNotifier *m_notifier = nullptr;
};
