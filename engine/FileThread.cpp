#include "FileThread.h"

#include <QMetaObject>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {
// The file threads of the process that still run.
struct Running
{
    std::mutex mutex;
    std::condition_variable ended;
    int count = 0;
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
    QObject *context = nullptr; // cleared under the mutex when cancelled
    int delivering = 0;         // deliveries running now; on the maker's thread only

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
                context,
                [self = shared_from_this(), back = std::move(back)] {
                    if (self->cancelled())
                        return;
                    ++self->delivering;
                    back();
                    --self->delivering;
                },
                Qt::QueuedConnection);
    }

    static void run(const std::shared_ptr<State> &state)
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
        --running().count;
        running().ended.notify_all();
    }
};

FileThread::FileThread() : m_state(std::make_shared<State>()), m_context(new QObject)
{
    m_state->context = m_context;
    {
        std::lock_guard lock(running().mutex);
        ++running().count;
    }
    std::thread(&State::run, m_state).detach();
}

FileThread::~FileThread()
{
    cancel();
    // A thread may be let go of from inside one of its own deliveries (a
    // save that ends the receive): the object that delivery runs on goes
    // once the delivery is over.
    if (m_state->delivering > 0)
        m_context->deleteLater();
    else
        delete m_context;
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
        m_state->context = nullptr;
    }
    m_state->wake.notify_one();
}

bool FileThread::cancelled() const
{
    return m_state->cancelled();
}

void FileThread::waitForAll(std::chrono::milliseconds limit)
{
    std::unique_lock lock(running().mutex);
    running().ended.wait_for(lock, limit, [] { return running().count == 0; });
}
