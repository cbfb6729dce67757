#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

// A pseudo-terminal pair for byte-flow tests: the program opens path(), the
// test plays the far end through the controller side.
class Pty
{
  public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool ok() const { return m_controller >= 0; }
    QString path() const { return m_path; }

    // Writes all of data at the controller's end.
    bool write(const QByteArray &data);
    // Reads what the program sent, until count bytes have come or the wait
    // ends without a byte for quiet.
    QByteArray read(qsizetype count, std::chrono::milliseconds quiet);
    // Hangs up the controller's end.
    void closeController();

  private:
    int m_controller = -1;
    int m_device = -1; // held open so the line stays up between the program's openings
    QString m_path;
};
