#pragma once

#include <QByteArray>
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
// this process may look at. A process that holds the master of the same
// pseudo-terminal is the far end of the line (socat, a desk simulator), not
// a competitor, and is passed over even when it has the device open too.
std::optional<User> openedBy(const QString &device);

// Whoever of the two above holds the device, the lock file first.
std::optional<User> holder(const QString &device);

// The pid a lock file's content names, 0 when it names none.
qint64 lockFilePid(const QByteArray &content);

// The lock file names that may stand for a device: its own name, the name it
// resolves to, and the name with the folders below /dev joined by '_'.
QStringList lockFileNames(const QString &device);

} // namespace PortUsers
