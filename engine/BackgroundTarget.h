#pragma once

#include "FileThread.h"
#include "ReceiveTarget.h"

#include <chrono>
#include <functional>
#include <memory>

// A receive target whose file work runs on a FileThread of its own per
// receive, so that a disk or a network share that stalls never holds up the
// window. Each receive also gets its own inner target, made by the factory.
//
// openThen() makes the copy on the thread too and tells the caller how that
// went through its event loop; open(), sync() and commit() wait for the
// thread instead (the engine calls none of them). Writes are queued in
// order; a write that failed is reported by the next write() or by finish().
// finish() delivers its result on the caller's thread through its event loop.
// discard() returns at once and abandons the inner target, so that no rename
// begins after it; the copy is removed once a call that hangs has returned,
// and a finish() still pending is never delivered.
class BackgroundTarget : public ReceiveTarget
{
  public:
    using Factory = std::function<std::unique_ptr<ReceiveTarget>()>;

    // How long the destructor waits for copies still being removed, so that
    // a program that ends right after a Cancel leaves none behind.
    static constexpr std::chrono::milliseconds kLastDiscards{2000};

    explicit BackgroundTarget(Factory factory);
    ~BackgroundTarget() override;
    BackgroundTarget(const BackgroundTarget &) = delete;
    BackgroundTarget &operator=(const BackgroundTarget &) = delete;

    bool open(const QString &path) override;
    void openThen(const QString &path, std::function<void(bool)> opened) override;
    bool write(const QByteArray &bytes) override;
    bool sync() override;
    Committed commit() override;
    void finish(std::function<void(Committed)> done) override;
    void discard() override;
    QString errorString() const override { return m_error; }
    QString earlierKeptAs() const override { return m_earlierKeptAs; }

  private:
    struct Job;
    template <typename Result> Result wait(std::function<Result(ReceiveTarget &)> step);
    void begin();
    bool writeFailed();
    void takeResults();

    Factory m_factory;
    std::shared_ptr<Job> m_job;
    std::unique_ptr<FileThread> m_thread;
    QString m_error;
    QString m_earlierKeptAs;
};
