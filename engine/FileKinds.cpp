#include "FileKinds.h"

#include "FileNames.h"

#include <QObject>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace FileKinds {

namespace {
#ifdef Q_OS_UNIX
QString kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QObject::tr("a folder");
    if (S_ISFIFO(mode))
        return QObject::tr("a named pipe (FIFO)");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QObject::tr("a device");
    if (S_ISSOCK(mode))
        return QObject::tr("a socket");
    return QObject::tr("a special file");
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
#endif
} // namespace

QString nonRegularKind(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(FileNames::toNative(path).constData(), &info) != 0)
        return {}; // nothing there (or a dangling link): a new file is made
    return kindOf(info.st_mode);
#else
    return {};
#endif
}

bool openRegularForReading(QFile &file, const QString &path, QString *reason)
{
#ifdef Q_OS_UNIX
    const QByteArray name = FileNames::toNative(path);
    // Looked at before anything opens it, so that no device is touched.
    struct stat info
    {
    };
    if (::stat(name.constData(), &info) != 0) {
        *reason = systemError(errno);
        return false;
    }
    QString kind = kindOf(info.st_mode);
    if (!kind.isEmpty()) {
        *reason = QObject::tr("it is %1, not a regular file").arg(kind);
        return false;
    }
    // O_NONBLOCK: should a pipe have been put there meanwhile, the open does
    // not wait for a writer; fstat then refuses it.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *reason = systemError(errno);
        return false;
    }
    if (::fstat(fd, &info) != 0 || !(kind = kindOf(info.st_mode)).isEmpty()) {
        *reason = kind.isEmpty() ? systemError(errno)
                                 : QObject::tr("it is %1, not a regular file").arg(kind);
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.setFileName(path);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        *reason = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
#else
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        *reason = file.errorString();
        return false;
    }
    return true;
#endif
}

QString cannotOffer(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(FileNames::toNative(path).constData(), &info) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        return QObject::tr("it is a folder");
    return {};
}

qint64 size(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(FileNames::toNative(path).constData(), &info) == 0 ? qint64(info.st_size) : -1;
}

} // namespace FileKinds
