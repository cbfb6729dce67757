#include "DiskTarget.h"

#include "FileKinds.h"
#include "FileNames.h"

#include <QObject>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio> // renameat2
#include <cstring>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray native(const QString &path)
{
    return FileNames::toNative(path);
}

// The folder of an absolute path.
QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

// File systems whose rename replaces an existing file in one step, so that
// the name always stands for a whole file, the old or the new.
bool DiskTarget::replacesInOneStep(long type)
{
    switch (static_cast<unsigned long>(type)) {
    case 0xEF53UL:     // ext2, ext3, ext4
    case 0x58465342UL: // xfs
    case 0x9123683EUL: // btrfs
    case 0xF2F52010UL: // f2fs
    case 0x2FC12FC1UL: // zfs
    case 0xCA451A4EUL: // bcachefs
    case 0x3153464AUL: // jfs
    case 0x52654973UL: // reiserfs
    case 0x01021994UL: // tmpfs
    case 0x858458F6UL: // ramfs
    case 0x6969UL:     // nfs
    case 0x794C7630UL: // overlayfs
        return true;
    default:
        return false;
    }
}

namespace {

bool processRuns(qint64 pid)
{
    if (pid <= 0 || pid > 0x7FFFFFFF)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// The error close() reports, 0 for none. It is not retried after EINTR: on
// Linux the descriptor is gone either way.
int closeError(int fd)
{
    return ::close(fd) == 0 ? 0 : errno;
}

} // namespace

DiskTarget::DiskTarget(Replace replace) : m_replace(replace) {}

DiskTarget::~DiskTarget()
{
    discard();
}

QString DiskTarget::partName(const QString &path, qint64 pid, int copy)
{
    return path + QStringLiteral(".zo-vovere-%1-%2.part").arg(pid).arg(copy);
}

QString DiskTarget::earlierName(const QString &path)
{
    return path + QStringLiteral(".zo-vovere-earlier");
}

bool DiskTarget::fail(int error)
{
    m_error = systemText(error ? error : EIO);
    return false;
}

bool DiskTarget::open(const QString &path)
{
    discard();
    m_stage = Open;
    m_error.clear();
    m_notSynced.clear();
    m_earlierKeptAs.clear();
    // A link to a file is followed, so that the file it names is replaced and
    // the link stays.
    // A pipe, a device or a socket at that name is never replaced by a file.
    if (const QString kind = FileKinds::nonRegularKind(path); !kind.isEmpty()) {
        m_error = QObject::tr("it is %1, not a regular file").arg(kind);
        return false;
    }
    m_final = FileNames::absolute(path);
    struct stat link;
    if (::lstat(native(m_final).constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char *resolved = ::realpath(native(m_final).constData(), nullptr)) {
            m_final = FileNames::fromNative(resolved);
            ::free(resolved);
        }
    }
    m_folder = folderOf(m_final);
    clearLeftovers();

    // Each copy of this process has a name of its own; one of an earlier
    // process that had the same pid is stepped over.
    static std::atomic<int> copies{0};
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
    QString part;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
        part = partName(m_final, ::getpid(), copies++);
        fd = ::open(native(part).constData(), flags, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return fail(errno);
    m_fd = fd;
    m_part = part;
    // The new file keeps the permissions of the one it replaces.
    struct stat earlier;
    if (::stat(native(m_final).constData(), &earlier) == 0 && S_ISREG(earlier.st_mode))
        ::fchmod(m_fd, earlier.st_mode & 07777);
    return true;
}

void DiskTarget::clearLeftovers() const
{
    static const QRegularExpression pattern(
        QStringLiteral("^.+\\.zo-vovere-(\\d{1,10})-\\d{1,10}\\.part$"));
    DIR *folder = ::opendir(native(m_folder).constData());
    if (!folder)
        return;
    while (const dirent *entry = ::readdir(folder)) {
        // Only the name's ASCII end is matched: any byte stands for itself.
        const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(entry->d_name));
        if (!match.hasMatch())
            continue;
        const qint64 pid = match.captured(1).toLongLong();
        if (processRuns(pid))
            continue; // a receive of this program that still runs, maybe this one
        struct stat info;
        if (::fstatat(::dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode))
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
    }
    ::closedir(folder);
}

bool DiskTarget::write(const QByteArray &bytes)
{
    if (m_fd < 0)
        return fail(EBADF);
    // A batch of a whole piece or more goes to the disk as it is, without
    // being copied into the gathering first.
    if (m_pending.isEmpty() && bytes.size() >= kPiece)
        return writeAll(bytes);
    m_pending += bytes;
    return m_pending.size() < kPiece || writePending();
}

bool DiskTarget::writePending()
{
    if (!writeAll(m_pending))
        return false;
    m_pending.clear();
    return true;
}

bool DiskTarget::writeAll(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(errno);
        if (n == 0)
            return fail(ENOSPC);
        done += n;
    }
    return true;
}

