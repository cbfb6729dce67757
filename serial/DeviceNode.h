#pragma once

#include <QString>

// What a configured device path stands for, looked at before anyone is asked
// whether they hold it: a terminal that a port can be opened on, or something
// that can never be a serial line (a file, a pipe, /dev/null).
namespace DeviceNode {

struct Check
{
    enum class Kind
    {
        Terminal,    // a terminal device that opens
        Missing,     // nothing at that path
        NotTerminal, // what says what it is instead
        Refused      // opening it failed with error
    };
    Kind kind = Kind::Missing;
    int error = 0;
    QString what; // "a regular file", "a pipe", ... for NotTerminal
};

// Looks at path (following links) and, for a character device, opens it for
// a moment without waiting for the line and without making it the
// controlling terminal.
Check inspect(const QString &path);

// True for the errors with which a device answers that nothing is behind it
// (a /dev/ttyS* without a UART).
bool meansNoHardware(int error);

} // namespace DeviceNode
