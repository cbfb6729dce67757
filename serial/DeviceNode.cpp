#include "DeviceNode.h"

#include <QFile>
#include <QObject>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace DeviceNode {

Check inspect(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::stat(name.constData(), &info) != 0)
        return {errno == ENOENT || errno == ENOTDIR ? Check::Kind::Missing : Check::Kind::Refused,
                errno,
                {}};
    const auto notTerminal = [](const QString &what) {
        return Check{Check::Kind::NotTerminal, 0, what};
    };
    if (S_ISREG(info.st_mode))
        return notTerminal(QObject::tr("a regular file"));
    if (S_ISDIR(info.st_mode))
        return notTerminal(QObject::tr("a folder"));
    if (S_ISFIFO(info.st_mode))
        return notTerminal(QObject::tr("a pipe"));
    if (S_ISSOCK(info.st_mode))
        return notTerminal(QObject::tr("a socket"));
    if (!S_ISCHR(info.st_mode))
        return notTerminal(QObject::tr("a block device"));
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {Check::Kind::Refused, errno, {}};
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    if (!terminal)
        return notTerminal(QObject::tr("a device that is not a terminal"));
    return {Check::Kind::Terminal, 0, {}};
#else
    Q_UNUSED(path);
    return {Check::Kind::Terminal, 0, {}};
#endif
}

bool meansNoHardware(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

} // namespace DeviceNode
