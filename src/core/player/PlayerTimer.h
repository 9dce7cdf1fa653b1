#pragma once

#include <functional>
#include <memory>

namespace cantorel {

// The timer that drives the player component's polling. The window implements it with
// QTimer; the command-line companion with a plain loop.
class PlayerTimer {
public:
    virtual ~PlayerTimer() = default;
    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    // What a tick calls.
    virtual void setTick(std::function<void()> tick) = 0;
};

// Makes the timers the component owns.
using PlayerTimerFactory = std::function<std::unique_ptr<PlayerTimer>()>;

} // namespace cantorel
