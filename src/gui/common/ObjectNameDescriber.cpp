#include "gui/common/ObjectNameDescriber.h"

#include <QEvent>
#include <QWidget>

namespace cantorel {

bool ObjectNameDescriber::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Polish && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (!widget->objectName().isEmpty() && widget->accessibleDescription().isEmpty())
            widget->setAccessibleDescription(widget->objectName());
    }
    return QObject::eventFilter(watched, event);
}

} // namespace cantorel
