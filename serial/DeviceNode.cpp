#include "DeviceNode.h"

#include <QFile>
#include <QFileInfo>
#include <QObject>

#include <algorithm>
#include <cerrno>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace DeviceNode {

Check glance(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
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
#else
    Q_UNUSED(path);
#endif
    return {Check::Kind::Terminal, 0, {}};
}

Check inspect(const QString &path)
{
    const Check seen = glance(path);
#ifdef Q_OS_UNIX
    if (seen.kind != Check::Kind::Terminal)
        return seen;
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {Check::Kind::Refused, errno, {}};
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    if (!terminal)
        return {Check::Kind::NotTerminal, 0, QObject::tr("a device that is not a terminal")};
#endif
    return seen;
}

Access access(const AccessFacts &facts)
{
    Access advice;
    advice.group = facts.group;
    advice.owner = facts.owner;
    // A group that may read and write, and is not the superuser's, is one an
    // administrator hands out (dialout, uucp); membership is only taken up
    // by sessions that start after it was given.
    const bool groupMayUse = (facts.mode & 060) == 060 && facts.gid != 0;
    if (!groupMayUse || facts.inSessionGroups)
        advice.remedy = Access::Remedy::AskOwner;
    else if (facts.inGroupDatabase)
        advice.remedy = Access::Remedy::LogInAgain;
    else
        advice.remedy = Access::Remedy::JoinGroup;
    return advice;
}

Access access(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    AccessFacts facts;
    facts.mode = info.st_mode & 07777;
    facts.gid = info.st_gid;
    const struct group *group = ::getgrgid(info.st_gid);
    facts.group = group ? QString::fromLocal8Bit(group->gr_name) : QString::number(info.st_gid);
    const struct passwd *owner = ::getpwuid(info.st_uid);
    facts.owner = owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(info.st_uid);

    std::vector<gid_t> session(std::max(0, ::getgroups(0, nullptr)));
    session.resize(std::max(0, ::getgroups(int(session.size()), session.data())));
    facts.inSessionGroups = ::getegid() == info.st_gid ||
                            std::find(session.begin(), session.end(), info.st_gid) != session.end();
    if (const struct passwd *me = ::getpwuid(::getuid())) {
        int count = 64;
        std::vector<gid_t> listed(count);
        if (::getgrouplist(me->pw_name, me->pw_gid, listed.data(), &count) < 0) {
            listed.resize(count);
            ::getgrouplist(me->pw_name, me->pw_gid, listed.data(), &count);
        }
        listed.resize(std::max(0, count));
        facts.inGroupDatabase =
            std::find(listed.begin(), listed.end(), info.st_gid) != listed.end();
    }
    return access(facts);
#else
    Q_UNUSED(path);
    return {};
#endif
}

bool isConsole(const QString &path, const QString &consoles)
{
    QFile list(consoles);
    if (!list.open(QIODevice::ReadOnly))
        return false;
    // Consoles are named below /dev: "ttyS0", "hvc0".
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (!canonical.startsWith(QLatin1String("/dev/")))
        return false;
    const QString name = canonical.mid(5);
    // "ttyS0                -W- (EC p a)    4:64": the device's name comes first.
    for (const QByteArray &line : list.readAll().split('\n')) {
        const QByteArray first = line.simplified().split(' ').value(0);
        if (!first.isEmpty() && QString::fromLocal8Bit(first) == name)
            return true;
    }
    return false;
}

bool mayOpen(const QString &path)
{
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
#else
    Q_UNUSED(path);
    return true;
#endif
}

bool meansNoHardware(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

} // namespace DeviceNode
