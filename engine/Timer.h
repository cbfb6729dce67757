#pragma once

#include <chrono>
#include <functional>

// A repeating millisecond timer as the transfer sees it. Enabling it starts a
// fresh full interval (also when it was already running); each tick calls the
// handler on the owner's thread. Production wraps QTimer (QtTimer); tests use
// a manual clock that fires ticks as the test advances time.
class Timer
{
  public:
    virtual ~Timer() = default;

    virtual void setInterval(std::chrono::milliseconds interval) = 0;
    virtual std::chrono::milliseconds interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;

    void setOnTick(std::function<void()> handler) { m_onTick = std::move(handler); }

  protected:
    void tick()
    {
        if (m_onTick)
            m_onTick();
    }

  private:
    std::function<void()> m_onTick;
};
