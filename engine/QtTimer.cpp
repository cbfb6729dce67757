#include "QtTimer.h"

QtTimer::QtTimer(std::chrono::milliseconds interval)
{
    // Qt's default coarse timers may fire up to 5% early; the inactivity and
    // completion times are promises to the controller and the user.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(interval);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
}

void QtTimer::setInterval(std::chrono::milliseconds interval)
{
    m_timer.setInterval(interval);
}

std::chrono::milliseconds QtTimer::interval() const
{
    return m_timer.intervalAsDuration();
}

void QtTimer::setEnabled(bool enabled)
{
    if (enabled)
        m_timer.start();
    else
        m_timer.stop();
}
