#include "SimLine.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {
QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

void makeRaw(int fd, bool setSpeed)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    if (setSpeed) {
        ::cfsetispeed(&tio, B19200);
        ::cfsetospeed(&tio, B19200);
    }
    ::tcsetattr(fd, TCSANOW, &tio);
}
} // namespace

SimLine::~SimLine()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SimLine::openDevice(const QString &path, QString *error)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        *error = systemError(qPrintable(path));
        return false;
    }
    makeRaw(m_fd, true);
    m_path = path;
    return true;
}

bool SimLine::openPseudoTerminal(QString *error)
{
    char name[256] = {};
    int peer = -1;
    if (::openpty(&m_fd, &peer, name, nullptr, nullptr) != 0) {
        *error = systemError("cannot create a pseudo-terminal");
        return false;
    }
    makeRaw(peer, false);
    // The program's end is not kept open here: a desk does not hold the PC's
    // port, and ZO Vovere refuses a port that another program has open.
    // While nobody has it open, reads at this end fail with EIO.
    ::close(peer);
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_path = QString::fromLocal8Bit(name);
    m_pseudoTerminal = true;
    return true;
}

bool SimLine::receive(QByteArray &data, qint64 quietMs, qint64 timeoutMs, qint64 bytesPerSecond,
                      QString *error)
{
    QElapsedTimer sinceLast, sinceFirst;
    sinceLast.start();
    char buffer[4096];
    for (;;) {
        const qint64 limit = data.isEmpty() ? timeoutMs : quietMs;
        const qint64 left = limit - sinceLast.elapsed();
        if (left <= 0)
            break;
        // A paced reader takes no more than the line would have carried
        // since the first byte; the rest waits in the sender's queue.
        qint64 allowed = qint64(sizeof buffer);
        if (bytesPerSecond > 0) {
            const qint64 carried =
                data.isEmpty() ? 0 : sinceFirst.elapsed() * bytesPerSecond / 1000;
            allowed = std::min<qint64>(allowed, carried + 16 - data.size());
            if (allowed <= 0) {
                sleepMs(std::max<qint64>(1, (1 - allowed) * 1000 / bytesPerSecond));
                sinceLast.restart(); // the line is busy, not quiet
                continue;
            }
        }
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(std::min<qint64>(left, 1000)));
        if (ready < 0 && errno != EINTR) {
            *error = systemError("poll");
            return false;
        }
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(m_fd, buffer, size_t(allowed));
        if (n > 0 && data.isEmpty())
            sinceFirst.start();
        if (n > 0) {
            data.append(buffer, n);
            sinceLast.restart();
        } else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
            *error = systemError("read");
            return false;
        } else {
            sleepMs(5); // EIO: nobody has the other end open right now
        }
    }
    if (data.isEmpty()) {
        *error = QStringLiteral("nothing arrived within %1 ms").arg(timeoutMs);
        return false;
    }
    return true;
}

bool SimLine::send(const QByteArray &data, qint64 bytesPerSecond, QString *error, qint64 burst)
{
    QElapsedTimer clock;
    clock.start();
    qint64 done = 0;
    while (done < data.size()) {
        qint64 allowed = data.size();
        if (bytesPerSecond > 0) {
            // What the line has carried by now, handed over as it comes or
            // a burst at a time; the next write is due once it reaches nextAt.
            const qint64 carried = clock.elapsed() * bytesPerSecond / 1000;
            const qint64 nextAt = burst > 0 ? done : done - 31;
            allowed = std::min<qint64>(data.size(),
                                       burst > 0 ? (carried / burst + 1) * burst : carried + 32);
            if (allowed <= done) {
                sleepMs(std::max<qint64>(1, (nextAt - carried) * 1000 / bytesPerSecond));
                continue;
            }
        }
        const ssize_t n = ::write(m_fd, data.constData() + done, size_t(allowed - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{m_fd, POLLOUT, 0};
            // While no program has the line open, a pseudo-terminal reports
            // a hang-up at once: wait for one as long as for room, instead
            // of spinning until it comes.
            if (::poll(&p, 1, 100) > 0 && (p.revents & POLLHUP))
                sleepMs(100);
        } else {
            *error = systemError("write");
            return false;
        }
    }
    return true;
}

void SimLine::drain()
{
    ::tcdrain(m_fd);
    if (!m_pseudoTerminal)
        return;
    // A pseudo-terminal drops what its reader has not taken yet when this end
    // closes, which a serial line pulled after the last byte does not do to
    // bytes already in the PC. Wait until the reader has taken them (or has
    // stopped taking them) before this end may go away.
    const int peer = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (peer < 0) {
        sleepMs(300); // the reader holds the line exclusively: give it time
        return;
    }
    // Written bytes reach the reader's queue a moment later: it counts as
    // taken only once it has read empty a few times in a row.
    QElapsedTimer total, sinceProgress;
    total.start();
    sinceProgress.start();
    int last = -1, emptyReadings = 0;
    while (total.elapsed() < 5000 && sinceProgress.elapsed() < 500 && emptyReadings < 4) {
        sleepMs(10);
        int waiting = 0;
        if (::ioctl(peer, TIOCINQ, &waiting) != 0)
            break;
        emptyReadings = waiting == 0 ? emptyReadings + 1 : 0;
        if (waiting != last) {
            last = waiting;
            sinceProgress.restart();
        }
    }
    ::close(peer);
}

void SimLine::waitForRelease()
{
    if (!m_pseudoTerminal)
        return;
    // The controller's end of a pseudo-terminal reports a hang-up once no
    // one has the program's end open any more. What the program might still
    // send is read and dropped, as a desk that is not receiving does.
    char ignored[256];
    for (;;) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, -1) < 0 && errno != EINTR)
            return;
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
            return;
        if ((p.revents & POLLIN) && ::read(m_fd, ignored, sizeof ignored) <= 0 && errno != EAGAIN &&
            errno != EINTR)
            return;
    }
}

void SimLine::sleepMs(qint64 ms)
{
    if (ms <= 0)
        return;
    timespec t{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}
