#include "ShutdownSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <utility>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {
#ifdef Q_OS_UNIX
constexpr std::array kSignals{SIGTERM, SIGHUP, SIGINT};
// One live object at a time. Read by the handler: an object of a type the
// handler may read.
volatile std::sig_atomic_t g_writeEnd = -1;
std::array<struct sigaction, kSignals.size()> g_previous{};

extern "C" void onShutdownSignal(int number)
{
    // Only what is safe in a handler: write() keeps errno, so save it.
    const int savedErrno = errno;
    const char byte = char(number);
    if (const int end = g_writeEnd; end >= 0) [[maybe_unused]]
        const ssize_t n = ::write(end, &byte, 1);
    errno = savedErrno;
}
#endif
} // namespace

ShutdownSignals::ShutdownSignals(QObject *parent) : QObject(parent)
{
#ifdef Q_OS_UNIX
    int ends[2];
    if (g_writeEnd >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return;
    ::fcntl(ends[1], F_SETFL, ::fcntl(ends[1], F_GETFL) | O_NONBLOCK);
    g_writeEnd = ends[1];
    m_notifier = new QSocketNotifier(ends[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(int(m_notifier->socket()), &byte, 1) == 1)
            emit received(int(byte));
    });
    struct sigaction action
    {
    };
    action.sa_handler = onShutdownSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
#endif
}

ShutdownSignals::~ShutdownSignals()
{
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    for (size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    const int writeEnd = g_writeEnd;
    g_writeEnd = -1;
    ::close(writeEnd);
    const int readEnd = int(m_notifier->socket());
    delete m_notifier;
    ::close(readEnd);
#endif
}
