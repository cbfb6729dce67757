#pragma once

#include <QByteArray>
#include <QString>

// File names as Linux has them: any bytes but '/' and NUL, UTF-8 or not.
// Qt turns a byte that is not part of UTF-8 into U+FFFD and can no longer
// give the name back, so the program holds names in its own form: valid
// UTF-8 as the text it is, and each other byte B as the lone low surrogate
// U+DC00 + B (the "surrogateescape" of Python), which no text ever holds.
// Every name that goes to the system goes through toNative(), and every name
// shown goes through printable().
namespace FileNames {

// A name from the system (a command line argument, a folder's entry).
QString fromNative(const QByteArray &name);
// The bytes the system knows the name by.
QByteArray toNative(const QString &name);

// The name for a message: each byte kept as it came and each control
// character written as \xNN, so that nothing unreadable or invisible reaches
// the screen (a NUL, an escape sequence, a name that is not text).
QString printable(const QString &text);

// path made absolute against the current folder, whatever bytes either holds.
QString absolute(const QString &path);
// The last part of path.
QString fileName(const QString &path);

// A name the file dialog returned: Qt shows a byte that is not UTF-8 as
// U+FFFD, and gives back a name that way that names no file. Each part of
// path that does not exist is matched to the one entry of its folder that Qt
// shows by that name; path as it was when there is none, or more than one.
QString fromDialog(const QString &path);

} // namespace FileNames
