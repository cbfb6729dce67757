#pragma once

#include "Timer.h"

#include <QTimer>

// The production timer: a repeating precise QTimer, stopped at creation.
class QtTimer final : public Timer
{
  public:
    explicit QtTimer(std::chrono::milliseconds interval);

    void setInterval(std::chrono::milliseconds interval) override;
    std::chrono::milliseconds interval() const override;
    void setEnabled(bool enabled) override;
    bool enabled() const override { return m_timer.isActive(); }

  private:
    QTimer m_timer;
};
