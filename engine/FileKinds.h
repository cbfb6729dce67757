#pragma once

#include <QFile>
#include <QString>

// Files that are not regular files (pipes, devices, sockets, folders) are
// never opened or replaced blindly: opening a pipe blocks until a writer
// comes, opening a device may act on it, and a file put in its place would
// hide what was there.
namespace FileKinds {

// Empty when path is a regular file (or a link to one) or does not exist;
// otherwise what it is, for a message: "a named pipe (FIFO)", "a device",
// "a socket", "a folder".
QString nonRegularKind(const QString &path);

// Opens path for reading, unbuffered, only if it is a regular file. The check
// is made on the opened descriptor, so nothing swapped in between can block
// the caller. On failure file stays closed and reason says why.
bool openRegularForReading(QFile &file, const QString &path, QString *reason);

// Why a file named by the user cannot be offered for sending ("No such file
// or directory", "it is a folder"); empty when it can.
QString cannotOffer(const QString &path);

// The size of the file path names, -1 when it cannot be looked at.
qint64 size(const QString &path);

} // namespace FileKinds
