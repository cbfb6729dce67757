// Moves files each way between the real program and a far end over a
// pseudo-terminal pair, as fast as the line allows, in both front ends: the
// window (offscreen, in this process) and the terminal (zo-vovere --send /
// --receive, a process of its own). The far end is a process of its own too
// (bench/FarEnd.cpp) that holds only the controller's side of the pair, as a
// desk simulator does. References, over the same kind of pair:
//  - a send against the chunking floor: a program that writes the file in the
//    protocol's 1024-byte chunks, each once the driver's output queue is
//    empty, and does nothing else;
//  - a receive against `cat <PTY >FILE`.
// A send is timed from the first byte at the far end to the last; a receive
// from the far end's first byte until the file being written holds the last
// (looked at every millisecond, for `cat` and the program alike); every
// transfer is compared by hash. Prints one row per measurement, tab-separated,
// the median of the rounds (taken in turn), with the highest peak resident
// memory: above the idle window's for the window, the whole process's
// otherwise:
//   mode  way  MiB  seconds  MiB/s  peak_rss_KiB  result
//
//   zo-bench-transfer [MIB[,MIB...]] [ROUNDS] [RECEIVE_FOLDER]
//
// RECEIVE_FOLDER is where receives write (a slow disk, say). With --soak [N],
// runs N transfers (500) in one window instead; see soak(). The test command
// runs a short soak.
#include "FakeFileDialog.h"
#include "MemorySettingsStore.h"
#include "SerialCommPort.h"
#include "SimStream.h"
#include "TestLine.h"
#include "WindowParts.h"
#include "frmGAbackup.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
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
#include <csignal>
#include <dirent.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

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
    void showCount(Direction direction, qint64 bytes, const QString &words) override
    {
        frmGAbackup::showCount(direction, bytes, words);
        if (bytes == finalCount)
            noteText(finalText);
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
    qint64 finalCount = -1; // the count that stands for finalText
    Clock::time_point finishedAt{}, savedAt{};
};

// A far end in a process of its own (bench/FarEnd.cpp), with the
// controller's side of a pseudo-terminal as its standard input or output.
class FarEnd
{
  public:
    struct Result
    {
        qint64 firstNs = 0, lastNs = 0, bytes = 0;
        QByteArray hash;
        double seconds() const { return double(lastNs - firstNs) / 1e9; }
    };

    FarEnd(const QStringList &args, int stdinFd, int stdoutFd, QString report = {})
        : m_report(std::move(report))
    {
        m_pid = spawn(binary("zo-bench-far-end"), args, stdinFd, stdoutFd);
    }
    // Its exit status was 0, and what it reported.
    bool finish(Result &result)
    {
        int status = 0;
        if (m_pid <= 0 || ::waitpid(m_pid, &status, 0) != m_pid || status != 0)
            return false;
        m_pid = -1;
        if (m_report.isEmpty())
            return true;
        QFile file(m_report);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QList<QByteArray> fields = file.readAll().trimmed().split(' ');
        if (fields.size() != 4)
            return false;
        result = {fields[0].toLongLong(), fields[1].toLongLong(), fields[2].toLongLong(),
                  fields[3]};
        return true;
    }
    ~FarEnd()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    static QString binary(const char *name)
    {
        return QCoreApplication::applicationDirPath() + '/' + name;
    }
    // Starts program with args; the given descriptors (if not -1) become its
    // standard input and output.
    static pid_t spawn(const QString &program, const QStringList &args, int stdinFd, int stdoutFd)
    {
        std::vector<QByteArray> bytes{program.toLocal8Bit()};
        for (const QString &arg : args)
            bytes.push_back(arg.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &arg : bytes)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (stdinFd >= 0)
            posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
        if (stdoutFd >= 0)
            posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

  private:
    pid_t m_pid = -1;
    QString m_report;
};

// The 64-bit FNV-1a hash of a file, as the far end gives it.
QByteArray hashOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    quint64 hash = 1469598103934665603ull;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 20);
        for (char c : chunk)
            hash = (hash ^ quint8(c)) * 1099511628211ull;
    }
    return QByteArray::number(hash, 16).rightJustified(16, '0');
}

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               Clock::now().time_since_epoch())
        .count();
}

