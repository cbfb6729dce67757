// Moves 64 MiB each way between the real program (window, engine and serial
// port, offscreen) and the controller simulator over a pseudo-terminal, as
// fast as the line allows, and `cat` over the same kind of pair for
// comparison. Prints one table row per measurement, tab-separated:
//   name  seconds  MiB/s  peak-RSS-above-idle-KiB  ok
#include "FakeFileDialog.h"
#include "MemorySettingsStore.h"
#include "SerialCommPort.h"
#include "WindowParts.h"
#include "frmGAbackup.h"

#include <QApplication>
#include <QCryptographicHash>
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
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

qint64 kSize = 64 * 1024 * 1024; // or the MiB given as the first argument

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

QByteArray hashFile(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return "unreadable: " + path.toUtf8();
    return hash.result();
}

void row(const char *name, double seconds, qint64 peakKiB, bool ok)
{
    std::printf("%s\t%.2f\t%.0f\t%lld\t%s\n", name, seconds, double(kSize) / (1 << 20) / seconds,
                static_cast<long long>(peakKiB), ok ? "ok" : "FAILED");
    std::fflush(stdout);
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
    bool failed = false;
};

QString startSim(QProcess &sim, const QStringList &args, MemorySettingsStore &store)
{
    sim.start(QStringLiteral(ZO_SIM_PATH), args);
    sim.waitForStarted();
    QTest::qWaitFor([&] { return sim.canReadLine(); }, 5000);
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed().mid(8);
    store.write("Ports", "COM2", device);
    return device;
}

// `cat FILE` into a raw pseudo-terminal, drained at the other end.
double catBaseline(const QString &file)
{
    int controller = -1, device = -1;
    char name[256] = {};
    ::openpty(&controller, &device, name, nullptr, nullptr);
    termios raw{};
    ::tcgetattr(device, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(device, TCSANOW, &raw);
    QElapsedTimer timer;
    timer.start();
    QProcess cat;
    cat.setStandardInputFile(file);
    cat.setStandardOutputFile(QString::fromLocal8Bit(name));
    cat.start("cat", {});
    qint64 got = 0;
    char buffer[65536];
    while (got < kSize) {
        pollfd p{controller, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        const ssize_t n = ::read(controller, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got += n;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    cat.waitForFinished();
    ::close(controller);
    ::close(device);
    return got == kSize ? seconds : -1;
}

// Time from handing a 1024-byte chunk to the port until its transmit-empty
// notification, on a pseudo-terminal drained by a reader thread.
void transmitEmptyLatency()
{
    int controller = -1, device = -1;
    char name[256] = {};
    ::openpty(&controller, &device, name, nullptr, nullptr);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char buffer[65536];
        while (!stop) {
            pollfd p{controller, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0)
                (void)::read(controller, buffer, sizeof buffer);
        }
    });
    SerialCommPort port([&](int) { return QString::fromLocal8Bit(name); });
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
    ::close(controller);
    ::close(device);
    std::sort(samples.begin(), samples.end());
    if (samples.empty())
        return;
    std::printf("transmit-empty latency\tmedian %lld us\t99th %lld us\tmax %lld us\t%zu samples\n",
                static_cast<long long>(samples[samples.size() / 2]),
                static_cast<long long>(samples[samples.size() * 99 / 100]),
                static_cast<long long>(samples.back()), samples.size());
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1)
        kSize = QByteArray(argv[1]).toLongLong() * 1024 * 1024;
    QTemporaryDir dir;
    const QString source = dir.filePath("source.bin");
    {
        QFile file(source);
        file.open(QIODevice::WriteOnly);
        QByteArray chunk(1 << 20, '\0');
        quint32 state = 1;
        for (qint64 done = 0; done < kSize; done += chunk.size()) {
            for (char &c : chunk) {
                state = state * 1664525u + 1013904223u;
                c = char(state >> 24);
            }
            file.write(chunk);
        }
    }

    std::printf("name\tseconds\tMiB/s\tpeak_rss_above_idle_KiB\tresult\n");
    const double catSeconds = catBaseline(source);
    row("cat over a pty pair", catSeconds, 0, catSeconds > 0);

    MemorySettingsStore store;
    FakeFileDialog *dialog = nullptr;
    BenchWindow window(store, dialog);
    window.show();
    QTest::qWait(200);
    auto status = [&] { return window.sbrPanel->text(); };

    // Send: the program reads the file and paces chunks by transmit-empty.
    {
        QProcess sim;
        startSim(sim,
                 {"receive", "--fast", "--quiet-ms", "1500", "--out", dir.filePath("arrived.bin")},
                 store);
        dialog->choose = source;
        const qint64 idle = statusKiB("VmRSS:");
        resetPeak();
        QElapsedTimer timer;
        timer.start();
        window.cmdSend->click();
        waitUntil([&] { return status() == "file has been sent" || window.failed; }, 600000);
        // The completion comes one second after the last chunk has left.
        const double seconds = timer.nsecsElapsed() / 1e9 - 1.0;
        const qint64 peak = statusKiB("VmHWM:") - idle;
        sim.waitForFinished(60000);
        const bool ok = !window.failed && hashFile(dir.filePath("arrived.bin")) == hashFile(source);
        row("zo-vovere send", seconds, peak, ok);
        QFile::remove(dir.filePath("arrived.bin"));
    }

    // Receive: the simulator dumps as fast as the line takes it.
    {
        QProcess sim;
        startSim(sim,
                 {"dump", "--fast", "--wait-enter", "--length", QString::number(kSize),
                  "--save-stream", dir.filePath("stream.bin")},
                 store);
        dialog->choose = dir.filePath("received.bin");
        window.cmdReceive->click();
        const qint64 idle = statusKiB("VmRSS:");
        resetPeak();
        QElapsedTimer timer;
        timer.start();
        sim.write("\n");
        waitUntil([&] { return status() == "File has been saved." || window.failed; }, 600000);
        const double seconds = timer.nsecsElapsed() / 1e9;
        const qint64 peak = statusKiB("VmHWM:") - idle;
        sim.waitForFinished(60000);
        const bool ok = !window.failed && hashFile(dir.filePath("received.bin")) ==
                                              hashFile(dir.filePath("stream.bin"));
        row("zo-vovere receive", seconds, peak, ok);
    }
    window.close();
    transmitEmptyLatency();
    return 0;
}
