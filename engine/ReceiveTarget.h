#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Where a receive is written: a new copy beside the file the user chose,
// which takes that file's name only when the whole backup is on the disk.
// Until the copy takes the name the chosen file, if there was one, is not
// touched.
//
// One target serves one receive at a time: openThen() starts a copy, and
// finish() or discard() ends it. After a failed step the copy is still open
// and discard() must follow; discard() is harmless when nothing is open.
class ReceiveTarget
{
  public:
    // The steps of a save, for a target that names the one that failed.
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

    // Makes the copy beside path, and gives the result to opened: at once,
    // or later from the event loop of the calling thread; never after
    // discard(). Leftovers of this program's earlier receives into the same
    // folder may be cleared here.
    virtual void openThen(const QString &path, std::function<void(bool)> opened) = 0;
    // Every byte is accepted or the call fails; bytes may be gathered and
    // written later, at the latest by finish().
    virtual bool write(const QByteArray &bytes) = 0;
    // Everything written goes on the disk, then the copy takes the chosen
    // name and the folder is synced; the result is given to done, at once or
    // later from the event loop of the thread that called finish; never
    // after discard().
    virtual void finish(std::function<void(Committed)> done) = 0;
    // The copy is closed and removed; the chosen file stays as it was.
    virtual void discard() = 0;

    // Whether more bytes are welcome now. A target that writes in the
    // background holds only a few writes in memory; while it is behind, the
    // caller leaves the bytes where they are (in the port's driver) and asks
    // to be told with whenRoom().
    virtual bool hasRoom() const { return true; }
    // room is called once, from the event loop, when hasRoom() holds again;
    // never after discard() or a new openThen().
    virtual void whenRoom(std::function<void()> room) { (void)room; }

    // May be called from another thread while a step runs (one that hangs on
    // a stalled disk): no rename of the copy begins after it, so that a
    // finish that returns later leaves the chosen file as it was. False when
    // it comes too late: the copy has begun to take the chosen name, and
    // finish() will tell how that ended. discard() follows a true answer.
    virtual bool abandon() { return true; }

    // Why the last step failed, in the system's words; for Committed::NotDurable,
    // why the folder could not be synced.
    virtual QString errorString() const = 0;
    // Where the earlier file is when a failed commit could not leave it under
    // the chosen name; empty otherwise.
    virtual QString earlierKeptAs() const { return {}; }
};

// A target whose steps are done when asked, each on the caller's thread and
// only when the one before has succeeded: open, write..., sync, commit.
class SteppedTarget : public ReceiveTarget
{
  public:
    // Makes the copy beside path.
    virtual bool open(const QString &path) = 0;
    // Everything written is on the disk, and the copy is closed.
    virtual bool sync() = 0;
    // The copy, synced, takes the chosen name and the folder is synced.
    virtual Committed commit() = 0;

    void openThen(const QString &path, std::function<void(bool)> opened) override
    {
        opened(open(path));
    }
    void finish(std::function<void(Committed)> done) override
    {
        done(sync() ? commit() : Committed::Failed);
    }
};
