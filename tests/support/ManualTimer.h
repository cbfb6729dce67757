#pragma once

#include "Timer.h"

#include <chrono>
#include <vector>

// Virtual time for the engine's timers: nothing fires until the test
// advances the clock, and due ticks fire in time order.
class ManualClock
{
  public:
    void advance(std::chrono::milliseconds by);
    std::chrono::milliseconds now() const { return m_now; }

  private:
    friend class ManualTimer;
    std::vector<class ManualTimer *> m_timers;
    std::chrono::milliseconds m_now{0};
};

class ManualTimer final : public Timer
{
  public:
    explicit ManualTimer(ManualClock &clock);
    ~ManualTimer() override;

    void setInterval(std::chrono::milliseconds interval) override { m_interval = interval; }
    std::chrono::milliseconds interval() const override { return m_interval; }
    void setEnabled(bool enabled) override;
    bool enabled() const override { return m_enabled; }

    int ticks = 0;

  private:
    friend class ManualClock;
    ManualClock &m_clock;
    std::chrono::milliseconds m_interval{0};
    std::chrono::milliseconds m_due{0};
    bool m_enabled = false;
};
