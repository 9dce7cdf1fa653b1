#include "cli/TimerLoop.h"

#include "cli/LoopTimer.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <poll.h>
#include <unistd.h>

namespace cantorel::cli {

PlayerTimerFactory TimerLoop::factory()
{
    return [this] { return std::make_unique<LoopTimer>(*this); };
}

void TimerLoop::remove(LoopTimer* timer) { std::erase(timers_, timer); }

bool TimerLoop::anyEnabled() const
{
    return std::any_of(timers_.begin(), timers_.end(), [](const LoopTimer* t) { return t->enabled(); });
}

int TimerLoop::timeout() const
{
    long long soonest = -1;
    const auto now = LoopTimer::Clock::now();
    for (const LoopTimer* t : timers_) {
        if (!t->enabled())
            continue;
        const long long left =
            std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(t->due() - now).count());
        soonest = soonest < 0 ? left : std::min(soonest, left);
    }
    return static_cast<int>(soonest);
}

void TimerLoop::tickDue()
{
    // A tick may make or delete timers: each is looked for again before it ticks.
    const std::vector<LoopTimer*> timers = timers_;
    const auto now = LoopTimer::Clock::now();
    for (LoopTimer* t : timers) {
        if (std::find(timers_.begin(), timers_.end(), t) != timers_.end())
            t->tickIfDue(now);
    }
}

void TimerLoop::run(const std::function<bool()>& keepGoing, int commandFd,
                    const std::function<void(const std::string&)>& command)
{
    while (keepGoing() && (anyEnabled() || commandFd >= 0)) {
        pollfd watch{commandFd, POLLIN, 0};
        const int ready = ::poll(&watch, commandFd >= 0 ? 1 : 0, timeout());
        if (ready > 0 && !readCommands(commandFd, command))
            commandFd = -1;
        if (ready < 0 && errno != EINTR)
            commandFd = -1; // a descriptor that cannot be watched gives no commands
        tickDue();
    }
}

bool TimerLoop::readCommands(int fd, const std::function<void(const std::string&)>& command)
{
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
        return true;
    if (n <= 0)
        return false;
    pending_.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        command(line);
    }
    return true;
}

} // namespace cantorel::cli
