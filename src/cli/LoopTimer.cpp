#include "cli/LoopTimer.h"

#include <chrono>
#include <thread>

namespace cantorel::cli {

void LoopTimer::run(const std::function<bool()>& keepGoing)
{
    while (enabled_ && keepGoing()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(interval_ > 0 ? interval_ : 1));
        if (enabled_ && tick_)
            tick_();
    }
}

} // namespace cantorel::cli
