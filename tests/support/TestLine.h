#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

class QProcess;

// Waits until process has become the program called name (a shell that
// execs it is still "sh" for a moment).
bool waitForProgramName(const QProcess &process, const QByteArray &name);

// The line for byte-flow tests: the program opens path(), the test plays the
// far end. By default a pseudo-terminal pair made here; with ZO_TEST_LINE set
// to "PROGRAM_DEVICE:FAR_DEVICE" two real serial devices cabled to each other
// (the real-driver rig sets it), the far end set to 19200 8N1 raw.
class TestLine
{
  public:
    // farEndOnly: this end holds only the controller's side of a pseudo-
    // terminal, as a desk simulator or socat does, and nothing keeps the
    // line up between the program's openings.
    explicit TestLine(bool farEndOnly = false);
    ~TestLine();
    TestLine(const TestLine &) = delete;
    TestLine &operator=(const TestLine &) = delete;

    bool ok() const { return m_controller >= 0; }
    QString path() const { return m_path; }
    // A pseudo-terminal (no driver output queue, no error counters, can be
    // hung up), or a real line.
    bool isPseudoTerminal() const { return m_pseudoTerminal; }

    // Writes all of data at the far end.
    bool write(const QByteArray &data);
    // Reads what the program sent, until count bytes have come or the wait
    // ends without a byte for quiet.
    QByteArray read(qsizetype count, std::chrono::milliseconds quiet);
    // Hangs up the far end (a pseudo-terminal only).
    void closeController();
    // The far end's descriptor (non-blocking), for a harness that reads and
    // writes it at full speed itself.
    int controllerFd() const { return m_controller; }

  private:
    int m_controller = -1;
    int m_device = -1; // held open so the line stays up between the program's openings
    bool m_pseudoTerminal = true;
    QString m_path;
};
