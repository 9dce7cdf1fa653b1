#pragma once

#include <QLabel>
#include <QString>
#include <QToolButton>

#include <string>

namespace cantorel::widgets {

inline QString qs(const std::string& s) { return QString::fromStdString(s); }

// Gives a widget its name (which is also how tests and assistive tools find it).
template <typename T>
T* named(T* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

inline QLabel* fixedLabel(QWidget* parent, const char* name, const QRect& geometry, Qt::Alignment alignment)
{
    auto* label = named(new QLabel(parent), name);
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    return label;
}

inline QToolButton* flatButton(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* button = named(new QToolButton(parent), name);
    button->setGeometry(geometry);
    button->setAutoRaise(true);
    return button;
}

} // namespace cantorel::widgets
