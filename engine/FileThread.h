#pragma once

#include <QObject>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

// A thread for one transfer's file work, so that a disk or a network share
// that stalls never holds up the thread that made it (the window's). Tasks
// run in the order they were posted; a task hands a result back with
// deliver(), which runs it through the event loop of the receiver's thread.
// The receiver belongs to the maker and outlives this object; deliveries
// never run on anything of the FileThread's own, so that letting go of it
// from inside one of them is safe.
//
// cancel() (and the destructor) returns at once: tasks still queued run when
// a call that hangs has returned (they can ask whether they were cancelled),
// but nothing is delivered after it, not even what was posted before it.
// The thread ends once its last task has run after that, however long after
// its maker let go of it; what the tasks use must be owned by them.
class FileThread
{
  public:
    // What a task sees of its thread.
    class Channel
    {
      public:
        virtual ~Channel() = default;
        virtual bool cancelled() const = 0;
        // Runs back on the maker's thread, unless cancelled before it gets there.
        virtual void deliver(std::function<void()> back) = 0;
    };
    using Task = std::function<void(Channel &)>;

    // what: the work, in a few words, for the line a program that ends
    // before the thread does writes (stillRunning).
    FileThread(QObject &receiver, QString what);
    ~FileThread();
    FileThread(const FileThread &) = delete;
    FileThread &operator=(const FileThread &) = delete;

    void post(Task task);
    // Nothing is delivered from now on; last, if given, is the last task.
    void cancel(Task last = {});
    bool cancelled() const;

    // Waits, at most limit, until every file thread of the process has ended:
    // a program that ends right after a Cancel leaves no copy behind when
    // the disk answers in time. True when none runs any more.
    static bool waitForAll(std::chrono::milliseconds limit);
    // The work of the file threads that still run.
    static QStringList stillRunning();
    // What a program that ends now leaves undone, in a sentence; empty when
    // every file thread has ended within limit.
    static QString leftHanging(std::chrono::milliseconds limit);

  private:
    struct State;
    std::shared_ptr<State> m_state;
};
