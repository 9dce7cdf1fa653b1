#pragma once

#include <QObject>

namespace cantorel {

// Gives every widget that has an object name that name as its accessible description
// when it is first polished, so that assistive tools and end-to-end tests find each
// control by its name while the accessible name keeps its caption.
class ObjectNameDescriber : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace cantorel
