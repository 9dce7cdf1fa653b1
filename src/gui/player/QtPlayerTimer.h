#pragma once

#include "core/player/PlayerTimer.h"

#include <QTimer>

namespace cantorel {

// The player component's timer on the window's event loop. Ticks that arrive while an
// unexpected-error box is open are skipped.
class QtPlayerTimer : public PlayerTimer {
public:
    QtPlayerTimer();
    void setInterval(int milliseconds) override { timer_.setInterval(milliseconds); }
    int interval() const override { return timer_.interval(); }
    void setEnabled(bool enabled) override;
    bool enabled() const override { return timer_.isActive(); }
    void setTick(std::function<void()> tick) override { tick_ = std::move(tick); }

private:
    QTimer timer_;
    std::function<void()> tick_;
};

} // namespace cantorel
