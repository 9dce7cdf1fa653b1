#include "cli/LoopTimer.h"

#include "cli/TimerLoop.h"

namespace cantorel::cli {

LoopTimer::LoopTimer(TimerLoop& loop) : loop_(loop) { loop_.add(this); }

LoopTimer::~LoopTimer() { loop_.remove(this); }

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

void LoopTimer::tickIfDue(Clock::time_point now)
{
    if (!enabled_ || now < next_)
        return;
    next_ = now + std::chrono::milliseconds(interval_);
    if (tick_)
        tick_();
}

} // namespace cantorel::cli
