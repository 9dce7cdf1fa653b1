#include "tray/window/TTrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QWidget>
#include <stdexcept>

namespace cantorel {

TTrayIcon::TTrayIcon(QWidget* window, std::unique_ptr<TrayShell> shell, const QIcon& icon, const QString& title)
    : window_(window), shell_(std::move(shell)), icon_(icon), tip_(title.left(TipLimit))
{
    shell_->onMessage = [this](int message) { IconWndProc(message); };
    if (!shell_->add(icon_, tip_))
        throw std::runtime_error("Cannot create shell notification icon");
    showMenu = [](QMenu* menu, QPoint at) { menu->popup(at); };
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

void TTrayIcon::IconWndProc(int message)
{
    ShiftState s = ShiftStateNow();
    switch (message) {
    case WM_MOUSEMOVE:
        if (OnMouseMove) {
            const QPoint at = QCursor::pos();
            OnMouseMove(s, at.x(), at.y());
        }
        break;
    case WM_LBUTTONDOWN:
        s.left = true;
        FireMouseDown(Button::Left, s);
        Clicked = true;
        break;
    case WM_LBUTTONUP:
        s.left = true;
        if (Clicked) {
            Clicked = false;
            if (OnClick)
                OnClick();
        }
        FireMouseUp(Button::Left, s);
        break;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
        if (OnDblClick)
            OnDblClick();
        break;
    case WM_RBUTTONDOWN:
        s.right = true;
        FireMouseDown(Button::Right, s);
        PopupAtCursor();
        break;
    case WM_RBUTTONUP:
        s.right = true;
        FireMouseUp(Button::Right, s);
        break;
    case WM_MBUTTONDOWN:
        s.middle = true;
        FireMouseDown(Button::Middle, s);
        break;
    case WM_MBUTTONUP:
        s.middle = true;
        FireMouseUp(Button::Middle, s);
        break;
    default: break;
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
    if (OnMinimize)
        OnMinimize();
}

void TTrayIcon::AppRestored()
{
    shell_->attachMenu(nullptr);
    if (OnRestore)
        OnRestore();
}

} // namespace cantorel
