#include "gui/tray/TTrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QWidget>

namespace cantorel {

TTrayIcon::TTrayIcon(QWidget* window, std::unique_ptr<TrayShell> shell, const QIcon& icon, const QString& title)
    : window_(window), shell_(std::move(shell)), icon_(icon), tip_(title.left(TipLimit))
{
    shell_->onMessage = [this](TrayEvent event) { IconWndProc(event); };
    showMenu = [](QMenu* menu, QPoint at) { menu->popup(at); };
}

Result<std::unique_ptr<TTrayIcon>> TTrayIcon::create(QWidget* window, std::unique_ptr<TrayShell> shell,
                                                     const QIcon& icon, const QString& title)
{
    std::unique_ptr<TTrayIcon> tray(new TTrayIcon(window, std::move(shell), icon, title));
    if (!tray->shell_->add(tray->icon_, tray->tip_)) {
        tray->deleted_ = true; // nothing to remove
        return fail("Cannot create shell notification icon");
    }
    return tray;
}

TTrayIcon::~TTrayIcon() { DeleteIcon(); }

void TTrayIcon::setHint(const QString& hint)
{
    if (hint == hint_)
        return;
    hint_ = hint;
    tip_ = hint.left(TipLimit);
    ModifyIcon();
}

void TTrayIcon::setIcon(const QIcon& icon)
{
    if (icon.cacheKey() == icon_.cacheKey())
        return;
    icon_ = icon;
    ModifyIcon();
}

void TTrayIcon::ModifyIcon()
{
    if (!deleted_)
        shell_->modify(icon_, tip_);
}

void TTrayIcon::DeleteIcon()
{
    if (!deleted_)
        shell_->remove();
    deleted_ = true;
}

TTrayIcon::ShiftState TTrayIcon::ShiftStateNow() const
{
    const Qt::KeyboardModifiers keys = QApplication::queryKeyboardModifiers();
    ShiftState s;
    s.shift = keys & Qt::ShiftModifier;
    s.ctrl = keys & Qt::ControlModifier;
    s.alt = keys & Qt::AltModifier;
    return s;
}

void TTrayIcon::FireMouseDown(Button button, ShiftState s)
{
    if (OnMouseDown) {
        const QPoint at = QCursor::pos();
        OnMouseDown(button, s, at.x(), at.y());
    }
}

void TTrayIcon::FireMouseUp(Button button, ShiftState s)
{
    if (OnMouseUp) {
        const QPoint at = QCursor::pos();
        OnMouseUp(button, s, at.x(), at.y());
    }
}

void TTrayIcon::IconWndProc(TrayEvent event)
{
    ShiftState s = ShiftStateNow();
    switch (event) {
    case TrayEvent::LeftDown:
        s.left = true;
        FireMouseDown(Button::Left, s);
        Clicked = true;
        break;
    case TrayEvent::LeftUp:
        s.left = true;
        if (Clicked) {
            Clicked = false;
            if (OnClick)
                OnClick();
        }
        FireMouseUp(Button::Left, s);
        break;
    case TrayEvent::LeftDoubleClick:
    case TrayEvent::RightDoubleClick:
    case TrayEvent::MiddleDoubleClick:
        if (OnDblClick)
            OnDblClick();
        break;
    case TrayEvent::RightDown:
        s.right = true;
        FireMouseDown(Button::Right, s);
        PopupAtCursor();
        break;
    case TrayEvent::RightUp:
        s.right = true;
        FireMouseUp(Button::Right, s);
        break;
    case TrayEvent::MiddleDown:
        s.middle = true;
        FireMouseDown(Button::Middle, s);
        break;
    case TrayEvent::MiddleUp:
        s.middle = true;
        FireMouseUp(Button::Middle, s);
        break;
    }
}

void TTrayIcon::PopupAtCursor()
{
    // While the program's window is on screen the right button shows no menu; a host
    // that shows the attached menu itself needs no second one.
    if (!popupMenu_ || window_->isVisible() || shell_->menuAttached())
        return;
    showMenu(popupMenu_, QCursor::pos());
}

void TTrayIcon::AppMinimized()
{
    window_->hide();
    shell_->attachMenu(popupMenu_);
}

void TTrayIcon::AppRestored() { shell_->attachMenu(nullptr); }

} // namespace cantorel
