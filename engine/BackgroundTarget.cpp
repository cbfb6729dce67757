#include "BackgroundTarget.h"

#include "FileNames.h"

#include <atomic>
#include <mutex>

// One receive's inner target and what its thread tells the caller. Owned by
// the tasks too, so that it outlives a call that hangs.
struct BackgroundTarget::Job
{
    std::unique_ptr<SteppedTarget> inner;
    std::mutex mutex;
    std::atomic<bool> writeFailed{false};
    std::atomic<qsizetype> inFlight{0}; // handed to the thread, not yet written
    std::atomic<bool> roomWanted{false};
    QString error;
    QString earlierKeptAs;

    void record()
    {
        std::lock_guard lock(mutex);
        error = inner->errorString();
        earlierKeptAs = inner->earlierKeptAs();
    }
};

BackgroundTarget::BackgroundTarget(Factory factory) : m_factory(std::move(factory))
{
    m_handOver.setSingleShot(true);
    m_handOver.setInterval(kHandOverWait);
    QObject::connect(&m_handOver, &QTimer::timeout, &m_deliveries, [this] { handOver(); });
}

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
    if (!m_job->writeFailed)
        return false;
    takeResults();
    return true;
}

bool BackgroundTarget::write(const QByteArray &bytes)
{
    if (writeFailed())
        return false;
    if (m_batch.isEmpty())
        m_batch = bytes; // shared, not copied
    else
        m_batch += bytes;
    // A fast line fills a whole batch, and the thread is woken once for it;
    // on a slow one, a block waits at most kHandOverWait.
    if (m_batch.size() >= kBatch)
        handOver();
    else if (!m_handOver.isActive())
        m_handOver.start();
    return true;
}

void BackgroundTarget::handOver()
{
    m_handOver.stop();
    if (m_batch.isEmpty() || !m_job)
        return;
    const QByteArray batch = std::exchange(m_batch, {});
    m_job->inFlight += batch.size();
    m_thread->post([this, job = m_job, batch](FileThread::Channel &thread) {
        if (!thread.cancelled() && !job->inner->write(batch)) {
            job->record();
            job->writeFailed = true;
        }
        // The caller waits for room until half of what may be on its way
        // has been written, so that it is not woken for every batch.
        const qsizetype left = job->inFlight -= batch.size();
        if (left <= kInFlight / 2 && job->roomWanted.exchange(false))
            thread.deliver([this] { roomAgain(); });
    });
}

bool BackgroundTarget::hasRoom() const
{
    return !m_job || m_job->inFlight + m_batch.size() < kInFlight;
}

void BackgroundTarget::whenRoom(std::function<void()> room)
{
    if (!m_job)
        return;
    m_room = std::move(room);
    handOver(); // a batch waiting for its timer would only hold up the disk
    m_job->roomWanted = true;
    // The thread may have caught up before it could see the wish.
    if (m_job->inFlight <= kInFlight / 2 && m_job->roomWanted.exchange(false))
        QMetaObject::invokeMethod(
            &m_deliveries,
            [this, job = m_job] {
                if (job == m_job)
                    roomAgain();
            },
            Qt::QueuedConnection);
}

void BackgroundTarget::roomAgain()
{
    if (std::function<void()> room = std::exchange(m_room, {}))
        room();
}

void BackgroundTarget::finish(std::function<void(Committed)> done)
{
    handOver();
    if (writeFailed()) {
        done(Committed::Failed);
        return;
    }
    m_thread->post([this, job = m_job, done = std::move(done)](FileThread::Channel &thread) {
        Committed committed = Committed::Failed;
        const bool failedBefore = job->writeFailed;
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
    m_batch.clear();
    m_handOver.stop();
    m_room = {};
    const std::shared_ptr<Job> job = std::exchange(m_job, nullptr);
    const std::unique_ptr<FileThread> thread = std::exchange(m_thread, nullptr);
    if (!job)
        return;
    job->inner->abandon(); // a step that hangs now renames nothing when it returns
    thread->cancel([job](FileThread::Channel &) { job->inner->discard(); });
}
