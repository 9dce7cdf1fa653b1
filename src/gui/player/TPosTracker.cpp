#include "gui/player/TPosTracker.h"

namespace cantorel {

TPosTracker::TPosTracker(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void TPosTracker::mousePressEvent(QMouseEvent* event)
{
    emit mouseDown();
    QSlider::mousePressEvent(event);
}

void TPosTracker::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    emit mouseUp();
}

} // namespace cantorel
