#pragma once

#include "FileThread.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>
#include <memory>

// Where a send's chunks come from: the file opened for it, read one chunk
// at a time, in order.
class SendSource
{
  public:
    // The chunk read, and why it is short: empty error with a short chunk
    // means the file ended early.
    using Ready = std::function<void(const QByteArray &chunk, const QString &error)>;

    virtual ~SendSource() = default;
    // Reads from file from now on; the caller may close its own file.
    virtual bool start(QFile &file, QString *reason) = 0;
    // The next length bytes, handed to ready at once or later, from the
    // caller's event loop.
    virtual void read(qint64 length, Ready ready) = 0;
    // The file is closed; a read still pending is never handed over.
    virtual void close() = 0;
};

// Reads on the caller's thread.
class FileSource : public SendSource
{
  public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;

    bool start(QFile &file, QString *reason) override;
    void read(qint64 length, Ready ready) override;
    void close() override;

  private:
    int m_fd = -1;
};

// Reads on a FileThread of its own per send, so that a file on a stalled
// share or stick never holds up the window.
class BackgroundSource : public SendSource
{
  public:
    using Factory = std::function<std::shared_ptr<SendSource>()>;
    // Each send reads through a source of its own, a FileSource unless the
    // factory makes another.
    explicit BackgroundSource(Factory factory = {});
    ~BackgroundSource() override;
    BackgroundSource(const BackgroundSource &) = delete;
    BackgroundSource &operator=(const BackgroundSource &) = delete;

    bool start(QFile &file, QString *reason) override;
    void read(qint64 length, Ready ready) override;
    void close() override;

  private:
    Factory m_factory;
    std::shared_ptr<SendSource> m_file;
    std::unique_ptr<FileThread> m_thread;
};
