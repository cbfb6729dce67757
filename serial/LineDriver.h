#pragma once

#include <QtGlobal>

#include <memory>

// What the terminal driver knows of an open line, asked of its descriptor:
// the bytes it holds each way, its error counters, the advisory lock other
// serial programs take, and a write and a read that bypass Qt's buffer. Each question
// is answered only where the platform has it; a test hands in its own
// answers.
class LineDriver
{
  public:
    // A count the driver was asked for.
    struct Count
    {
        enum class State
        {
            Known,   // value holds it
            Unknown, // the device keeps no such count (not a tty, another platform)
            Failed   // the question failed: the device may have gone
        };
        State state = State::Unknown;
        int value = 0;
    };
    // The line's error counters since the device was opened.
    struct Counters
    {
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
        bool operator==(const Counters &) const = default;
    };

    virtual ~LineDriver() = default;
    // Bytes received and not yet read (TIOCINQ).
    virtual Count inputQueue(int fd) const = 0;
    // Bytes written and not yet sent on the line (TIOCOUTQ).
    virtual Count outputQueue(int fd) const = 0;
    // The error counters, or false where the driver keeps none (TIOCGICOUNT).
    virtual bool counters(int fd, Counters &out) const = 0;
    // Takes the advisory lock (flock) without waiting; false only when
    // another program holds it.
    virtual bool lockExclusive(int fd) const = 0;
    // Writes what the driver takes now without waiting; the count taken, or
    // -1 where writing directly is not available or fails.
    virtual qint64 writeNow(int fd, const char *data, qint64 size) const = 0;
    // Reads what the driver holds now without waiting; the count read, 0 at
    // the end or when nothing waits, -1 where reading directly is not
    // available or fails.
    virtual qint64 readNow(int fd, char *data, qint64 size) const = 0;

    // The driver of this platform's terminals.
    static std::shared_ptr<const LineDriver> system();
};
