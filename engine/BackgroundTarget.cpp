#include "BackgroundTarget.h"

#include <QMetaObject>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

struct BackgroundTarget::Threads
{
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0;
};

// One receive's thread and what it shares with the caller. The thread keeps
// the job alive until its last task has run, however long after the caller
// has let go of it.
struct BackgroundTarget::Job
{
    std::unique_ptr<ReceiveTarget> inner;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void(ReceiveTarget &)>> tasks;
    bool closing = false;   // no task comes after those queued
    bool cancelled = false; // discarded: steps not begun are skipped, nothing delivered
    bool writeFailed = false;
    QString error;
    QString earlierKeptAs;

    void post(std::function<void(ReceiveTarget &)> task)
    {
        {
            std::lock_guard lock(mutex);
            tasks.push_back(std::move(task));
        }
        wake.notify_one();
    }

    static void run(const std::shared_ptr<Job> &job, const std::shared_ptr<Threads> &threads)
    {
        struct Ended
        {
            Threads &threads;
            ~Ended()
            {
                std::lock_guard lock(threads.mutex);
                --threads.running;
                threads.ended.notify_all();
            }
        } ended{*threads};
        for (;;) {
            std::function<void(ReceiveTarget &)> task;
            {
                std::unique_lock lock(job->mutex);
                job->wake.wait(lock, [&] { return job->closing || !job->tasks.empty(); });
                if (job->tasks.empty())
                    return;
                task = std::move(job->tasks.front());
                job->tasks.pop_front();
            }
            task(*job->inner);
        }
    }

    // What the inner target said, for the caller to read.
    void record(ReceiveTarget &target)
    {
        std::lock_guard lock(mutex);
        error = target.errorString();
        earlierKeptAs = target.earlierKeptAs();
    }

    bool isCancelled()
    {
        std::lock_guard lock(mutex);
        return cancelled;
    }
};

BackgroundTarget::BackgroundTarget(Factory factory)
    : m_factory(std::move(factory)), m_threads(std::make_shared<Threads>())
{
}

BackgroundTarget::~BackgroundTarget()
{
    discard();
    std::unique_lock lock(m_threads->mutex);
    m_threads->ended.wait_for(lock, kLastDiscards, [this] { return m_threads->running == 0; });
}

bool BackgroundTarget::open(const QString &path)
{
    discard();
    m_error.clear();
    m_earlierKeptAs.clear();
    auto job = std::make_shared<Job>();
    job->inner = m_factory();
    if (!job->inner->open(path)) {
        m_error = job->inner->errorString();
        job->inner->discard();
        return false;
    }
    {
        std::lock_guard lock(m_threads->mutex);
        ++m_threads->running;
    }
    std::thread(&Job::run, job, m_threads).detach();
    m_job = std::move(job);
    return true;
}

void BackgroundTarget::takeResults()
{
    std::lock_guard lock(m_job->mutex);
    m_error = m_job->error;
    m_earlierKeptAs = m_job->earlierKeptAs;
}

bool BackgroundTarget::write(const QByteArray &bytes)
{
    if (!m_job) {
        m_error = QStringLiteral("no copy is open");
        return false;
    }
    {
        std::lock_guard lock(m_job->mutex);
        if (m_job->writeFailed) {
            m_error = m_job->error;
            return false;
        }
    }
    m_job->post([job = m_job.get(), bytes](ReceiveTarget &target) {
        if (job->isCancelled() || target.write(bytes))
            return;
        job->record(target);
        std::lock_guard lock(job->mutex);
        job->writeFailed = true;
    });
    return true;
}

template <typename Result>
Result BackgroundTarget::wait(std::function<Result(ReceiveTarget &)> step)
{
    auto done = std::make_shared<std::promise<Result>>();
    std::future<Result> result = done->get_future();
    m_job->post([job = m_job.get(), step, done](ReceiveTarget &target) {
        done->set_value(step(target));
        job->record(target);
    });
    const Result value = result.get();
    takeResults();
    return value;
}

bool BackgroundTarget::sync()
{
    if (!m_job)
        return false;
    {
        std::lock_guard lock(m_job->mutex);
        if (m_job->writeFailed) {
            m_error = m_job->error;
            return false;
        }
    }
    return wait<bool>([](ReceiveTarget &target) { return target.sync(); });
}

ReceiveTarget::Committed BackgroundTarget::commit()
{
    if (!m_job)
        return Committed::Failed;
    return wait<Committed>([](ReceiveTarget &target) { return target.commit(); });
}

void BackgroundTarget::finish(std::function<void(Committed)> done)
{
    if (!m_job) {
        done(Committed::Failed);
        return;
    }
    std::weak_ptr<Job> weak = m_job;
    m_job->post([this, self = m_job.get(), weak, done = std::move(done)](ReceiveTarget &target) {
        Committed committed = Committed::Failed;
        bool failedBefore = false;
        {
            std::lock_guard lock(self->mutex);
            failedBefore = self->writeFailed;
        }
        // A write that failed has said why already; a discard that came
        // during a hung call leaves the steps not yet begun undone.
        if (!failedBefore && !self->isCancelled() && target.sync() && !self->isCancelled())
            committed = target.commit();
        if (!failedBefore)
            self->record(target);
        // Delivered only while the caller still wants it: discard() and the
        // destructor take the same lock to cancel.
        std::lock_guard lock(self->mutex);
        if (self->cancelled)
            return;
        QMetaObject::invokeMethod(
            &m_context,
            [this, weak, done, committed] {
                const std::shared_ptr<Job> job = weak.lock();
                if (!job || job != m_job || job->isCancelled())
                    return;
                takeResults();
                done(committed);
            },
            Qt::QueuedConnection);
    });
}

void BackgroundTarget::discard()
{
    const std::shared_ptr<Job> job = std::exchange(m_job, nullptr);
    if (!job)
        return;
    job->inner->abandon(); // a step that hangs now renames nothing when it returns
    {
        std::lock_guard lock(job->mutex);
        job->cancelled = true;
        job->tasks.push_back([](ReceiveTarget &target) { target.discard(); });
        job->closing = true;
    }
    job->wake.notify_one();
}
