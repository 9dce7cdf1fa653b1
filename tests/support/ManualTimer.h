#pragma once

#include "core/player/PlayerTimer.h"

#include <memory>

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
    // Makes the timers a player asks for, noting the last one made in `made`.
    static PlayerTimerFactory factory(ManualTimer*& made)
    {
        return [&made] {
            auto timer = std::make_unique<ManualTimer>();
            made = timer.get();
            return timer;
        };
    }

private:
    int interval_ = 0;
    bool enabled_ = false;
    std::function<void()> tick_;
};

} // namespace cantorel::test
