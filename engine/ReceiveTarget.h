#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Where a receive is written: a new copy beside the file the user chose,
// which takes that file's name only when the whole backup is on the disk.
// Until commit() the chosen file, if there was one, is not touched.
//
// One target serves one receive at a time: open() starts a copy, and
// commit() (or finish()) or discard() ends it. After a failed step the copy is still open
// and discard() must follow; discard() is harmless when nothing is open.
class ReceiveTarget
{
  public:
    enum class Step
    {
        Open,
        Write,
        Sync,
        Commit
    };

    // How a commit ended.
    enum class Committed
    {
        Failed,    // the copy did not take the name; errorString() says why
        Durable,   // the new file has the name and the folder is synced
        NotDurable // the new file has the name, but the folder could not be synced
    };

    virtual ~ReceiveTarget() = default;

    // Makes the copy beside path. Leftovers of this program's earlier
    // receives into the same folder may be cleared here.
    virtual bool open(const QString &path) = 0;
    // open(), with the result given to opened: at once, or later from the
    // event loop of the calling thread; never after discard().
    virtual void openThen(const QString &path, std::function<void(bool)> opened)
    {
        opened(open(path));
    }
    // Every byte is accepted or the call fails; bytes may be gathered and
    // written later, at the latest by sync().
    virtual bool write(const QByteArray &bytes) = 0;
    // Everything written is on the disk.
    virtual bool sync() = 0;
    // The copy takes the chosen name and the folder is synced.
    virtual Committed commit() = 0;
    // sync() and then commit(), with the result given to done. A target may
    // call done later, from the event loop of the thread that called finish;
    // never after discard().
    virtual void finish(std::function<void(Committed)> done)
    {
        done(sync() ? commit() : Committed::Failed);
    }
    // The copy is closed and removed; the chosen file stays as it was.
    virtual void discard() = 0;

    // May be called from another thread while a step runs (one that hangs on
    // a stalled disk): no rename begins after it, so that a commit that
    // returns later leaves the chosen file as it was. discard() follows.
    virtual void abandon() {}

    // Why the last step failed, in the system's words; for Committed::NotDurable,
    // why the folder could not be synced.
    virtual QString errorString() const = 0;
    // Where the earlier file is when a failed commit could not leave it under
    // the chosen name; empty otherwise.
    virtual QString earlierKeptAs() const { return {}; }
};
