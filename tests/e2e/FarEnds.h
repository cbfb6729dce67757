#pragma once

#include <QFile>
#include <QProcess>
#include <QTest>

#include <map>
#include <memory>
#include <vector>

// The programs a test starts beside ZO Vovere: the simulator playing the
// desk, socat making a line of two pseudo-terminals. All are killed when the
// test ends.
class FarEnds
{
  public:
    ~FarEnds()
    {
        for (auto &process : m_processes) {
            process->kill();
            process->waitForFinished(2000);
        }
    }

    QProcess &start(const QString &program, const QStringList &args,
                    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        m_processes.push_back(std::make_unique<QProcess>());
        QProcess &process = *m_processes.back();
        process.setProcessEnvironment(env);
        process.start(program, args);
        return process;
    }

    // The simulator on a pseudo-terminal of its own, or on the device on;
    // device is then the line it plays on (empty when it did not start).
    QProcess &desk(const QStringList &args, const QString &on = {})
    {
        QProcess &sim =
            start(ZO_SIM_PATH, on.isEmpty() ? args : args + QStringList{"--device", on});
        device.clear();
        if (QTest::qWaitFor([&] { return sim.canReadLine(); }, 5000)) {
            const QString first = QString::fromLocal8Bit(sim.readLine()).trimmed();
            if (first.startsWith("device: "))
                device = first.mid(8);
        }
        return sim;
    }

    // A line as users make one: socat joining two pseudo-terminals, each end
    // a link. False when the links did not appear.
    bool line(const QString &near, const QString &far)
    {
        QProcess &socat =
            start("socat", {"pty,raw,echo=0,link=" + near, "pty,raw,echo=0,link=" + far});
        return socat.waitForStarted(5000) &&
               QTest::qWaitFor([&] { return QFile::exists(near) && QFile::exists(far); }, 5000);
    }

    // A program's standard error so far, once it holds text so many times
    // (or after ms: the caller's checks say what was missing).
    QString errorsOnceSaid(QProcess &process, const QString &text, int times = 1,
                           int ms = 10000)
    {
        [[maybe_unused]] const bool came = QTest::qWaitFor(
            [&] {
                said[&process] += QString::fromLocal8Bit(process.readAllStandardError());
                return said[&process].count(text) >= times;
            },
            ms);
        return said[&process];
    }
    // The exit status of a program that ended normally within 30 s, else -1.
    int exitCode(QProcess &process)
    {
        const bool ended = process.waitForFinished(30000);
        errorsOnceSaid(process, {}, 1, 0);
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QString device;
    std::map<QProcess *, QString> said; // each program's standard error so far

  private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};
