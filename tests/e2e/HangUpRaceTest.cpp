// Hang-ups racing the end of a dump, through each front end and the real
// port, on a pseudo-terminal whose master a thread of the test holds or over
// a socat pair killed with SIGKILL. The far end writes a backup whose data is
// full of ':' (so that almost any cut can look like an end) and then, as a
// desk that hangs up at the worst moment would:
//  - pauses 100-400 ms where the stream looks complete, sends its last 1-39
//    bytes and hangs up within a millisecond (the hang-up may take them
//    before the program reads them);
//  - or hangs up 0-200 ms after the whole dump;
//  - or, one run in eight, stays on the line 4 s after the dump first.
// Only the last may be saved, and whole: a loss before three quiet seconds is
// a line failure with the earlier backup kept, whatever the program read.
// ZO_HANGUP_RUNS sets the runs of each row (the README's measurement: 200).
#include "DiskTarget.h"
#include "MemorySettingsStore.h"
#include "Rows.h"
#include "SerialCommPort.h"
#include "TerminalTransfer.h"
#include "TestFiles.h"
#include "TestLine.h"
#include "WindowParts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kLanes = 12;
const QByteArray kEarlier = "earlier";
const QString kSaved = "File has been saved.";
// A hang-up that took the header with it ends the wait for it plainly.
const QString kLineLost = "port disconnected error on com port, reset and retry";

// How the far end ends its dump.
enum class Ending
{
    TailAfterALookalikeEnd,
    SoonAfter,
    AfterThreeQuietSeconds
};

// The line between the program and the far end's thread: a pseudo-terminal
// whose master the thread holds, or socat joining two, killed to hang up as a
// crashed serial server would.
class Line
{
  public:
    Line(bool overSocat, const QString &near, const QString &far)
    {
        if (!overSocat) {
            errno = 0;
            m_pty.emplace(true);
            m_device = m_pty->path();
            if (!m_pty->ok())
                m_error = QString("no pseudo-terminal: %1").arg(std::strerror(errno));
            return;
        }
        m_socat.start("socat", {"pty,raw,echo=0,link=" + near, "pty,raw,echo=0,link=" + far});
        if (QTest::qWaitFor([&] { return QFile::exists(near) && QFile::exists(far); }, 5000))
            m_fd = ::open(QFile::encodeName(far).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        m_socatPid = m_socat.processId();
        m_device = near;
        if (m_fd < 0)
            m_error = "socat made no pair: " + m_socat.errorString() + " " +
                      QString::fromLocal8Bit(m_socat.readAllStandardError());
    }
    ~Line()
    {
        hangUp();
        m_socat.waitForFinished(2000);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_pty ? m_pty->ok() : m_fd >= 0; }
    QString error() const { return m_error; }
    QString device() const { return m_device; }
    // From the far end's thread.
    void write(const QByteArray &bytes)
    {
        if (m_pty)
            m_pty->write(bytes);
        for (qsizetype done = 0; m_fd >= 0 && done < bytes.size();) {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                return;
            done += n;
        }
    }
    void hangUp()
    {
        if (m_pty)
            m_pty->closeController();
        else if (const qint64 pid = m_socatPid.exchange(0); pid > 0)
            ::kill(pid_t(pid), SIGKILL);
    }

  private:
    std::optional<TestLine> m_pty;
    QProcess m_socat;
    std::atomic<qint64> m_socatPid{0};
    int m_fd = -1;
    QString m_device;
    QString m_error;
};

// A front end receiving into target on device: the window, or the terminal.
class FrontEnd
{
  public:
    virtual ~FrontEnd() = default;
    // True once the port is open.
    virtual bool start(const QString &device, const QString &target) = 0;
    // What the front end has said so far, for a failure's report.
    virtual QString said() const = 0;
    // How the receive ended, in the program's words; empty while it runs.
    virtual QString ending() const = 0;
};

class WindowFront final : public FrontEnd
{
  public:
    WindowFront() { m_window.show(); }
    bool start(const QString &device, const QString &target) override
    {
        m_store.write("Ports", "COM2", device);
        m_window.messages.clear();
        m_dialog->choose = target;
        m_window.cmdReceive->click();
        return m_window.portOpens();
    }
    QString ending() const override
    {
        if (m_window.sbrPanel->text() == kSaved)
            return kSaved;
        return m_window.messages.value(0);
    }
    QString said() const override
    {
        return m_window.sbrPanel->text() + " | " + m_window.messages.join(" | ");
    }