// Watches a folder from a thread of its own, looking every millisecond, and
// notes when one of its files first holds size bytes: a receive's copy, or
// `cat`'s file.
class SizeWatch
{
  public:
    SizeWatch(const QString &folder, qint64 size)
        : m_thread([this, path = folder.toLocal8Bit(), size] {
              while (!m_stop && m_reachedNs == 0) {
                  if (DIR *dir = ::opendir(path.constData())) {
                      while (dirent *entry = ::readdir(dir)) {
                          struct stat info{};
                          if (::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0 &&
                              S_ISREG(info.st_mode) && info.st_size >= size)
                              m_reachedNs = nowNs();
                      }
                      ::closedir(dir);
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          })
    {
    }
    ~SizeWatch()
    {
        m_stop = true;
        m_thread.join();
    }
    qint64 reachedNs() const { return m_reachedNs; }

  private:
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_reachedNs{0};
    std::thread m_thread;
};

// Waits until process pid holds the device at path open.
bool holds(pid_t pid, const QString &path)
{
    const QString device = QFileInfo(path).canonicalFilePath();
    for (int tries = 0; tries < 5000; ++tries) {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
            if (fd.symLinkTarget() == device)
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Waits for a child; its peak resident memory (KiB) when it ended with
// status 0, -1 otherwise.
qint64 peakOfChild(pid_t pid)
{
    int status = 0;
    rusage usage{};
    if (pid <= 0 || ::wait4(pid, &status, 0, &usage) != pid || status != 0)
        return -1;
    return usage.ru_maxrss;
}

// One measured transfer: seconds, peak resident memory in KiB (above the
// idle window's for the window, the whole process's for the others), and
// whether every byte arrived.
struct Run
{
    double seconds = -1;
    qint64 peakKiB = 0;
    bool ok = false;
};

// The median time of the rounds, the highest peak, and ok only if every
// round was.
void row(const char *mode, const char *way, qint64 mib, std::vector<Run> runs)
{
    std::sort(runs.begin(), runs.end(),
              [](const Run &a, const Run &b) { return a.seconds < b.seconds; });
    qint64 peak = 0;
    bool ok = !runs.empty();
    for (const Run &run : runs) {
        peak = std::max(peak, run.peakKiB);
        ok = ok && run.ok && run.seconds > 0;
    }
    const double seconds = runs.empty() ? -1 : runs[runs.size() / 2].seconds;
    std::printf("%s\t%s\t%lld\t%.3f\t%.0f\t%lld\t%s\n", mode, way, static_cast<long long>(mib),
                seconds, double(mib) / seconds, static_cast<long long>(peak),
                ok ? "ok" : "FAILED");
    std::fflush(stdout);
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
    QTemporaryDir dir;
    if (argc > 1 && QByteArray(argv[1]) == "--soak") {
        MemorySettingsStore store;
        FakeFileDialog *dialog = nullptr;
        BenchWindow window(store, dialog);
        window.show();
        QTest::qWait(200);
        return soak(window, store, dialog, QDir(dir.path()), argc > 2 ? std::atoi(argv[2]) : 500);
    }
    // zo-bench-transfer [MIB[,MIB...]] [ROUNDS] [RECEIVE_FOLDER]
    std::vector<qint64> sizes;
    for (const QByteArray &mib : QByteArray(argc > 1 ? argv[1] : "64").split(','))
        sizes.push_back(std::max(1LL, mib.toLongLong()));
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    // Receives are written here: a slow disk, if given.
    const QDir into(argc > 3 ? QString::fromLocal8Bit(argv[3]) : dir.path());
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit()); // the terminal's settings
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const QString report = dir.filePath("report");

    MemorySettingsStore store;
    FakeFileDialog *dialog = nullptr;
    BenchWindow window(store, dialog);
    window.show();
    QTest::qWait(200);

    std::printf("mode\tway\tMiB\tseconds\tMiB/s\tpeak_rss_KiB\tresult\n");
    for (const qint64 mib : sizes) {
        const qint64 size = mib * 1024 * 1024;
        const QString source = dir.filePath("source.txt");
        const QString streamFile = dir.filePath("stream.txt");
        {
            QFile file(source);
            file.open(QIODevice::WriteOnly);
            QByteArray chunk(1 << 20, '\0');
            Pattern pattern;
            for (qint64 done = 0; done < size; done += chunk.size()) {
                for (char &c : chunk)
                    c = pattern.next();
                file.write(chunk);
            }
            QFile stream(streamFile);
            stream.open(QIODevice::WriteOnly);
            stream.write(SimStream::generate(size));
        }
        const QByteArray sourceHash = hashOf(source), streamHash = hashOf(streamFile);
        const QString target = into.filePath("zo-bench-receive");
        QDir(target).removeRecursively();
        QDir().mkpath(target);

        // The chunking floor: the protocol's 1024-byte chunks, each once the
        // driver's output queue is empty, by a program that does nothing else.
        auto floorSend = [&] {
            TestLine line(true);
            FarEnd drain({"drain", QString::number(size), report}, line.controllerFd(), -1, report);
            FarEnd floor({"floor", source, line.path()}, -1, -1);
            FarEnd::Result sent, result;
            const bool ok = floor.finish(sent) && drain.finish(result) && result.bytes == size &&
                            result.hash == sourceHash;
            return Run{result.seconds(), 0, ok};
        };
        // The window's send: the clock runs from the first byte at the far end
        // to the last.
        auto windowSend = [&] {
            TestLine line(true);
            store.write("Ports", "COM2", line.path());
            FarEnd drain({"drain", QString::number(size), report}, line.controllerFd(), -1, report);
            dialog->choose = source;
            window.finalText = "file has been sent";
            window.finalCount = -1;
            const qint64 idle = statusKiB("VmRSS:");
            resetPeak();
            window.cmdSend->click();
            waitUntil([&] { return window.finishedAt != Clock::time_point{} || window.failed; },
                      600000);
            const qint64 peak = statusKiB("VmHWM:") - idle;
            window.finishedAt = {};
            FarEnd::Result result;
            const bool ok = drain.finish(result) && !window.failed && result.bytes == size &&
                            result.hash == sourceHash;
            return Run{result.seconds(), peak, ok};
        };
        auto terminalSend = [&] {
            TestLine line(true);
            FarEnd drain({"drain", QString::number(size), report}, line.controllerFd(), -1, report);
            const pid_t pid = FarEnd::spawn(FarEnd::binary("zo-vovere"),
                                            {"--send", source, "--port", line.path()}, -1, devNull);
            const qint64 peak = peakOfChild(pid);
            FarEnd::Result result;
            const bool ok = drain.finish(result) && peak > 0 && result.bytes == size &&
                            result.hash == sourceHash;
            return Run{result.seconds(), peak, ok};
        };
        // `cat <PTY >FILE`: from the far end's first byte until the file
        // holds the last.
        auto catReceive = [&] {
            TestLine line(true);
            const QString file = QDir(target).filePath("cat.txt");
            QProcess cat;
            cat.setStandardInputFile(line.path());
            cat.setStandardOutputFile(file);
            cat.start("cat", {});
            if (!cat.waitForStarted())
                return Run{};
            SizeWatch watch(target, size);
            FarEnd feed({"feed", streamFile, report}, -1, line.controllerFd(), report);
            FarEnd::Result result;
            bool ok = feed.finish(result);
            while (ok && watch.reachedNs() == 0 && nowNs() - result.lastNs < 60e9)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            cat.kill();
            cat.waitForFinished();
            ok = ok && watch.reachedNs() > 0 && hashOf(file) == streamHash;
            QFile::remove(file);
            return Run{double(watch.reachedNs() - result.firstNs) / 1e9, 0, ok};
        };
        // The window's receive: from the far end's first byte until the
        // program's copy holds the last ("File has been saved." follows once
        // the line has been quiet for 3 s, and only then is the file
        // compared). The sizes are whole 64 KiB pieces, which the program
        // writes as each fills: its last goes out with the last block.
        auto windowReceive = [&] {
            TestLine line(true);
            store.write("Ports", "COM2", line.path());
            const QString file = QDir(target).filePath("window.txt");
            dialog->choose = file;
            window.finalText = QString();
            window.finalCount = -1;
            window.cmdReceive->click();
            waitUntil([&] { return window.Comm1().PortOpen(); }, 5000);
            const qint64 idle = statusKiB("VmRSS:");
            resetPeak();
            SizeWatch watch(target, size);
            FarEnd feed({"feed", streamFile, report}, -1, line.controllerFd(), report);
            waitUntil([&] { return window.savedAt != Clock::time_point{} || window.failed; },
                      600000);
            const qint64 peak = statusKiB("VmHWM:") - idle;
            FarEnd::Result result;
            const bool ok = feed.finish(result) && !window.failed && watch.reachedNs() > 0 &&
                            hashOf(file) == streamHash;
            window.savedAt = {};
            QFile::remove(file);
            return Run{double(watch.reachedNs() - result.firstNs) / 1e9, peak, ok};
        };
        auto terminalReceive = [&] {
            TestLine line(true);
            const QString file = QDir(target).filePath("terminal.txt");
            const pid_t pid = FarEnd::spawn(FarEnd::binary("zo-vovere"),
                                            {"--receive", file, "--port", line.path()}, -1, devNull);
            if (!holds(pid, line.path()))
                return Run{};
            std::this_thread::sleep_for(std::chrono::milliseconds(50)); // past its opening's discard
            SizeWatch watch(target, size);
            FarEnd feed({"feed", streamFile, report}, -1, line.controllerFd(), report);
            FarEnd::Result result;
            const bool fed = feed.finish(result);
            const qint64 peak = peakOfChild(pid);
            const bool ok = fed && peak > 0 && watch.reachedNs() > 0 && hashOf(file) == streamHash;
            QFile::remove(file);
            return Run{double(watch.reachedNs() - result.firstNs) / 1e9, peak, ok};
        };

        // Rounds taken in turn, so that a slow moment of the machine does
        // not fall on one of them only.
        std::vector<Run> floors, windowSends, terminalSends, cats, windowReceives, terminalReceives;
        for (int round = 0; round < rounds; ++round) {
            floors.push_back(floorSend());
            windowSends.push_back(windowSend());
            terminalSends.push_back(terminalSend());
            cats.push_back(catReceive());
            windowReceives.push_back(windowReceive());
            terminalReceives.push_back(terminalReceive());
        }
        row("floor", "send", mib, floors);
        row("window", "send", mib, windowSends);
        row("terminal", "send", mib, terminalSends);
        row("cat", "receive", mib, cats);
        row("window", "receive", mib, windowReceives);
        row("terminal", "receive", mib, terminalReceives);
        QDir(target).removeRecursively();
    }
    window.close();
    transmitEmptyLatency();
    return 0;
}
