#pragma once

#include "FailingTarget.h"
#include "FakeCommPort.h"
#include "FakeFileDialog.h"
#include "FakeWindow.h"
#include "ManualTimer.h"
#include "TestFiles.h"
#include "TransferEngine.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

// The engine with every seam faked: the test plays the user (dialog answers,
// clicks), the controller (bytes arriving, transmit-empty) and the clock.
class EngineFixture : public ::testing::Test
{
  public: // for table rows that play a story on it
    EngineFixture()
        : port(clock), timer1(clock), timer2(clock),
          engine(port, window, timer1, timer2, dialog, source, receiveTarget)
    {
    }

    // Whatever a test did, no box stood in front of a status line that no
    // longer described anything (a saved backup is one).
    void TearDown() override
    {
        EXPECT_EQ(window.statusBehindBoxes.filter(QRegularExpression("^(?!File has been saved)")),
                  QStringList());
    }

    QString path(const QString &name) const { return QDir(dir.path()).absoluteFilePath(name); }

    QString makeFile(const QString &name, const QByteArray &content) const
    {
        return TestFiles::write(path(name), content);
    }
    static QByteArray readFile(const QString &p) { return TestFiles::read(p); }

    // Names in the temporary folder, to see that no copy stays behind.
    QStringList filesInDir() const { return QDir(dir.path()).entryList(QDir::Files); }

    static QByteArray content(int size)
    {
        QByteArray data(size, '\0');
        for (int i = 0; i < size; ++i)
            data[i] = char('a' + i % 23);
        return data;
    }

    QTemporaryDir dir;
    ManualClock clock;
    FakeCommPort port;
    FakeWindow window;
    ManualTimer timer1;
    ManualTimer timer2;
    FakeFileDialog dialog;
    FileSource source;
    FailingTarget receiveTarget;
    TransferEngine engine;
};
