#include "LineDriver.h"

#include <cerrno>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

// Linux: the tty ioctls, each guarded by the request being defined, as the
// kernel headers of other Unixes may lack one.
class TtyDriver final : public LineDriver
{
  public:
    Count inputQueue(int fd) const override
    {
#if defined(Q_OS_LINUX) && defined(TIOCINQ)
        return ask(fd, TIOCINQ);
#else
        Q_UNUSED(fd);
        return {};
#endif
    }
    Count outputQueue(int fd) const override
    {
#if defined(Q_OS_LINUX) && defined(TIOCOUTQ)
        return ask(fd, TIOCOUTQ);
#else
        Q_UNUSED(fd);
        return {};
#endif
    }
    bool counters(int fd, Counters &out) const override
    {
#if defined(Q_OS_LINUX) && defined(TIOCGICOUNT)
        serial_icounter_struct now{};
        if (::ioctl(fd, TIOCGICOUNT, &now) != 0)
            return false;
        out = {now.frame, now.overrun, now.parity, now.brk, now.buf_overrun};
        return true;
#else
        Q_UNUSED(fd);
        Q_UNUSED(out);
        return false;
#endif
    }
    bool lockExclusive(int fd) const override
    {
#ifdef Q_OS_LINUX
        return ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
#else
        Q_UNUSED(fd);
        return true;
#endif
    }
    qint64 writeNow(int fd, const char *data, qint64 size) const override
    {
#ifdef Q_OS_LINUX
        const ssize_t n = ::write(fd, data, size_t(size));
        return n < 0 ? -1 : qint64(n);
#else
        Q_UNUSED(fd);
        Q_UNUSED(data);
        Q_UNUSED(size);
        return -1;
#endif
    }

    qint64 readNow(int fd, char *data, qint64 size) const override
    {
#ifdef Q_OS_LINUX
        const ssize_t n = ::read(fd, data, size_t(size));
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return 0;
        return n < 0 ? -1 : qint64(n);
#else
        Q_UNUSED(fd);
        Q_UNUSED(data);
        Q_UNUSED(size);
        return -1;
#endif
    }

  private:
#ifdef Q_OS_LINUX
    static Count ask(int fd, unsigned long request)
    {
        int value = 0;
        if (::ioctl(fd, request, &value) == 0)
            return {Count::State::Known, value};
        // A device that does not keep the count says so; any other failure
        // may be a device that has gone.
        return {errno == ENOTTY || errno == EINVAL ? Count::State::Unknown : Count::State::Failed,
                0};
    }
#endif
};

} // namespace

std::shared_ptr<const LineDriver> LineDriver::system()
{
    static const auto driver = std::make_shared<const TtyDriver>();
    return driver;
}
