#pragma once

#include "DiskTarget.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <functional>
#include <optional>
#include <utility>

#include <unistd.h>

// The real target, with one step made to fail with a chosen system error, as
// the disk or the file system would: the step is not done, and the copy stays
// open until the engine discards it. Counts the calls the engine makes.
class FailingTarget : public SteppedTarget
{
  public:
    struct Failure
    {
        Step step;
        int error;
    };
    std::optional<Failure> failure;
    // Where set, a commit that would be durable is not: the folder sync
    // failed with this error.
    std::optional<int> folderSyncError;
    int discards = 0;
    int writes = 0;
    DiskTarget disk;
    // A disk that has fallen behind: no room until the test makes some.
    bool room = true;
    std::function<void()> roomWanted;
    void makeRoom()
    {
        room = true;
        if (std::function<void()> told = std::exchange(roomWanted, {}))
            told();
    }
    bool hasRoom() const override { return room; }
    void whenRoom(std::function<void()> told) override { roomWanted = std::move(told); }

    bool open(const QString &path) override { return !failsAt(Step::Open) && disk.open(path); }
    bool write(const QByteArray &bytes) override
    {
        ++writes;
        return !failsAt(Step::Write) && disk.write(bytes);
    }
    bool sync() override { return !failsAt(Step::Sync) && disk.sync(); }
    Committed commit() override
    {
        if (failsAt(Step::Commit))
            return Committed::Failed;
        const Committed committed = disk.commit();
        if (committed != Committed::Durable || !folderSyncError)
            return committed;
        m_error = QString::fromLocal8Bit(std::strerror(*folderSyncError));
        return Committed::NotDurable;
    }
    void discard() override
    {
        ++discards;
        disk.discard();
    }
    QString errorString() const override
    {
        return m_error.isEmpty() ? disk.errorString() : m_error;
    }

  private:
    bool failsAt(Step step)
    {
        m_error.clear();
        if (!failure || failure->step != step)
            return false;
        m_error = QString::fromLocal8Bit(std::strerror(failure->error));
        return true;
    }
    QString m_error;
};

// How many of this process's descriptors point into folder (a copy left open
// shows here, named or not).
inline int descriptorsInto(const QString &folder)
{
    const QString prefix = QDir(folder).canonicalPath() + QLatin1Char('/');
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd :
         fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (QFile::symLinkTarget(fds.filePath(fd)).startsWith(prefix))
            ++count;
    }
    return count;
}