  private:
    MemorySettingsStore m_store;
    FakeFileDialog *m_dialog = nullptr;
    RecordingWindow m_window{m_store, m_dialog, {}};
};

class TerminalFront final : public FrontEnd
{
  public:
    bool start(const QString &device, const QString &target) override
    {
        m_said.clear();
        m_status = -1;
        // Kept to the end, as the lanes are.
        if (m_transfer)
            m_done.push_back(std::move(m_transfer));
        TerminalTransfer::Parts parts;
        auto port = std::make_unique<SerialCommPort>([device](int) { return device; });
        SerialComm *opened = port.get();
        parts.port = std::move(port);
        m_transfer = std::make_unique<TerminalTransfer>(
            PortChoice{2, device, {}},
            TerminalTransfer::Output{[this](const QString &text) { m_said += text; }, false, true},
            std::move(parts));
        QObject::connect(m_transfer.get(), &TerminalTransfer::finished,
                         [this](int status) { m_status = status; });
        m_transfer->receive(target);
        return QTest::qWaitFor([opened] { return opened->PortOpen(); }, 5000);
    }
    QString ending() const override
    {
        if (m_status < 0)
            return {};
        const QString said = m_said.trimmed();
        const qsizetype failure = said.lastIndexOf(QLatin1String("zo-vovere: "));
        return said.endsWith(kSaved) ? kSaved : said.mid(failure < 0 ? 0 : failure + 11);
    }
    QString said() const override { return m_said; }

  private:
    std::vector<std::unique_ptr<TerminalTransfer>> m_done;
    std::unique_ptr<TerminalTransfer> m_transfer;
    QString m_said;
    int m_status = -1;
};

struct Race
{
    const char *name;
    bool window;
    bool overSocat;
    int runs;
};

// One receive after another on a line of its own each time.
struct Lane
{
    enum Outcome
    {
        Running,
        SavedAfterQuiet, // right
        LineLost,        // right
        SavedShort,
        SavedTooSoon, // whole, but before three quiet seconds
        OtherwiseWrong
    };

    Lane(const Race &race, const QString &folder, int number, QRandomGenerator &random)
        : race(race), folder(folder), number(number), random(random),
          target(QDir(folder).filePath(QString("%1.txt").arg(number)))
    {
        if (race.window)
            front = std::make_unique<WindowFront>();
        else
            front = std::make_unique<TerminalFront>();
    }
    ~Lane() { finish(); }

    void finish()
    {
        if (farEnd.joinable())
            farEnd.join();
        line.reset();
    }

    // Empty once the run is under way, else why it could not start.
    QString start(int run)
    {
        finish();
        if (TestFiles::write(target, kEarlier).isEmpty())
            return "the earlier backup could not be written";
        const QString name = QString("%1-%2").arg(number).arg(run);
        line = std::make_unique<Line>(race.overSocat, QDir(folder).filePath("near" + name),
                                      QDir(folder).filePath("far" + name));
        if (!line->ok())
            return line->error();
        const QByteArray unit = QList<QByteArray>{"abcdef:", "a:", ":"}[random.bounded(3)];
        dump = "GLOW ARRANGER";
        for (int length = 60 + int(random.bounded(6000)); dump.size() < length;)
            dump += unit[dump.size() % unit.size()];
        const int tail = 1 + int(random.bounded(39));
        dump[dump.size() - 7] = ':';
        dump[dump.size() - tail - 7] = ':'; // where the pause falls, it looks like an end
        const int kind = int(random.bounded(8));
        ending = kind == 0   ? Ending::AfterThreeQuietSeconds
                 : kind <= 4 ? Ending::TailAfterALookalikeEnd
                             : Ending::SoonAfter;
        const int r = int(random.bounded(201));
        const auto pause = std::chrono::milliseconds(100 + int(random.bounded(301)));
        const auto after = ending == Ending::AfterThreeQuietSeconds
                               ? std::chrono::milliseconds(4000)
                               : std::chrono::milliseconds(r * r / 200); // more often near 0
        if (!front->start(line->device(), target))
            return "the port " + line->device() + " did not open: " + front->said();
        farEndDone = false;
        farEnd = std::thread([this, l = line.get(), d = dump, e = ending, tail, pause, after] {
            if (e == Ending::TailAfterALookalikeEnd) {
                l->write(d.left(d.size() - tail));
                std::this_thread::sleep_for(pause);
                l->write(d.right(tail));
            } else {
                l->write(d);
                std::this_thread::sleep_for(after);
            }
            l->hangUp();
            farEndDone = true;
        });
        return {};
    }

