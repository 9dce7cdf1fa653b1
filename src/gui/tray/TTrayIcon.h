#pragma once

#include "core/platform/Result.h"

#include "gui/tray/TrayShell.h"

#include <QIcon>
#include <QObject>
#include <QPoint>

#include <functional>
#include <memory>

class QMenu;
class QWidget;

namespace cantorel {

// The notification-area icon: one icon with a tool tip, the shell's mouse messages
// turned into events, a pop-up menu at the cursor while the program is minimized into
// the icon, and the program's minimize and restore.
class TTrayIcon : public QObject {
    Q_OBJECT
public:
    enum class Button { Left, Right, Middle };
    // Keys (shift, alt, ctrl) and buttons held down.
    struct ShiftState {
        bool shift = false, alt = false, ctrl = false, left = false, right = false, middle = false;
    };
    static constexpr int TipLimit = 63;

    // Adds the icon with `icon` and the tip `title`; fails ("Cannot create shell
    // notification icon") when the shell refuses. `window` is the window whose task-bar
    // entry minimizing hides.
    static Result<std::unique_ptr<TTrayIcon>> create(QWidget* window, std::unique_ptr<TrayShell> shell,
                                                     const QIcon& icon, const QString& title);
    ~TTrayIcon() override;

    const QString& Hint() const { return hint_; }
    void setHint(const QString& hint);
    const QIcon& Icon() const { return icon_; }
    void setIcon(const QIcon& icon);
    QMenu* PopupMenu() const { return popupMenu_; }
    void setPopupMenu(QMenu* menu) { popupMenu_ = menu; }
    // The tip the shell shows: the hint (or the title given at creation) cut to 63.
    const QString& tip() const { return tip_; }

    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void(Button, ShiftState, int x, int y)> OnMouseDown;
    std::function<void(Button, ShiftState, int x, int y)> OnMouseUp;
    // Where a pop-up menu goes; by default the menu pops up at `at`.
    std::function<void(QMenu* menu, QPoint at)> showMenu;

    // The shell's report of what the mouse did on the icon.
    void IconWndProc(TrayEvent event);
    void PopupAtCursor();
    void DeleteIcon();
    void ModifyIcon();
    // The window has just been minimized: its task-bar entry goes, the menu comes.
    void AppMinimized();
    // The window has just been restored.
    void AppRestored();

private:
    TTrayIcon(QWidget* window, std::unique_ptr<TrayShell> shell, const QIcon& icon, const QString& title);
    ShiftState ShiftStateNow() const;
    void FireMouseDown(Button button, ShiftState s);
    void FireMouseUp(Button button, ShiftState s);

    QWidget* window_;
    std::unique_ptr<TrayShell> shell_;
    QIcon icon_;
    QString hint_;
    QString tip_;
    QMenu* popupMenu_ = nullptr;
    bool Clicked = false;
    bool deleted_ = false;
};

} // namespace cantorel
