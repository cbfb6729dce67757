#pragma once

#include "FileThread.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// Where a send's chunks come from: the file opened for it, read one chunk
// at a time, in order.
class SendSource
{
  public:
    // How an open ended: the file's size once open; tooLarge when it is, or
    // grew to be, larger than the caller can send (nothing is read then);
    // otherwise error says why it could not be opened.
    struct Opening
    {
        qint64 size = -1;
        bool tooLarge = false;
        QString error;
        bool opened() const { return !tooLarge && error.isEmpty(); }
    };
    using Opened = std::function<void(const Opening &)>;
    // The chunk read, and why it is short: empty error with a short chunk
    // means the file ended early.
    using Ready = std::function<void(const QByteArray &chunk, const QString &error)>;

    virtual ~SendSource() = default;
    // Opens the regular file at path for reading, unless it is larger than
    // largest bytes; the result goes to opened, at once or later from the
    // caller's event loop, and never after close().
    virtual void open(const QString &path, qint64 largest, Opened opened) = 0;
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

    void open(const QString &path, qint64 largest, Opened opened) override;
    void read(qint64 length, Ready ready) override;
    void close() override;

  private:
    int m_fd = -1;
};

// Opens and reads on a FileThread of its own per send, so that a file on a
// stalled share or stick never holds up the window. It reads ahead by up to
// kAhead bytes, so that the next chunk is usually there when the port asks
// for it instead of a round trip to the thread later.
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

    void open(const QString &path, qint64 largest, Opened opened) override;
    void read(qint64 length, Ready ready) override;
    void close() override;

    static constexpr qint64 kAhead = 16 * 1024;

  private:
    void serve();
    void fetch();

    Factory m_factory;
    QObject m_deliveries; // the thread's results arrive here
    std::shared_ptr<SendSource> m_file;
    std::unique_ptr<FileThread> m_thread;
    QByteArray m_ahead;   // read, not yet handed over
    QString m_error;      // why the file ended early, once it has
    bool m_ended = false; // the file has given all it will
    bool m_fetching = false;
    qint64 m_wanted = 0;
    Ready m_ready; // the caller waiting for m_wanted bytes
};
