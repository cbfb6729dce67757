// Start-up as a user sees it: the time from starting a program to its first
// window being mapped (the X server's MapNotify for a child of the root
// window, told to this client as it happens, nothing polled).
//
//   zo-bench-mapped PROGRAM [ARG...]
//
// Prints the milliseconds and the program's resident memory (KiB) a second
// later, then ends the program. Needs DISPLAY.
#include <X11/Xlib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [ARG...]\n", argv[0]);
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "zo-bench-mapped: no display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    const double start = nowMs();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    double mapped = -1;
    while (mapped < 0 && nowMs() - start < 20000) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect) {
                mapped = nowMs();
                break;
            }
        }
        if (mapped < 0) {
            pollfd p{ConnectionNumber(display), POLLIN, 0};
            ::poll(&p, 1, 100);
        }
    }
    if (mapped >= 0) {
        ::sleep(1);
        std::printf("%.1f %ld\n", mapped - start, residentKiB(pid));
    } else {
        std::printf("timeout 0\n");
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    XCloseDisplay(display);
    return mapped >= 0 ? 0 : 1;
}
