#pragma once

#include "core/player/PlayerTimer.h"

namespace cantorel::test {

// A timer that ticks only when the test says so.
class ManualTimer : public PlayerTimer {
public:
    void setInterval(int ms) override { interval_ = ms; }
    int interval() const override { return interval_; }
    void setEnabled(bool on) override { enabled_ = on; }
    bool enabled() const override { return enabled_; }
    void setTick(std::function<void()> tick) override { tick_ = std::move(tick); }
    void tick() const
    {
        if (enabled_ && tick_)
            tick_();
    }

private:
    int interval_ = 0;
    bool enabled_ = false;
    std::function<void()> tick_;
};

} // namespace cantorel::test
