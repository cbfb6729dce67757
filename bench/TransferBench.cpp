// Moves 64 MiB each way between the real program (window, engine and serial
// port, offscreen) and a far end over a pseudo-terminal pair, as fast as the
// line allows, and `cat` each way over the same kind of pair for comparison
// (`cat FILE >PTY`, `cat <PTY >FILE`), timed as the program is. The far
// end is a thread of this process doing no more than `cat`'s reader would:
// it reads (and checks) what the program sends, or writes a backup stream
// that was made before the clock starts. Prints one table row per
// measurement, tab-separated, the median of three rounds (or as many as the
// second argument says):
//   name  seconds  MiB/s  peak-RSS-above-idle-KiB  ok
// With --soak [N], runs N transfers (500) in one window instead; see soak().
// The test command runs a short soak.
#include "FakeFileDialog.h"
#include "MemorySettingsStore.h"
#include "SerialCommPort.h"
#include "SimStream.h"
#include "TestLine.h"
#include "WindowParts.h"
#include "frmGAbackup.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

qint64 kSize = 64 * 1024 * 1024; // or the MiB given as the first argument
int kRounds = 3;                 // or the number given as the second

using Clock = std::chrono::steady_clock;

// The bytes of the file sent: a fixed pseudo-random sequence, so that the
// far end can check what arrives without holding a copy.
struct Pattern
{
    quint32 state = 1;
    char next()
    {
        state = state * 1664525u + 1013904223u;
        return char(state >> 24);
    }
};

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

qint64 statusKiB(const char *field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

void resetPeak()
{
    QFile refs("/proc/self/clear_refs");
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

void row(const char *name, double seconds, qint64 peakKiB, bool ok)
{
    std::printf("%s\t%.2f\t%.0f\t%lld\t%s\n", name, seconds, double(kSize) / (1 << 20) / seconds,
                static_cast<long long>(peakKiB), ok ? "ok" : "FAILED");
    std::fflush(stdout);
}

struct Run
{
    double seconds = -1;
    qint64 peakKiB = 0;
    bool ok = false;
};

// The median time of the rounds, the highest peak, and ok only if every
// round was.
void row(const char *name, std::vector<Run> runs)
{
    std::sort(runs.begin(), runs.end(),
              [](const Run &a, const Run &b) { return a.seconds < b.seconds; });
    qint64 peak = 0;
    bool ok = !runs.empty();
    for (const Run &run : runs) {
        peak = std::max(peak, run.peakKiB);
        ok = ok && run.ok && run.seconds > 0;
    }
    row(name, runs.empty() ? -1 : runs[runs.size() / 2].seconds, peak, ok);
}

// Runs the event loop as the program does (QTest::qWaitFor sleeps between
// rounds and would pace the transfer) until done() holds.
bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    check.start(20);
    loop.exec();
    return done();
}

class BenchWindow : public frmGAbackup
{
  public:
    BenchWindow(SettingsStore &store, FakeFileDialog *&dialog)
        : frmGAbackup(store, partsWithFakeDialog(dialog))
    {
    }
    void messageBox(const QString &text) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        failed = true;
    }
    void SbrMessage(const QString &text) override
    {
        frmGAbackup::SbrMessage(text);
        noteText(text);
    }
    void showCount(Direction direction, qint64 bytes, const QString &text) override
    {
        frmGAbackup::showCount(direction, bytes, text);
        noteText(text);
    }
    void noteText(const QString &text)
    {
        if (text == finalText)
            finishedAt = Clock::now();
        if (text == "File has been saved.")
            savedAt = Clock::now();
    }
    bool failed = false;
    QString finalText;
    Clock::time_point finishedAt{}, savedAt{};
};

// Reads and drops up to size bytes from fd; how many came before a pause of
// 5 s or the end, and when the first and the last of them came.
qint64 drain(int fd, qint64 size, Clock::time_point &first, Clock::time_point &last)
{
    qint64 got = 0;
    char buffer[65536];
    while (got < size) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        if (got == 0)
            first = Clock::now();
        got += n;
    }
    last = Clock::now();
    return got;
}

