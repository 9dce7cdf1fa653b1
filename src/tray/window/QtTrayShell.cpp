#include "tray/window/QtTrayShell.h"

#include "tray/window/TTrayIcon.h"

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

void QtTrayShell::send(std::initializer_list<int> messages)
{
    for (int m : messages) {
        if (onMessage)
            onMessage(m);
    }
}

void QtTrayShell::activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (singleActivations_)
            send({TTrayIcon::WM_LBUTTONDBLCLK});
        else
            send({TTrayIcon::WM_LBUTTONDOWN, TTrayIcon::WM_LBUTTONUP});
        break;
    case QSystemTrayIcon::DoubleClick: send({TTrayIcon::WM_LBUTTONDBLCLK, TTrayIcon::WM_LBUTTONUP}); break;
    case QSystemTrayIcon::Context: send({TTrayIcon::WM_RBUTTONDOWN, TTrayIcon::WM_RBUTTONUP}); break;
    case QSystemTrayIcon::MiddleClick: send({TTrayIcon::WM_MBUTTONDOWN, TTrayIcon::WM_MBUTTONUP}); break;
    case QSystemTrayIcon::Unknown: break;
    }
}

} // namespace cantorel
