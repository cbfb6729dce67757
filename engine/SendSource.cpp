#include "SendSource.h"

#include "FileKinds.h"
#include "FileNames.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

FileSource::~FileSource()
{
    close();
}

void FileSource::open(const QString &path, qint64 largest, Opened opened)
{
    close();
    // Larger files are refused before anything is opened; only regular files
    // are opened at all, unbuffered: one chunk at a time is all that is read.
    Opening opening;
    QFile file;
    if (FileKinds::size(path) > largest) {
        opening.tooLarge = true;
    } else if (FileKinds::openRegularForReading(file, path, &opening.error)) {
        opening.size = file.size();
        if (opening.size > largest) // grew since it was looked at
            opening.tooLarge = true;
        else if ((m_fd = ::fcntl(file.handle(), F_DUPFD_CLOEXEC, 0)) < 0)
            opening.error = QString::fromLocal8Bit(std::strerror(errno));
    }
    opened(opening);
}

void FileSource::read(qint64 length, Ready ready)
{
    QByteArray chunk(length, '\0');
    qint64 got = 0;
    QString error;
    while (got < length) {
        const ssize_t n = ::read(m_fd, chunk.data() + got, size_t(length - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = QString::fromLocal8Bit(std::strerror(errno));
        if (n <= 0)
            break;
        got += n;
    }
    chunk.truncate(got);
    ready(chunk, error);
}

void FileSource::close()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
}

BackgroundSource::BackgroundSource(Factory factory) : m_factory(std::move(factory)) {}

BackgroundSource::~BackgroundSource()
{
    close();
}

void BackgroundSource::open(const QString &path, qint64 largest, Opened opened)
{
    close();
    m_file = m_factory ? m_factory() : std::make_shared<FileSource>();
    m_thread = std::make_unique<FileThread>(
        m_deliveries, QObject::tr("reading \"%1\"").arg(FileNames::printable(path)));
    m_thread->post([file = m_file, path, largest, opened](FileThread::Channel &thread) {
        file->open(path, largest, [&](const Opening &opening) {
            thread.deliver([opened, opening] { opened(opening); });
        });
    });
}

void BackgroundSource::read(qint64 length, Ready ready)
{
    if (!m_thread)
        return;
    m_wanted = length;
    m_ready = std::move(ready);
    serve();
}

void BackgroundSource::serve()
{
    if (!m_ready)
        return;
    if (m_ahead.size() < m_wanted && !m_ended) {
        fetch();
        return;
    }
    const QByteArray chunk = m_ahead.left(m_wanted);
    m_ahead.remove(0, chunk.size());
    const QString error = chunk.size() < m_wanted ? m_error : QString();
    const Ready ready = std::exchange(m_ready, nullptr);
    fetch(); // the next chunk is read while this one goes out
    ready(chunk, error);
}

void BackgroundSource::fetch()
{
    if (!m_thread || m_fetching || m_ended || m_ahead.size() >= kAhead)
        return;
    m_fetching = true;
    const qint64 length = kAhead - m_ahead.size();
    m_thread->post([this, file = m_file, length](FileThread::Channel &thread) {
        file->read(length, [&](const QByteArray &piece, const QString &error) {
            // Runs on this object's thread, and never after close().
            thread.deliver([this, piece, error, length] {
                m_fetching = false;
                m_ahead += piece;
                if (piece.size() < length) {
                    m_ended = true;
                    m_error = error;
                }
                serve();
                fetch();
            });
        });
    });
}

void BackgroundSource::close()
{
    const std::shared_ptr<SendSource> file = std::exchange(m_file, nullptr);
    const std::unique_ptr<FileThread> thread = std::exchange(m_thread, nullptr);
    m_ahead.clear();
    m_error.clear();
    m_ended = m_fetching = false;
    m_ready = nullptr;
    if (thread)
        thread->cancel([file](FileThread::Channel &) { file->close(); });
}
