// The far end of a transfer bench round, a process of its own that holds
// only the controller's side of a pseudo-terminal (its standard input or
// output), as a desk simulator or socat does, so that its work never shares
// a thread with the program measured:
//
//   zo-bench-far-end feed FILE REPORT    writes FILE to standard output as
//                                        fast as it is taken
//   zo-bench-far-end drain SIZE REPORT   reads SIZE bytes from standard input
//                                        (gives up after 10 s without a byte)
//   zo-bench-far-end floor FILE TTY      the fastest a send can go with the
//                                        program's chunking: FILE written to
//                                        TTY 1024 bytes at a time, each chunk
//                                        once the driver's output queue reads
//                                        empty, nothing else done
//
// REPORT receives one line: the monotonic clock (ns) at the first and at the
// last byte, the byte count and a 64-bit FNV-1a hash of the bytes.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

int64_t nowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

struct Tally
{
    int64_t first = 0, last = 0, bytes = 0;
    uint64_t hash = 1469598103934665603ull;
    void add(const char *data, ssize_t n)
    {
        if (bytes == 0)
            first = nowNs();
        for (ssize_t i = 0; i < n; ++i)
            hash = (hash ^ uint8_t(data[i])) * 1099511628211ull;
        bytes += n;
        last = nowNs();
    }
    int report(const char *path) const
    {
        FILE *out = std::fopen(path, "w");
        if (!out)
            return 1;
        std::fprintf(out, "%lld %lld %lld %016llx\n", (long long)first, (long long)last,
                     (long long)bytes, (unsigned long long)hash);
        return std::fclose(out) == 0 ? 0 : 1;
    }
};

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 10000);
            continue;
        }
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

int feed(const char *file, const char *report)
{
    const int in = ::open(file, O_RDONLY);
    if (in < 0)
        return 1;
    Tally tally;
    static char buffer[1 << 16];
    ssize_t n = 0;
    while ((n = ::read(in, buffer, sizeof buffer)) > 0) {
        if (tally.bytes == 0)
            tally.first = nowNs();
        if (!writeAll(STDOUT_FILENO, buffer, size_t(n)))
            return 1;
        tally.bytes += n;
    }
    tally.last = nowNs();
    return tally.report(report);
}

int drain(int64_t size, const char *report)
{
    Tally tally;
    static char buffer[1 << 16];
    int64_t since = nowNs();
    while (tally.bytes < size && nowNs() - since < 10000000000) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        ::poll(&p, 1, 100);
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        // Until the program opens its side, the pair reports a hang-up.
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EIO)) {
            if (errno == EIO)
                ::poll(nullptr, 0, 1);
            continue;
        }
        if (n <= 0)
            break;
        tally.add(buffer, n);
        since = nowNs();
    }
    return tally.report(report);
}

int floorSend(const char *file, const char *tty)
{
    const int in = ::open(file, O_RDONLY);
    const int out = ::open(tty, O_RDWR | O_NOCTTY);
    if (in < 0 || out < 0)
        return 1;
    termios settings{};
    if (tcgetattr(out, &settings) == 0) {
        cfmakeraw(&settings);
        cfsetspeed(&settings, B19200);
        tcsetattr(out, TCSANOW, &settings);
    }
    char chunk[1024];
    ssize_t n = 0;
    while ((n = ::read(in, chunk, sizeof chunk)) > 0) {
        if (!writeAll(out, chunk, size_t(n)))
            return 1;
        int queued = 0;
        while (::ioctl(out, TIOCOUTQ, &queued) == 0 && queued > 0)
            ::poll(nullptr, 0, 1);
    }
    return ::close(out) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "feed") == 0)
        return feed(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "drain") == 0)
        return drain(std::atoll(argv[2]), argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "floor") == 0)
        return floorSend(argv[2], argv[3]);
    std::fprintf(stderr, "usage: %s feed FILE REPORT | drain SIZE REPORT | floor FILE TTY\n",
                 argv[0]);
    return 2;
}