    Outcome outcome()
    {
        // The far end is waited for without holding up the event loop, which
        // the other lanes' programs need to see their lines quiet.
        const QString words = front->ending();
        if (words.isEmpty() || !farEndDone)
            return Running;
        finish();
        const bool quiet = ending == Ending::AfterThreeQuietSeconds;
        const QByteArray saved = TestFiles::read(target);
        Outcome outcome = OtherwiseWrong;
        if (words == kSaved)
            outcome = saved != dump ? SavedShort : quiet ? SavedAfterQuiet : SavedTooSoon;
        else if (!quiet && words.startsWith(kLineLost) && saved == kEarlier)
            outcome = LineLost;
        if (outcome > LineLost)
            ADD_FAILURE() << dump.size() << " bytes, ending " << int(ending) << ", " << saved.size()
                          << " saved: " << words.toStdString();
        return outcome;
    }

    const Race race;
    const QString folder;
    const int number;
    QRandomGenerator &random;
    const QString target;
    std::unique_ptr<FrontEnd> front;
    std::unique_ptr<Line> line;
    QByteArray dump;
    Ending ending = Ending::SoonAfter;
    std::thread farEnd;
    std::atomic<bool> farEndDone{true};
    bool idle = false; // its runs are done
};

class HangUpRace : public ::testing::TestWithParam<Race>
{
  protected:
    // Starts the lane's next run. Pseudo-terminals and socat's pairs are lent
    // by a machine that other jobs share: a run that could not start is tried
    // again on a new line, and why it could not is printed either way.
    bool start(Lane &lane, int &started)
    {
        for (int attempt = 1;; ++attempt) {
            const QString why = lane.start(started);
            if (why.isEmpty()) {
                ++started;
                return true;
            }
            std::printf("run %d could not start (attempt %d): %s\n", started, attempt,
                        qPrintable(why));
            if (attempt == 3) {
                ADD_FAILURE() << "run " << started << " could not start: " << why.toStdString();
                return false;
            }
            QTest::qWait(300);
        }
    }
};

TEST_P(HangUpRace, NothingIsSavedBeforeThreeQuietSeconds)
{
    const Race race = GetParam();
    const int runs = qEnvironmentVariableIsSet("ZO_HANGUP_RUNS")
                         ? qEnvironmentVariableIntValue("ZO_HANGUP_RUNS")
                         : race.runs;
    QTemporaryDir dir;
    QRandomGenerator random(20261209);
    std::vector<std::unique_ptr<Lane>> lanes;
    int started = 0, ended = 0;
    std::map<Lane::Outcome, int> counts;
    int tails = 0; // runs that sent a tail after a pause at a lookalike end
    for (int i = 0; i < std::min(kLanes, runs); ++i) {
        lanes.push_back(std::make_unique<Lane>(race, dir.path(), i, random));
        ASSERT_TRUE(start(*lanes.back(), started));
    }
    // The window's thread is now and then held up, as painting and a slow
    // disk hold it.
    QTimer busy;
    QObject::connect(&busy, &QTimer::timeout,
                     [&random] { ::usleep(useconds_t(random.bounded(15000))); });
    busy.start(20);

    QElapsedTimer limit;
    limit.start();
    while (ended < runs && limit.elapsed() < 200000) {
        QTest::qWait(1);
        for (auto &lane : lanes) {
            const Lane::Outcome outcome = lane->idle ? Lane::Running : lane->outcome();
            if (outcome == Lane::Running)
                continue;
            ++ended;
            ++counts[outcome];
            tails += lane->ending == Ending::TailAfterALookalikeEnd;
            // A lane that has done its runs stays: a transfer that goes
            // waits for the file threads of every lane, and would hold up
            // the event loop of the others.
            if (started < runs)
                ASSERT_TRUE(start(*lane, started));
            else
                lane->idle = true;
        }
    }
    std::printf("hang-up race, %s: %d runs (%d with a tail after a pause at a lookalike end); "
                "right: %d saved after three quiet seconds, %d line lost; wrong: %d saved short, "
                "%d saved whole too soon, %d otherwise\n",
                race.name, ended, tails, counts[Lane::SavedAfterQuiet], counts[Lane::LineLost],
                counts[Lane::SavedShort], counts[Lane::SavedTooSoon], counts[Lane::OtherwiseWrong]);
    EXPECT_EQ(ended, runs) << "runs did not end within the time limit";
    EXPECT_EQ(counts[Lane::SavedAfterQuiet] + counts[Lane::LineLost], ended);
}

INSTANTIATE_TEST_SUITE_P(E2E, HangUpRace,
                         ::testing::Values(Race{"WindowOnAPty", true, false, 120},
                                           Race{"TerminalOnAPty", false, false, 120},
                                           Race{"WindowOverSocat", true, true, 36},
                                           Race{"TerminalOverSocat", false, true, 36}),
                         rowName);

} // namespace
