#include "PortUsers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace PortUsers {

namespace {

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

bool isAlive(qint64 pid)
{
#ifdef Q_OS_UNIX
    if (pid <= 0 || pid > 0x7FFFFFFF)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#else
    Q_UNUSED(pid);
    return false;
#endif
}

qint64 ownPid()
{
#ifdef Q_OS_UNIX
    return ::getpid();
#else
    return 0;
#endif
}

} // namespace

// The pid a lock file holds: ASCII digits (padded with blanks, as the HDB
// convention writes "%10d\n", or Qt's "pid\nprogram\nhost\n"), or the older
// binary form, four bytes of a native int. Text never holds a NUL byte, and a
// binary pid always does (pids stay below 2^22, so its high byte is zero):
// pid 8240 is the bytes "0 \0\0", which must not be read as the text "0".
qint64 lockFilePid(const QByteArray &content)
{
    if (content.size() == qsizetype(sizeof(qint32)) && content.contains('\0')) {
        qint32 binary = 0;
        std::memcpy(&binary, content.constData(), sizeof binary);
        return binary;
    }
    if (content.contains('\0'))
        return 0;
    const QByteArray firstLine = content.split('\n').value(0).trimmed();
    bool ok = false;
    const qint64 pid = firstLine.toLongLong(&ok);
    return ok ? pid : 0;
}

namespace {

#ifdef Q_OS_LINUX
// The pseudo-terminal index of a master descriptor, which Linux gives in the
// descriptor's fdinfo ("tty-index:"); -1 for anything else.
int masterIndex(const QByteArray &fdinfo)
{
    QFile info(QString::fromLocal8Bit(fdinfo));
    if (!info.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : info.readAll().split('\n')) {
        if (line.startsWith("tty-index:")) {
            bool ok = false;
            const int index = line.mid(10).trimmed().toInt(&ok);
            return ok ? index : -1;
        }
    }
    return -1;
}
#endif

} // namespace

QString User::describe() const
{
    if (name.isEmpty())
        return QStringLiteral("process %1").arg(pid);
    return QStringLiteral("%1 (process %2)").arg(name).arg(pid);
}

QStringList lockFileNames(const QString &device)
{
    QStringList names;
    auto add = [&names](const QString &path) {
        if (path.isEmpty())
            return;
        names += QStringLiteral("LCK..") + QFileInfo(path).fileName();
        QString belowDev = path;
        if (belowDev.startsWith(QLatin1String("/dev/"))) {
            belowDev.remove(0, 5);
            names += QStringLiteral("LCK..") + belowDev.replace(QLatin1Char('/'), QLatin1Char('_'));
        }
    };
    add(device);
    add(QFileInfo(device).canonicalFilePath());
    names.removeDuplicates();
    return names;
}

std::optional<User> lockHolder(const QString &device, const QStringList &lockDirs)
{
    QStringList dirs = lockDirs;
    if (dirs.isEmpty())
        dirs = {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")};
    QStringList seen;
    for (const QString &dir : std::as_const(dirs)) {
        const QString real = QFileInfo(dir).canonicalFilePath();
        if (real.isEmpty() || seen.contains(real))
            continue;
        seen += real;
        for (const QString &name : lockFileNames(device)) {
            QFile lock(QDir(real).filePath(name));
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            const qint64 pid = lockFilePid(lock.read(64));
            if (pid != ownPid() && isAlive(pid))
                return User{pid, processName(pid)};
        }
    }
    return std::nullopt;
}

std::optional<User> openedBy(const QString &device)
{
#ifdef Q_OS_LINUX
    const QByteArray target = QFile::encodeName(QFileInfo(device).canonicalFilePath());
    if (target.isEmpty())
        return std::nullopt;
    // The far end of a pseudo-terminal /dev/pts/N holds a master whose index is N.
    int ptyIndex = -1;
    if (target.startsWith("/dev/pts/")) {
        bool ok = false;
        ptyIndex = target.mid(9).toInt(&ok);
        if (!ok)
            ptyIndex = -1;
    }
    const qint64 self = ownPid();
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return std::nullopt;
    std::optional<User> found;
    while (!found) {
        const dirent *entry = ::readdir(proc);
        if (!entry)
            break;
        char *end = nullptr;
        const qint64 pid = std::strtoll(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self)
            continue;
        // Descriptors of other users' processes are hidden unless we are
        // root; what cannot be read is passed over.
        const QByteArray processDir = QByteArray("/proc/") + entry->d_name;
        const QByteArray fdDir = processDir + "/fd";
        DIR *fds = ::opendir(fdDir.constData());
        if (!fds)
            continue;
        bool holdsDevice = false;
        bool farEnd = false;
        while (const dirent *fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.')
                continue;
            char link[4096];
            const QByteArray path = fdDir + '/' + fd->d_name;
            const ssize_t n = ::readlink(path.constData(), link, sizeof link);
            if (n <= 0)
                continue;
            const QByteArrayView linked(link, n);
            if (linked == QByteArrayView(target))
                holdsDevice = true;
            else if (ptyIndex >= 0 && linked.endsWith("/ptmx") &&
                     masterIndex(processDir + "/fdinfo/" + fd->d_name) == ptyIndex)
                farEnd = true;
        }
        ::closedir(fds);
        if (holdsDevice && !farEnd)
            found = User{pid, processName(pid)};
    }
    ::closedir(proc);
    return found;
#else
    Q_UNUSED(device);
    return std::nullopt;
#endif
}

std::optional<User> holder(const QString &device)
{
    if (auto user = lockHolder(device))
        return user;
    return openedBy(device);
}

} // namespace PortUsers
