#pragma once

#include "player/PlayerTimer.h"

namespace cantorel::cli {

// The player's timer without an event loop: run() ticks every interval while the timer
// is enabled and `keepGoing` says so, and at once when `tickNow` says so (the end of
// play need not wait for the next interval).
class LoopTimer : public PlayerTimer {
public:
    void setInterval(int milliseconds) override { interval_ = milliseconds; }
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    bool enabled() const override { return enabled_; }
    void setTick(std::function<void()> tick) override { tick_ = std::move(tick); }

    void run(const std::function<bool()>& keepGoing, const std::function<bool()>& tickNow);

private:
    int interval_ = 0;
    bool enabled_ = false;
    std::function<void()> tick_;
};

} // namespace cantorel::cli
