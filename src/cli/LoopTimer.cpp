#include "cli/LoopTimer.h"

#include <chrono>
#include <thread>

namespace cantorel::cli {

void LoopTimer::run(const std::function<bool()>& keepGoing, const std::function<bool()>& tickNow)
{
    using Clock = std::chrono::steady_clock;
    constexpr auto Slice = std::chrono::milliseconds(2);
    auto next = Clock::now() + std::chrono::milliseconds(interval_);
    while (enabled_ && keepGoing()) {
        std::this_thread::sleep_for(Slice);
        if (Clock::now() < next && !tickNow())
            continue;
        next = Clock::now() + std::chrono::milliseconds(interval_);
        if (enabled_ && tick_)
            tick_();
    }
}

} // namespace cantorel::cli
