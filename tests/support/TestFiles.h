#pragma once

#include "QtPrinters.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <filesystem>

#include <sys/stat.h>

// Files the tests write and read back, whole and in one call.
namespace TestFiles {

// Writes content to path, making its folder first; returns the path, or an
// empty text when it could not be written.
inline QString write(const QString &path, const QByteArray &content = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return {};
    return path;
}

// The whole file, or "<missing>" when it cannot be read.
inline QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Whether the process pid has path open (a device it opened, say).
inline bool heldBy(qint64 pid, const QString &path)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    const QString target = QFileInfo(path).canonicalFilePath();
    for (const QString &fd : fds.entryList(QDir::System)) {
        if (QFileInfo(fds.filePath(fd)).canonicalFilePath() == target)
            return true;
    }
    return false;
}

// Whether the process pid watches folder for changes (a file dialog that
// shows it does), from the inotify watches it holds.
inline bool watches(qint64 pid, const QString &folder)
{
    struct stat info;
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    const QString inode = QStringLiteral(" ino:%1 ").arg(qulonglong(info.st_ino), 0, 16);
    const QDir fds(QStringLiteral("/proc/%1/fdinfo").arg(pid));
    for (const QString &fd : fds.entryList(QDir::Files)) {
        if (read(fds.filePath(fd)).contains(inode.toLatin1()))
            return true;
    }
    return false;
}

// How many bytes the process pid has read so far, through any call.
inline qint64 bytesRead(qint64 pid)
{
    const QByteArray io = read(QStringLiteral("/proc/%1/io").arg(pid));
    const qsizetype at = io.indexOf("rchar: ");
    return at < 0 ? -1 : io.mid(at + 7, io.indexOf('\n', at) - at - 7).toLongLong();
}

// Empties folder, whatever bytes the names in it hold (Qt cannot remove a
// file whose name is not UTF-8).
inline void removeAll(const QString &folder)
{
    std::error_code ignored;
    for (const auto &entry : std::filesystem::directory_iterator(
             std::filesystem::path(QFile::encodeName(folder).toStdString()), ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

} // namespace TestFiles
