#pragma once

#include "core/player/PlayerTimer.h"

#include <chrono>
#include <string>

namespace cantorel::cli {

// The player's timer without an event loop. run() sleeps until the next tick, or until a
// line arrives on the command descriptor, and hands each line to `command`. As with a GUI
// timer, enabling it or changing its interval starts the interval afresh.
class LoopTimer : public PlayerTimer {
public:
    void setInterval(int milliseconds) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool enabled() const override { return enabled_; }
    void setTick(std::function<void()> tick) override { tick_ = std::move(tick); }

    // Runs while `keepGoing` says so, and as long as the timer is enabled or commands can
    // still come (`commandFd` is -1 for none; it is left at its end of file).
    void run(const std::function<bool()>& keepGoing, int commandFd,
             const std::function<void(const std::string&)>& command);

private:
    using Clock = std::chrono::steady_clock;
    bool readCommands(int fd, const std::function<void(const std::string&)>& command);

    int interval_ = 0;
    bool enabled_ = false;
    Clock::time_point next_{};
    std::string pending_; // a command line not yet complete
    std::function<void()> tick_;
};

} // namespace cantorel::cli