bool DiskTarget::sync()
{
    if (m_fd < 0)
        return fail(EBADF);
    if (!writePending())
        return false;
    // A file system that cannot sync at all still gets the file, but the
    // backup is not called durable.
    const int syncError = ::fsync(m_fd) == 0 ? 0 : errno;
    if (syncError && syncError != EINVAL && syncError != ENOTSUP)
        return fail(syncError);
    m_notSynced = syncError ? systemText(syncError) : QString();
    const int fd = std::exchange(m_fd, -1);
    if (const int error = closeError(fd))
        return fail(error); // a network file system reports late write errors here
    return true;
}

namespace {
// Syncs renamed (when given), then folder; 0, or the error. On FAT a file's
// size and first cluster live in its folder entry, which a rename makes anew
// and only the file's own sync writes: a folder synced alone can come back
// from a cut with the new name on an empty file. So the file is synced again
// under its new name, then the folder. On ext2, and ext4 without a journal,
// the folder's sync does not write the renamed entry (a power-cut replay
// found the chosen name still on the earlier file after it): the whole file
// system is synced last.
int syncRenamed(const QByteArray &folder, const QByteArray &renamed)
{
    if (!renamed.isEmpty()) {
        const int fd = ::open(renamed.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            return errno;
        const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
        const int error = errno;
        ::close(fd);
        if (!synced)
            return error;
    }
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const bool synced = ::fsync(fd) == 0 && ::syncfs(fd) == 0;
    const int error = errno;
    ::close(fd);
    return synced ? 0 : error;
}
} // namespace

bool DiskTarget::syncFolder(const QByteArray &renamed)
{
    const int error = syncRenamed(native(m_folder), renamed);
    return error == 0 || fail(error);
}

QString DiskTarget::renameSaved(const QString &from, const QString &to)
{
    const QByteArray source = native(from), target = native(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) !=
        0) {
        // A file system that cannot promise not to replace: looked at first.
        if (errno != EINVAL && errno != ENOSYS)
            return systemText(errno);
        struct stat existing;
        if (::lstat(target.constData(), &existing) == 0)
            return systemText(EEXIST);
        if (::rename(source.constData(), target.constData()) != 0)
            return systemText(errno);
    }
    const int error = syncRenamed(native(folderOf(FileNames::absolute(to))), target);
    return error ? systemText(error) : QString();
}

bool DiskTarget::fileWasSynced()
{
    if (m_notSynced.isEmpty())
        return true;
    m_error = m_notSynced;
    return false;
}

bool DiskTarget::replaceInOneStep() const
{
    if (m_replace == Replace::KeepEarlierFirst)
        return false;
    struct statfs info;
    return ::statfs(native(m_folder).constData(), &info) == 0 &&
           replacesInOneStep(long(info.f_type));
}

ReceiveTarget::Committed DiskTarget::commit()
{
    if (m_part.isEmpty() || m_fd >= 0) {
        fail(EBADF); // not opened, or not synced
        return Committed::Failed;
    }
    const QByteArray part = native(m_part);
    const QByteArray final = native(m_final);
    const QByteArray earlier = native(earlierName(m_final));
    struct stat existing;
    const bool replacing = ::lstat(final.constData(), &existing) == 0;

    if (!replacing || replaceInOneStep()) {
        if (!beginNaming()) {
            fail(ECANCELED);
            return Committed::Failed;
        }
        if (::rename(part.constData(), final.constData()) != 0) {
            fail(errno);
            return Committed::Failed;
        }
        m_part.clear();
        return syncFolder(final) && fileWasSynced() ? Committed::Durable : Committed::NotDurable;
    }

    // The earlier file steps aside under its own name first. One left by an
    // earlier cut beside a chosen file that exists is older than that file.
    if (::unlink(earlier.constData()) == 0 && !syncFolder())
        return Committed::Failed;
    if (m_stage == Abandoned || ::rename(final.constData(), earlier.constData()) != 0) {
        fail(m_stage == Abandoned ? ECANCELED : errno);
        return Committed::Failed;
    }
    bool moved = syncFolder(earlier);
    if (moved && !beginNaming())
        moved = fail(ECANCELED);
    else if (moved && ::rename(part.constData(), final.constData()) != 0)
        moved = fail(errno);
    if (!moved) {
        // The earlier file goes back to its name; where it cannot, the
        // message says where it is.
        const QString reason = m_error;
        if (::rename(earlier.constData(), final.constData()) != 0 || !syncFolder(final))
            m_earlierKeptAs = earlierName(m_final);
        m_error = reason;
        return Committed::Failed;
    }
    m_part.clear();
    if (!syncFolder(final) || !fileWasSynced()) {
        m_earlierKeptAs = earlierName(m_final);
        return Committed::NotDurable;
    }
    // The new file is on the disk under its name: the earlier one may go.
    ::unlink(earlier.constData());
    syncFolder();
    m_error.clear();
    return Committed::Durable;
}

bool DiskTarget::beginNaming()
{
    Stage open = Open;
    return m_stage.compare_exchange_strong(open, Naming);
}

bool DiskTarget::abandon()
{
    Stage open = Open;
    return m_stage.compare_exchange_strong(open, Abandoned) || open == Abandoned;
}

void DiskTarget::discard()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    if (!m_part.isEmpty())
        ::unlink(native(std::exchange(m_part, QString())).constData());
    m_pending.clear();
}
