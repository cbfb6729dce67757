#include "ManualTimer.h"

#include <algorithm>

ManualTimer::ManualTimer(ManualClock &clock) : m_clock(clock)
{
    m_clock.m_timers.push_back(this);
}

ManualTimer::~ManualTimer()
{
    std::erase(m_clock.m_timers, this);
}

void ManualTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (enabled)
        m_due = m_clock.m_now + std::max(m_interval, std::chrono::milliseconds(1));
}

void ManualClock::advance(std::chrono::milliseconds by)
{
    const auto end = m_now + by;
    for (;;) {
        ManualTimer *next = nullptr;
        for (ManualTimer *timer : m_timers) {
            if (timer->m_enabled && timer->m_due <= end && (!next || timer->m_due < next->m_due))
                next = timer;
        }
        if (!next)
            break;
        m_now = next->m_due;
        next->m_due = m_now + std::max(next->m_interval, std::chrono::milliseconds(1));
        ++next->ticks;
        next->tick();
    }
    m_now = end;
}
