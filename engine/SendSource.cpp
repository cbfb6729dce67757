#include "SendSource.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

FileSource::~FileSource()
{
    close();
}

bool FileSource::start(QFile &file, QString *reason)
{
    close();
    m_fd = ::fcntl(file.handle(), F_DUPFD_CLOEXEC, 0);
    if (m_fd < 0)
        *reason = QString::fromLocal8Bit(std::strerror(errno));
    return m_fd >= 0;
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

bool BackgroundSource::start(QFile &file, QString *reason)
{
    close();
    std::shared_ptr<SendSource> source = m_factory ? m_factory() : std::make_shared<FileSource>();
    if (!source->start(file, reason))
        return false;
    m_file = std::move(source);
    m_thread = std::make_unique<FileThread>();
    return true;
}

void BackgroundSource::read(qint64 length, Ready ready)
{
    if (!m_thread)
        return;
    m_thread->post([file = m_file, length, ready](FileThread::Channel &thread) {
        file->read(length, [&](const QByteArray &chunk, const QString &error) {
            thread.deliver([ready, chunk, error] { ready(chunk, error); });
        });
    });
}

void BackgroundSource::close()
{
    const std::shared_ptr<SendSource> file = std::exchange(m_file, nullptr);
    const std::unique_ptr<FileThread> thread = std::exchange(m_thread, nullptr);
    if (thread)
        thread->cancel([file](FileThread::Channel &) { file->close(); });
}