// Writes all of data to fd as fast as it is taken; false when it stops
// taking it for 10 s or fails.
bool writeAll(int fd, const QByteArray &data)
{
    for (qint64 done = 0; done < data.size();) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 10000) <= 0)
            return false;
        const ssize_t n = ::write(fd, data.constData() + done,
                                  size_t(std::min<qint64>(data.size() - done, 65536)));
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// `cat FILE` into a raw pseudo-terminal, drained at the other end, timed as
// the program's send is: from the first byte at the far end to the last.
double catSendBaseline(const QString &file)
{
    TestLine line;
    QProcess cat;
    cat.setStandardInputFile(file);
    cat.setStandardOutputFile(line.path());
    cat.start("cat", {});
    Clock::time_point first{}, last{};
    const qint64 got = drain(line.controllerFd(), kSize, first, last);
    cat.waitForFinished();
    return got == kSize ? secondsBetween(first, last) : -1;
}

// `cat <PTY >FILE` taking stream from the far end, timed as the program's
// receive is: from the first byte written until the file holds the last one
// (its size looked at every millisecond).
double catReceiveBaseline(const QByteArray &stream, const QString &file)
{
    TestLine line;
    QProcess cat;
    cat.setStandardInputFile(line.path());
    cat.setStandardOutputFile(file);
    cat.start("cat", {});
    if (!cat.waitForStarted())
        return -1;
    const auto start = Clock::now();
    std::thread writer([&] { writeAll(line.controllerFd(), stream); });
    Clock::time_point end{};
    while (Clock::now() - start < std::chrono::seconds(60)) {
        if (QFileInfo(file).size() >= stream.size()) {
            end = Clock::now();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    writer.join();
    cat.kill();
    cat.waitForFinished();
    QFile::remove(file);
    return end != Clock::time_point{} ? secondsBetween(start, end) : -1;
}

// Time from handing a 1024-byte chunk to the port until its transmit-empty
// notification, on a pseudo-terminal drained by a reader thread.
void transmitEmptyLatency()
{
    TestLine line;
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char buffer[65536];
        while (!stop) {
            pollfd p{line.controllerFd(), POLLIN, 0};
            if (::poll(&p, 1, 50) > 0)
                if (::read(line.controllerFd(), buffer, sizeof buffer) < 0)
                    continue;
        }
    });
    SerialCommPort port([&](int) { return line.path(); });
    port.setPortOpen(true);
    port.setSThreshold(1);
    std::vector<qint64> samples;
    QElapsedTimer clock;
    QEventLoop loop;
    QObject::connect(&port, &SerialComm::OnComm, &loop, [&] {
        samples.push_back(clock.nsecsElapsed() / 1000);
        if (samples.size() == 1000) {
            loop.quit();
            return;
        }
        clock.start();
        port.Output(QByteArray(1024, 'x'));
    });
    clock.start();
    port.Output(QByteArray(1024, 'x'));
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    port.setPortOpen(false);
    stop = true;
    reader.join();
    std::sort(samples.begin(), samples.end());
    if (samples.empty())
        return;
    std::printf("transmit-empty latency\tmedian %lld us\t99th %lld us\tmax %lld us\t%zu samples\n",
                static_cast<long long>(samples[samples.size() / 2]),
                static_cast<long long>(samples[samples.size() * 99 / 100]),
                static_cast<long long>(samples.back()), samples.size());
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

// Many transfers in one program instance, sends and receives in turn,
// against a far end that holds only the master of a pseudo-terminal, as a
// desk does: a send of 4 KiB drained as fast as it comes, a receive of a
// 16 KiB backup written as fast as the line takes it, after which the far
// end stays on the line as a desk does (the backup is saved once the line has
// been quiet for three seconds). Open descriptors, threads and resident
// memory are printed at every tenth of the run; descriptors and threads may
// not grow after the first tenth, and every transfer must end as it should:
// the status is 1 otherwise.
int soak(BenchWindow &window, SettingsStore &store, FakeFileDialog *dialog, const QDir &dir,
         int transfers)
{
    const QString source = dir.filePath("profile.txt");
    const QByteArray profile(4096, 'p');
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || file.write(profile) != profile.size())
            return 1;
    }
    const QByteArray backup = SimStream::generate(16384);
    const QString target = dir.filePath("backup.txt");
    const int every = std::max(1, transfers / 10);
    std::printf("transfers\topen_fds\tthreads\trss_kib\tfailed\n");
    int failures = 0, fdsAfterFirst = -1;
    qint64 threadsAfterFirst = -1;
    bool grew = false;
    for (int done = 0; done <= transfers; ++done) {
        if (done % every == 0 || done == transfers) {
            const int fds = openDescriptors();
            const qint64 threads = statusKiB("Threads:");
            std::printf("%d\t%d\t%lld\t%lld\t%d\n", done, fds, static_cast<long long>(threads),
                        static_cast<long long>(statusKiB("VmRSS:")), failures);
            std::fflush(stdout);
            if (done == every) {
                fdsAfterFirst = fds;
                threadsAfterFirst = threads;
            } else if (done > every && (fds > fdsAfterFirst || threads > threadsAfterFirst)) {
                grew = true;
            }
        }
        if (done == transfers)
            break;
        TestLine line(true);
        store.write("Ports", "COM2", line.path());
        window.failed = false;
        window.finishedAt = window.savedAt = {};
        std::thread farEnd;
        std::atomic<bool> farEndOk{true};
        const bool sending = done % 2 == 0;
        if (sending) {
            window.finalText = "file has been sent";
            dialog->choose = source;
            window.cmdSend->click();
            // The port opens once the file has, on the file thread.
            waitUntil([&] { return window.Comm1().PortOpen(); }, 5000);
            farEnd = std::thread([&line, &farEndOk, &profile] {
                farEndOk = line.read(profile.size(), std::chrono::seconds(5)) == profile;
            });
        } else {
            window.finalText = "File has been saved.";
            dialog->choose = target;
            window.cmdReceive->click();
            waitUntil([&] { return window.Comm1().PortOpen(); }, 5000);
            farEnd = std::thread([&line, &farEndOk, &backup] { farEndOk = line.write(backup); });
        }
        const bool ended = waitUntil(
            [&] { return window.finishedAt != Clock::time_point{} || window.failed; }, 20000);
        farEnd.join();
        bool ok = ended && !window.failed && farEndOk;
        if (ok && !sending) {
            QFile saved(target);
            ok = saved.open(QIODevice::ReadOnly) && saved.readAll() == backup;
        }
        if (!ok) {
            ++failures;
            std::fprintf(stderr, "transfer %d (%s) failed [%d %d %d]\n", done + 1,
                         sending ? "send" : "receive", int(ended), int(window.failed), int(farEndOk.load()));
        }
    }
    if (grew)
        std::fprintf(stderr, "open descriptors or threads grew during the soak\n");
    return failures == 0 && !grew ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool soaking = argc > 1 && QByteArray(argv[1]) == "--soak";
    if (argc > 1 && !soaking)
        kSize = QByteArray(argv[1]).toLongLong() * 1024 * 1024;
    if (argc > 2)
        kRounds = std::max(1, QByteArray(argv[2]).toInt());
    QTemporaryDir dir;
    if (soaking) {
        MemorySettingsStore store;
        FakeFileDialog *dialog = nullptr;
        BenchWindow window(store, dialog);
        window.show();
        QTest::qWait(200);
        return soak(window, store, dialog, QDir(dir.path()), argc > 2 ? std::atoi(argv[2]) : 500);
    }
    const QString source = dir.filePath("source.bin");
    {
        QFile file(source);
        file.open(QIODevice::WriteOnly);
        QByteArray chunk(1 << 20, '\0');
        Pattern pattern;
        for (qint64 done = 0; done < kSize; done += chunk.size()) {
            for (char &c : chunk)
                c = pattern.next();
            file.write(chunk);
        }
    }

    MemorySettingsStore store;
    FakeFileDialog *dialog = nullptr;
    BenchWindow window(store, dialog);
    window.show();
    QTest::qWait(200);

    // Send: the program reads the file and paces chunks by transmit-empty;
    // the clock stops when the far end has the last byte.
    auto send = [&] {
        TestLine line;
        store.write("Ports", "COM2", line.path());
        std::atomic<bool> matches{true};
        Clock::time_point firstByte{}, lastByte{};
        std::thread reader([&] {
            Pattern expected;
            qint64 got = 0;
            std::vector<char> buffer(65536);
            while (got < kSize) {
                pollfd p{line.controllerFd(), POLLIN, 0};
                if (::poll(&p, 1, 10000) <= 0)
                    break;
                const ssize_t n = ::read(line.controllerFd(), buffer.data(), buffer.size());
                if (n <= 0)
                    break;
                if (got == 0)
                    firstByte = Clock::now();
                for (ssize_t i = 0; i < n; ++i)
                    if (buffer[size_t(i)] != expected.next())
                        matches = false;
                got += n;
            }
            lastByte = Clock::now();
            if (got != kSize)
                matches = false;
        });
        dialog->choose = source;
        window.finalText = "file has been sent";
        const qint64 idle = statusKiB("VmRSS:");
        resetPeak();
        window.cmdSend->click();
        waitUntil([&] { return window.finishedAt != Clock::time_point{} || window.failed; },
                  600000);
        const qint64 peak = statusKiB("VmHWM:") - idle;
        reader.join();
        window.finishedAt = {};
        return Run{secondsBetween(firstByte, lastByte), peak, !window.failed && matches};
    };

    // Receive: a backup stream made beforehand is written as fast as the
    // line takes it. The clock runs from the first byte written until the
    // program shows the last block received, that is written to the file;
    // "File has been saved." follows once the line has been quiet for 3 s,
    // and only then is the file compared.
    const QByteArray stream = SimStream::generate(kSize);
    auto receive = [&] {
        TestLine line;
        store.write("Ports", "COM2", line.path());
        dialog->choose = dir.filePath("received.bin");
        window.finalText = QString::number(kSize) + " bytes received";
        window.cmdReceive->click();
        waitUntil([&] { return window.Comm1().PortOpen(); }, 5000);
        const qint64 idle = statusKiB("VmRSS:");
        resetPeak();
        Clock::time_point start{};
        std::atomic<bool> written{false};
        std::thread writer([&] {
            start = Clock::now();
            written = writeAll(line.controllerFd(), stream);
        });
        waitUntil([&] { return window.savedAt != Clock::time_point{} || window.failed; }, 600000);
        const qint64 peak = statusKiB("VmHWM:") - idle;
        writer.join();
        QFile saved(dir.filePath("received.bin"));
        const bool ok = !window.failed && written && window.finishedAt != Clock::time_point{} &&
                        saved.open(QIODevice::ReadOnly) && saved.readAll() == stream;
        Run run{secondsBetween(start, window.finishedAt), peak, ok};
        window.finishedAt = window.savedAt = {};
        QFile::remove(dir.filePath("received.bin"));
        return run;
    };

    // Rounds taken in turn, so that a slow moment of the machine does not
    // fall on one of them only.
    std::vector<Run> catSends, catReceives, sends, receives;
    for (int round = 0; round < kRounds; ++round) {
        const double catSend = catSendBaseline(source);
        catSends.push_back({catSend, 0, catSend > 0});
        sends.push_back(send());
        const double catReceive = catReceiveBaseline(stream, dir.filePath("cat.bin"));
        catReceives.push_back({catReceive, 0, catReceive > 0});
        receives.push_back(receive());
    }
    std::printf("name\tseconds\tMiB/s\tpeak_rss_above_idle_KiB\tresult\n");
    row("cat FILE >PTY", catSends);
    row("cat <PTY >FILE", catReceives);
    row("zo-vovere send", sends);
    row("zo-vovere receive", receives);
    window.close();
    transmitEmptyLatency();
    return 0;
}
