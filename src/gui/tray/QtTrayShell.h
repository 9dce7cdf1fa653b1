#pragma once

#include "gui/tray/TrayShell.h"

#include <QSystemTrayIcon>

namespace cantorel {

// The notification area through QSystemTrayIcon. Its activations become the mouse
// messages of a click, a double click, a right click and a middle click. Where the host
// reports only single activations (StatusNotifierItem), an activation is a double click.
class QtTrayShell : public TrayShell {
public:
    QtTrayShell();
    bool add(const QIcon& icon, const QString& tip) override;
    void modify(const QIcon& icon, const QString& tip) override;
    void remove() override;
    void attachMenu(QMenu* menu) override;
    bool menuAttached() const override { return menu_ != nullptr; }

private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void send(std::initializer_list<TrayEvent> events);

    QSystemTrayIcon icon_;
    QMenu* menu_ = nullptr;
    bool singleActivations_ = false;
};

} // namespace cantorel
