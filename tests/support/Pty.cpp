#include "Pty.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty()
{
    int controller = -1, device = -1;
    char name[256] = {};
    if (::openpty(&controller, &device, name, nullptr, nullptr) != 0)
        return;
    termios raw{};
    ::tcgetattr(device, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(device, TCSANOW, &raw);
    ::fcntl(controller, F_SETFL, ::fcntl(controller, F_GETFL) | O_NONBLOCK);
    m_controller = controller;
    m_device = device;
    m_path = QString::fromLocal8Bit(name);
}

Pty::~Pty()
{
    closeController();
    if (m_device >= 0)
        ::close(m_device);
}

bool Pty::write(const QByteArray &data)
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

QByteArray Pty::read(qsizetype count, std::chrono::milliseconds quiet)
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

void Pty::closeController()
{
    if (m_controller >= 0) {
        ::close(m_controller);
        m_controller = -1;
    }
}
