#pragma once

#include <QIcon>
#include <QString>

#include <functional>

class QMenu;

namespace cantorel {

// What the mouse does on the icon, as the shell reports it (the WM_ mouse messages of the
// notification area's callback).
enum class TrayEvent {
    LeftDown,
    LeftUp,
    LeftDoubleClick,
    RightDown,
    RightUp,
    RightDoubleClick,
    MiddleDown,
    MiddleUp,
    MiddleDoubleClick,
};

// The notification area as the tray icon component sees it: add, change and remove its
// one icon, and the mouse messages that come back from it.
class TrayShell {
public:
    virtual ~TrayShell() = default;
    virtual bool add(const QIcon& icon, const QString& tip) = 0;
    virtual void modify(const QIcon& icon, const QString& tip) = 0;
    virtual void remove() = 0;
    // The host's own menu for the icon (nullptr: none).
    virtual void attachMenu(QMenu* menu) = 0;
    virtual bool menuAttached() const = 0;
    // What the mouse does on the icon goes here.
    std::function<void(TrayEvent event)> onMessage;
};

} // namespace cantorel
