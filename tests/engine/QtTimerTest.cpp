// The production timers on Qt's real clock: the inactivity and completion
// times are never cut short (Qt's default coarse timers may fire up to 5%
// early, which would end a receive while the controller is still sending).
#include "QtTimer.h"
#include "TransferEngine.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(QtTimer, InactivityAndCompletionTimesNeverFireEarly)
{
    QtTimer timer1(TransferEngine::kInactivity);
    QtTimer timer2(TransferEngine::kSendCompletion);
    QElapsedTimer clock;
    std::vector<qint64> ticks1, ticks2;
    QEventLoop loop;
    timer1.setOnTick([&] {
        ticks1.push_back(clock.elapsed());
        timer1.setEnabled(false);
        loop.quit();
    });
    // The completion timer restarts itself after each tick, as a send that
    // waits for the port's queue does: every interval is measured.
    timer2.setOnTick([&] { ticks2.push_back(clock.elapsed()); });
    QTimer guard;
    guard.singleShot(10s, &loop, &QEventLoop::quit);
    clock.start();
    timer1.setEnabled(true);
    timer2.setEnabled(true);
    loop.exec();
    timer2.setEnabled(false);

    ASSERT_EQ(ticks1.size(), 1u);
    EXPECT_GE(ticks1[0], 3000);
    ASSERT_GE(ticks2.size(), 2u);
    for (size_t i = 0; i < ticks2.size(); ++i)
        EXPECT_GE(ticks2[i], qint64(1000 * (i + 1))) << "tick " << i;
}
