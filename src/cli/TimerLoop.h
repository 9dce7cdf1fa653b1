#pragma once

#include "core/player/PlayerTimer.h"

#include <functional>
#include <string>
#include <vector>

namespace cantorel::cli {

class LoopTimer;

// The event loop of the command-line player: it sleeps until the next of its timers is
// due, or until a line arrives on the command descriptor, ticks the timers that are due
// and hands each line to `command`.
class TimerLoop {
public:
    // Makes timers that this loop ticks.
    PlayerTimerFactory factory();

    // Runs while `keepGoing` says so, and as long as a timer is enabled or commands can
    // still come (`commandFd` is -1 for none; it is left at its end of file).
    void run(const std::function<bool()>& keepGoing, int commandFd,
             const std::function<void(const std::string&)>& command);

private:
    friend class LoopTimer;
    void add(LoopTimer* timer) { timers_.push_back(timer); }
    void remove(LoopTimer* timer);
    bool anyEnabled() const;
    // Milliseconds until the next timer is due; -1 with none enabled.
    int timeout() const;
    void tickDue();
    bool readCommands(int fd, const std::function<void(const std::string&)>& command);

    std::vector<LoopTimer*> timers_;
    std::string pending_; // a command line not yet complete
};

} // namespace cantorel::cli
