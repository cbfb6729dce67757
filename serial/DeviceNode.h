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

// The same look without opening anything: a character device counts as a
// terminal. For lists, where opening would raise the modem lines of every
// port shown.
Check glance(const QString &path);

// What would let this user account open a device its permissions refuse.
struct Access
{
    enum class Remedy
    {
        JoinGroup,  // the group may use it and the account could join it
        LogInAgain, // the account joined the group after this session began
        AskOwner    // no group to join: whoever runs the computer must change it
    };
    Remedy remedy = Remedy::JoinGroup;
    QString group = QStringLiteral("dialout");
    QString owner;
};

// What is known about a device and the account, for access().
struct AccessFacts
{
    unsigned mode = 0; // the permission bits
    unsigned gid = 0;
    QString owner, group;
    bool inSessionGroups = false; // the group is among this process's groups
    bool inGroupDatabase = false; // the account is listed as a member
};
Access access(const AccessFacts &facts);
// The facts of the device at path and of the account running the program.
Access access(const QString &path);

// True when path is a console the kernel writes its messages to
// (consoles lists them as /proc/consoles does).
bool isConsole(const QString &path, const QString &consoles = QStringLiteral("/proc/consoles"));

// True when this account may open path for reading and writing, by its
// permissions.
bool mayOpen(const QString &path);

// True for the errors with which a device answers that nothing is behind it
// (a /dev/ttyS* without a UART).
bool meansNoHardware(int error);

} // namespace DeviceNode
