#include "FileThread.h"

#include <QMetaObject>

#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <thread>

namespace {
// The work of the file threads of the process that still run.
struct Running
{
    std::mutex mutex;
    std::condition_variable ended;
    std::list<QString> work;
};

Running &running()
{
    static Running *threads = new Running; // outlives every thread, even at exit
    return *threads;
}
} // namespace

struct FileThread::State : FileThread::Channel, std::enable_shared_from_this<State>
{
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<Task> tasks;
    bool isCancelled = false;
    QObject *receiver = nullptr; // cleared under the mutex when cancelled

    bool cancelled() const override
    {
        std::lock_guard lock(mutex);
        return isCancelled;
    }

    void deliver(std::function<void()> back) override
    {
        // Posted under the lock that cancel() takes, and looked at again when
        // it arrives: once cancel() has returned, nothing runs on the maker's
        // thread, whether it was posted before or not.
        std::lock_guard lock(mutex);
        if (!isCancelled)
            QMetaObject::invokeMethod(
                receiver,
                [self = shared_from_this(), back = std::move(back)] {
                    if (!self->cancelled())
                        back();
                },
                Qt::QueuedConnection);
    }

    static void run(const std::shared_ptr<State> &state, std::list<QString>::iterator work)
    {
        for (;;) {
            Task task;
            {
                std::unique_lock lock(state->mutex);
                state->wake.wait(lock, [&] { return state->isCancelled || !state->tasks.empty(); });
                if (state->tasks.empty())
                    break;
                task = std::move(state->tasks.front());
                state->tasks.pop_front();
            }
            task(*state);
        }
        std::lock_guard lock(running().mutex);
        running().work.erase(work);
        running().ended.notify_all();
    }
};

FileThread::FileThread(QObject &receiver, QString what) : m_state(std::make_shared<State>())
{
    m_state->receiver = &receiver;
    std::list<QString>::iterator work;
    {
        std::lock_guard lock(running().mutex);
        work = running().work.insert(running().work.end(), std::move(what));
    }
    std::thread(&State::run, m_state, work).detach();
}

FileThread::~FileThread()
{
    cancel();
}

void FileThread::post(Task task)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->tasks.push_back(std::move(task));
    }
    m_state->wake.notify_one();
}

void FileThread::cancel(Task last)
{
    {
        std::lock_guard lock(m_state->mutex);
        if (last && !m_state->isCancelled)
            m_state->tasks.push_back(std::move(last));
        m_state->isCancelled = true;
        m_state->receiver = nullptr;
    }
    m_state->wake.notify_one();
}

bool FileThread::cancelled() const
{
    return m_state->cancelled();
}

bool FileThread::waitForAll(std::chrono::milliseconds limit)
{
    std::unique_lock lock(running().mutex);
    return running().ended.wait_for(lock, limit, [] { return running().work.empty(); });
}

QStringList FileThread::stillRunning()
{
    std::lock_guard lock(running().mutex);
    return QStringList(running().work.begin(), running().work.end());
}

QString FileThread::leftHanging(std::chrono::milliseconds limit)
{
    if (waitForAll(limit))
        return {};
    return QObject::tr("the disk had not answered when the program ended: %1")
        .arg(stillRunning().join(QStringLiteral("; ")));
}
