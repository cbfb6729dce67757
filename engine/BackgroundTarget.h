#pragma once

#include "FileThread.h"
#include "ReceiveTarget.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

// A receive target whose file work runs on a FileThread of its own per
// receive, so that a disk or a network share that stalls never holds up the
// window. Each receive also gets its own inner target, made by the factory,
// whose steps the thread takes one by one.
//
// openThen() and finish() deliver their results on the caller's thread
// through its event loop. Writes are gathered on the caller's thread and
// handed to the file thread in batches: once kBatch bytes have come, or
// kHandOverWait after the first of a smaller batch, so that the thread is
// woken once for many blocks on a fast line and a slow line's block waits
// only a moment. At most kInFlight bytes are on their way to the disk;
// beyond that hasRoom() says no, and whenRoom() tells when the disk has
// caught up. A write that failed is reported by the next write() or by
// finish(). discard() returns at once and abandons the inner target, so that
// no rename begins after it; the copy is removed once a call that hangs has
// returned, and a finish() still pending is never delivered. The destructor
// waits a little (kLastDiscards) for the removals.
class BackgroundTarget : public ReceiveTarget
{
  public:
    using Factory = std::function<std::unique_ptr<SteppedTarget>()>;

    // How long the destructor waits for copies still being removed, so that
    // a program that ends right after a Cancel leaves none behind.
    static constexpr std::chrono::milliseconds kLastDiscards{2000};
    // The largest batch handed over at once, and how much may be on its way
    // to the disk before the caller is asked to wait: a few large writes.
    static constexpr qsizetype kBatch = 64 * 1024;
    static constexpr qsizetype kInFlight = 4 * kBatch;
    // How long a batch smaller than kBatch waits for more.
    static constexpr std::chrono::milliseconds kHandOverWait{20};

    explicit BackgroundTarget(Factory factory);
    ~BackgroundTarget() override;
    BackgroundTarget(const BackgroundTarget &) = delete;
    BackgroundTarget &operator=(const BackgroundTarget &) = delete;

    void openThen(const QString &path, std::function<void(bool)> opened) override;
    bool write(const QByteArray &bytes) override;
    void finish(std::function<void(Committed)> done) override;
    void discard() override;
    bool abandon() override;
    bool hasRoom() const override;
    void whenRoom(std::function<void()> room) override;
    QString errorString() const override { return m_error; }
    QString earlierKeptAs() const override { return m_earlierKeptAs; }

  private:
    struct Job;
    bool writeFailed();
    void takeResults();
    void handOver();
    void roomAgain();

    Factory m_factory;
    QObject m_deliveries; // the thread's results arrive here
    std::shared_ptr<Job> m_job;
    std::unique_ptr<FileThread> m_thread;
    QByteArray m_batch;         // written, not yet handed to the thread
    QTimer m_handOver; // hands over a batch smaller than kBatch
    std::function<void()> m_room;
    QString m_error;
    QString m_earlierKeptAs;
};
