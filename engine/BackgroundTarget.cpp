#include "BackgroundTarget.h"

#include "FileNames.h"

#include <mutex>

// One receive's inner target and what its thread tells the caller. Owned by
// the tasks too, so that it outlives a call that hangs.
struct BackgroundTarget::Job
{
    std::unique_ptr<SteppedTarget> inner;
    std::mutex mutex;
    bool writeFailed = false;
    QString error;
    QString earlierKeptAs;

    void record()
    {
        std::lock_guard lock(mutex);
        error = inner->errorString();
        earlierKeptAs = inner->earlierKeptAs();
    }
};

BackgroundTarget::BackgroundTarget(Factory factory) : m_factory(std::move(factory)) {}

BackgroundTarget::~BackgroundTarget()
{
    discard();
    FileThread::waitForAll(kLastDiscards);
}

void BackgroundTarget::openThen(const QString &path, std::function<void(bool)> opened)
{
    discard();
    m_error.clear();
    m_earlierKeptAs.clear();
    m_job = std::make_shared<Job>();
    m_job->inner = m_factory();
    m_thread = std::make_unique<FileThread>(
        m_deliveries, QObject::tr("saving \"%1\" (an unfinished copy may stay beside it)")
                          .arg(FileNames::printable(path)));
    // The folder's leftovers are cleared and the copy made where a share
    // that stalls holds up only this thread; Cancel discards meanwhile.
    m_thread->post(
        [this, job = m_job, path, opened = std::move(opened)](FileThread::Channel &thread) {
            const bool made = !thread.cancelled() && job->inner->open(path);
            job->record();
            thread.deliver([this, made, opened] {
                takeResults();
                opened(made);
            });
        });
}

void BackgroundTarget::takeResults()
{
    std::lock_guard lock(m_job->mutex);
    m_error = m_job->error;
    m_earlierKeptAs = m_job->earlierKeptAs;
}

bool BackgroundTarget::writeFailed()
{
    if (!m_job)
        return true;
    takeResults();
    std::lock_guard lock(m_job->mutex);
    return m_job->writeFailed;
}

bool BackgroundTarget::write(const QByteArray &bytes)
{
    if (writeFailed())
        return false;
    m_thread->post([job = m_job, bytes](FileThread::Channel &thread) {
        if (thread.cancelled() || job->inner->write(bytes))
            return;
        job->record();
        std::lock_guard lock(job->mutex);
        job->writeFailed = true;
    });
    return true;
}

void BackgroundTarget::finish(std::function<void(Committed)> done)
{
    if (writeFailed()) {
        done(Committed::Failed);
        return;
    }
    m_thread->post([this, job = m_job, done = std::move(done)](FileThread::Channel &thread) {
        Committed committed = Committed::Failed;
        bool failedBefore = false;
        {
            std::lock_guard lock(job->mutex);
            failedBefore = job->writeFailed;
        }
        // A write that failed has said why already; a discard that came
        // during a hung call leaves the steps not yet begun undone.
        if (!failedBefore && !thread.cancelled() && job->inner->sync() && !thread.cancelled())
            committed = job->inner->commit();
        if (!failedBefore)
            job->record();
        thread.deliver([this, done, committed] {
            takeResults();
            done(committed);
        });
    });
}

bool BackgroundTarget::abandon()
{
    return !m_job || m_job->inner->abandon();
}

void BackgroundTarget::discard()
{
    const std::shared_ptr<Job> job = std::exchange(m_job, nullptr);
    const std::unique_ptr<FileThread> thread = std::exchange(m_thread, nullptr);
    if (!job)
        return;
    job->inner->abandon(); // a step that hangs now renames nothing when it returns
    thread->cancel([job](FileThread::Channel &) { job->inner->discard(); });
}
