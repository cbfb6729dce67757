#include "TestLine.h"

#include <QFile>
#include <QList>
#include <QProcess>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

bool waitForProgramName(const QProcess &process, const QByteArray &name)
{
    return QTest::qWaitFor(
        [&] {
            QFile comm(QStringLiteral("/proc/%1/comm").arg(process.processId()));
            return comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name;
        },
        5000);
}

TestLine::TestLine(bool farEndOnly)
{
    const QByteArray pair = qgetenv("ZO_TEST_LINE");
    if (!pair.isEmpty()) {
        const QList<QByteArray> ends = pair.split(':');
        if (ends.size() != 2)
            return;
        const int far = ::open(ends[1].constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (far < 0)
            return;
        termios raw{};
        ::tcgetattr(far, &raw);
        ::cfmakeraw(&raw);
        raw.c_cflag |= CLOCAL | CREAD;
        raw.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
        ::cfsetispeed(&raw, B19200);
        ::cfsetospeed(&raw, B19200);
        ::tcsetattr(far, TCSANOW, &raw);
        ::tcflush(far, TCIOFLUSH);
        m_controller = far;
        m_pseudoTerminal = false;
        m_path = QString::fromLocal8Bit(ends[0]);
        return;
    }
    int controller = -1, device = -1;
    char name[256] = {};
    if (::openpty(&controller, &device, name, nullptr, nullptr) != 0)
        return;
    termios raw{};
    ::tcgetattr(device, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(device, TCSANOW, &raw);
    ::fcntl(controller, F_SETFL, ::fcntl(controller, F_GETFL) | O_NONBLOCK);
    // Not handed down to the programs a test starts: one that held the
    // controller's end would be the line's far end, not another user of it.
    ::fcntl(controller, F_SETFD, FD_CLOEXEC);
    ::fcntl(device, F_SETFD, FD_CLOEXEC);
    m_controller = controller;
    m_device = device;
    m_path = QString::fromLocal8Bit(name);
    if (farEndOnly) {
        ::close(m_device);
        m_device = -1;
    }
}

TestLine::~TestLine()
{
    closeController();
    if (m_device >= 0)
        ::close(m_device);
}

bool TestLine::write(const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::write(m_controller, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{m_controller, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

QByteArray TestLine::read(qsizetype count, std::chrono::milliseconds quiet)
{
    QByteArray got;
    char buffer[4096];
    while (got.size() < count) {
        pollfd p{m_controller, POLLIN, 0};
        if (::poll(&p, 1, int(quiet.count())) <= 0)
            break;
        const ssize_t n = ::read(m_controller, buffer, sizeof buffer);
        if (n <= 0 && errno != EAGAIN && errno != EINTR)
            break;
        if (n > 0)
            got.append(buffer, n);
    }
    return got;
}

void TestLine::closeController()
{
    if (m_controller >= 0) {
        ::close(m_controller);
        m_controller = -1;
    }
}
