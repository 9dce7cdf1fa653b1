#pragma once

#include "core/player/PlayerTimer.h"

#include <chrono>
#include <functional>

namespace cantorel::cli {

class TimerLoop;

// A timer of a TimerLoop, which ticks it. As with a GUI timer, enabling it or changing its
// interval starts the interval afresh.
class LoopTimer : public PlayerTimer {
public:
    using Clock = std::chrono::steady_clock;

    explicit LoopTimer(TimerLoop& loop);
    ~LoopTimer() override;
    LoopTimer(const LoopTimer&) = delete;
    LoopTimer& operator=(const LoopTimer&) = delete;

    void setInterval(int milliseconds) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool enabled() const override { return enabled_; }
    void setTick(std::function<void()> tick) override { tick_ = std::move(tick); }

    Clock::time_point due() const { return next_; }
    // Ticks when due, and sets the next time.
    void tickIfDue(Clock::time_point now);

private:
    TimerLoop& loop_;
    int interval_ = 0;
    bool enabled_ = false;
    Clock::time_point next_{};
    std::function<void()> tick_;
};

} // namespace cantorel::cli
