#pragma once

#include <QByteArray>
#include <QString>

// The controller's end of the line: a serial device set to 19200 8N1 raw, or
// a pseudo-terminal whose other end the program opens.
class SimLine
{
  public:
    SimLine() = default;
    ~SimLine();
    SimLine(const SimLine &) = delete;
    SimLine &operator=(const SimLine &) = delete;

    bool openDevice(const QString &path, QString *error);
    bool openPseudoTerminal(QString *error);
    QString devicePath() const { return m_path; }

    // Reads until quietMs pass without a byte after data has come, or
    // timeoutMs pass with nothing at all (a failure). bytesPerSecond > 0
    // reads no faster than that, as a desk on the line does; 0 reads as fast
    // as the bytes come.
    bool receive(QByteArray &data, qint64 quietMs, qint64 timeoutMs, qint64 bytesPerSecond,
                 QString *error);
    // Writes data; bytesPerSecond 0 sends as fast as the line takes it.
    // burst > 0 hands the bytes over that many at a time, as a UART's FIFO
    // or a USB adapter does.
    bool send(const QByteArray &data, qint64 bytesPerSecond, QString *error, qint64 burst = 0);
    // Waits until what was written has left (on a pseudo-terminal: until the
    // program has taken it).
    void drain();
    // Stays on the line until the program has let go of it (on a
    // pseudo-terminal: closed its end); returns at once on a serial device.
    void waitForRelease();

    static void sleepMs(qint64 ms);

  private:
    int m_fd = -1;
    bool m_pseudoTerminal = false;
    QString m_path;
};
