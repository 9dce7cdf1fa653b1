#include "gui/tray/QtTrayShell.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTextDocument>

namespace cantorel {

namespace {

// Tool tips render text that looks like markup; collection data is shown as typed.
QString plainTip(const QString& tip) { return Qt::mightBeRichText(tip) ? "<qt>" + tip.toHtmlEscaped() + "</qt>" : tip; }

bool statusNotifierHost()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered("org.kde.StatusNotifierWatcher").value();
}
} // namespace

QtTrayShell::QtTrayShell() : singleActivations_(statusNotifierHost())
{
    QObject::connect(&icon_, &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason r) { activated(r); });
}

bool QtTrayShell::add(const QIcon& icon, const QString& tip)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    icon_.setIcon(icon);
    icon_.setToolTip(plainTip(tip));
    icon_.show();
    return true;
}

void QtTrayShell::modify(const QIcon& icon, const QString& tip)
{
    icon_.setIcon(icon);
    icon_.setToolTip(plainTip(tip));
}

void QtTrayShell::remove() { icon_.hide(); }

void QtTrayShell::attachMenu(QMenu* menu)
{
    menu_ = menu;
    icon_.setContextMenu(menu);
}

void QtTrayShell::send(std::initializer_list<TrayEvent> events)
{
    for (TrayEvent m : events) {
        if (onMessage)
            onMessage(m);
    }
}

void QtTrayShell::activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (singleActivations_)
            send({TrayEvent::LeftDoubleClick});
        else
            send({TrayEvent::LeftDown, TrayEvent::LeftUp});
        break;
    case QSystemTrayIcon::DoubleClick: send({TrayEvent::LeftDoubleClick, TrayEvent::LeftUp}); break;
    case QSystemTrayIcon::Context: send({TrayEvent::RightDown, TrayEvent::RightUp}); break;
    case QSystemTrayIcon::MiddleClick: send({TrayEvent::MiddleDown, TrayEvent::MiddleUp}); break;
    case QSystemTrayIcon::Unknown: break;
    }
}

} // namespace cantorel
