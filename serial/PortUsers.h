#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Who else has a serial device, the ways Linux serial programs agree on:
// a legacy lock file (LCK..name in /run/lock or /var/lock holding the pid of a
// live process, in ASCII or as a binary int), and, as far as /proc lets us
// see, another process with the device open.
namespace PortUsers {

struct User
{
    qint64 pid = 0;
    QString name; // the program's name, empty when it cannot be read

    // "picocom (process 4242)", or "process 4242" without a name.
    QString describe() const;
};

// The live process whose lock file names this device, if any. A lock file of
// a process that no longer runs (or of this process) is stale and ignored.
std::optional<User> lockHolder(const QString &device, const QStringList &lockDirs = {});

// Another process that has the device open, among those whose descriptors
// this process may look at.
std::optional<User> openedBy(const QString &device);

// Whoever of the two above holds the device, the lock file first.
std::optional<User> holder(const QString &device);

// The lock file names that may stand for a device: its own name, the name it
// resolves to, and the name with the folders below /dev joined by '_'.
QStringList lockFileNames(const QString &device);

// The operating system's error for opening the device read-write without
// waiting, 0 when it opens (and it is closed again at once).
int openErrno(const QString &device);

// True for the errors with which a device answers that nothing is behind it
// (a /dev/ttyS* without a UART).
bool meansNoHardware(int error);

} // namespace PortUsers
