#include "cli/LoopTimer.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace cantorel::cli {

void LoopTimer::setInterval(int milliseconds)
{
    interval_ = milliseconds;
    next_ = Clock::now() + std::chrono::milliseconds(interval_);
}

void LoopTimer::setEnabled(bool enabled)
{
    if (enabled && !enabled_)
        next_ = Clock::now() + std::chrono::milliseconds(interval_);
    enabled_ = enabled;
}

void LoopTimer::run(const std::function<bool()>& keepGoing, int commandFd,
                    const std::function<void(const std::string&)>& command)
{
    while (keepGoing() && (enabled_ || commandFd >= 0)) {
        int timeout = -1;
        if (enabled_) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(next_ - Clock::now()).count();
            timeout = static_cast<int>(std::max<long long>(0, left));
        }
        pollfd watch{commandFd, POLLIN, 0};
        const int ready = ::poll(&watch, commandFd >= 0 ? 1 : 0, timeout);
        if (ready > 0 && !readCommands(commandFd, command))
            commandFd = -1;
        if (ready < 0 && errno != EINTR)
            commandFd = -1; // a descriptor that cannot be watched gives no commands
        if (enabled_ && Clock::now() >= next_) {
            next_ = Clock::now() + std::chrono::milliseconds(interval_);
            if (tick_)
                tick_();
        }
    }
}

bool LoopTimer::readCommands(int fd, const std::function<void(const std::string&)>& command)
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
