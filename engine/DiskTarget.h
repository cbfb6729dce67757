#pragma once

#include "ReceiveTarget.h"

#include <QByteArray>

#include <atomic>

// The receive target on a local or mounted file system (POSIX calls).
//
// The copy is a file named "<name>.zo-vovere-<pid>-<n>.part" beside the chosen
// file, so that what a killed program leaves behind is recognised by the
// next receive into the same folder and removed: only files of that pattern
// whose process no longer runs, never another program's. Bytes are gathered
// and written in pieces of kPiece, every write checked.
//
// sync() writes what is gathered, syncs the copy and closes it; commit(),
// which refuses a copy not synced so, renames it over the chosen name, then
// syncs the folder, so that the new name survives a power cut. On
// file systems whose rename does not replace a file in one step (FAT on USB
// sticks, exFAT, NTFS, anything not known to), the earlier file first takes
// the name "<name>.zo-vovere-earlier", the copy takes the chosen name, and
// only then is the earlier file removed, each step followed by a folder sync:
// a cut at any moment leaves the earlier file whole under one of the two
// names, or the new one whole under the chosen name.
class DiskTarget : public SteppedTarget
{
  public:
    static constexpr qsizetype kPiece = 64 * 1024;

    enum class Replace
    {
        ByFileSystem,     // in one step where the file system is known to do it
        KeepEarlierFirst, // always through the earlier file's own name
    };

    explicit DiskTarget(Replace replace = Replace::ByFileSystem);
    ~DiskTarget() override;
    DiskTarget(const DiskTarget &) = delete;
    DiskTarget &operator=(const DiskTarget &) = delete;

    bool open(const QString &path) override;
    bool write(const QByteArray &bytes) override;
    bool sync() override;
    Committed commit() override;
    void discard() override;
    bool abandon() override;
    QString errorString() const override { return m_error; }
    QString earlierKeptAs() const override { return m_earlierKeptAs; }

    // Whether a file system of this type (statfs's f_type) replaces a file by
    // rename in one step; any it does not know of is taken not to.
    static bool replacesInOneStep(long fileSystemType);

    // The names this program gives its copy and the earlier file of path.
    static QString partName(const QString &path, qint64 pid, int copy);
    static QString earlierName(const QString &path);
    // Gives a saved file another name in its folder, never over another
    // file, and syncs it and the folder as a commit does. Empty when done;
    // otherwise why not (the file then keeps its name, or, when only the
    // sync failed, has the new one without the promise).
    static QString renameSaved(const QString &from, const QString &to);

  private:
    bool fail(int error);
    bool writePending();
    bool writeAll(const QByteArray &bytes);
    bool syncFolder(const QByteArray &renamed = {});
    bool fileWasSynced();
    bool replaceInOneStep() const;
    void clearLeftovers() const;
    // Whether the copy may now take the chosen name: false once abandoned.
    // Decided once, so that an abandon() that comes later knows it is too
    // late.
    bool beginNaming();

    Replace m_replace;
    enum Stage
    {
        Open,
        Abandoned,
        Naming // the copy is taking the chosen name
    };
    std::atomic<Stage> m_stage{Open};
    QString m_final; // the chosen file, links resolved
    QString m_folder;
    QString m_part; // the copy; empty when none is open
    int m_fd = -1;
    QByteArray m_pending;
    QString m_error;
    QString m_notSynced; // why the copy could not be synced, on a file system that cannot
    QString m_earlierKeptAs;
};
