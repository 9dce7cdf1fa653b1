#include "gui/player/QtPlayerTimer.h"

#include "gui/common/CantorelApplication.h"

namespace cantorel {

QtPlayerTimer::QtPlayerTimer()
{
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (tick_ && !CantorelApplication::showingError())
            tick_();
    });
}

void QtPlayerTimer::setEnabled(bool enabled)
{
    if (enabled)
        timer_.start();
    else
        timer_.stop();
}

} // namespace cantorel
