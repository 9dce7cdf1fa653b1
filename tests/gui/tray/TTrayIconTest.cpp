#include "gui/tray/TTrayIcon.h"

#include "gui/tray/FakeTrayShell.h"

#include <QMenu>
#include <QWidget>

#include <gtest/gtest.h>

using namespace cantorel;
using namespace cantorel::test;

TEST(TTrayIcon, ClickSequenceOfADoubleClick)
{
    QWidget window;
    auto shell = std::make_unique<FakeTrayShell>();
    FakeTrayShell* fake = shell.get();
    std::unique_ptr<TTrayIcon> tray = std::move(TTrayIcon::create(&window, std::move(shell), QIcon(), "Title").value());
    TTrayIcon& icon = *tray;
    QStringList events;
    icon.OnMouseDown = [&](TTrayIcon::Button b, TTrayIcon::ShiftState s, int, int) {
        events << QString("down%1%2").arg(int(b)).arg(s.left ? "L" : "");
    };
    icon.OnMouseUp = [&](TTrayIcon::Button b, TTrayIcon::ShiftState, int, int) {
        events << QString("up%1").arg(int(b));
    };
    icon.OnClick = [&] { events << "click"; };
    icon.OnDblClick = [&] { events << "dblclick"; };
    for (TrayEvent m : {TrayEvent::LeftDown, TrayEvent::LeftUp, TrayEvent::LeftDoubleClick, TrayEvent::LeftUp})
        fake->onMessage(m);
    EXPECT_EQ(events, (QStringList{"down0L", "click", "up0", "dblclick", "up0"}));
    events.clear();
    fake->onMessage(TrayEvent::RightDown); // no menu: only the mouse events
    fake->onMessage(TrayEvent::RightUp);
    fake->onMessage(TrayEvent::MiddleDoubleClick);
    EXPECT_EQ(events, (QStringList{"down1", "up1", "dblclick"}));
}

TEST(TTrayIcon, HintAndTip)
{
    QWidget window;
    auto shell = std::make_unique<FakeTrayShell>();
    FakeTrayShell* fake = shell.get();
    std::unique_ptr<TTrayIcon> tray =
        std::move(TTrayIcon::create(&window, std::move(shell), QIcon(), QString(70, 't')).value());
    TTrayIcon& icon = *tray;
    EXPECT_EQ(fake->tip, QString(63, 't')); // the title given at creation, cut
    EXPECT_EQ(icon.Hint(), "");
    icon.setHint("Playing");
    EXPECT_EQ(fake->modifications, 1);
    icon.setHint("Playing"); // unchanged: no call to the shell
    EXPECT_EQ(fake->modifications, 1);
    icon.setHint(QString(100, 'h'));
    EXPECT_EQ(fake->tip, QString(63, 'h'));
    EXPECT_EQ(icon.Hint(), QString(100, 'h'));
    icon.setHint("");
    EXPECT_EQ(fake->tip, "");
    EXPECT_EQ(fake->modifications, 3);
}

TEST(TTrayIcon, MenuOnlyWhileMinimized)
{
    QWidget window;
    QMenu menu;
    auto shell = std::make_unique<FakeTrayShell>();
    FakeTrayShell* fake = shell.get();
    std::unique_ptr<TTrayIcon> tray = std::move(TTrayIcon::create(&window, std::move(shell), QIcon(), "T").value());
    TTrayIcon& icon = *tray;
    icon.setPopupMenu(&menu);
    int popups = 0;
    icon.showMenu = [&](QMenu* m, QPoint) { popups += m == &menu; };
    window.show();
    fake->onMessage(TrayEvent::RightDown);
    EXPECT_EQ(popups, 0);
    icon.AppMinimized();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(fake->attached, &menu);
    fake->onMessage(TrayEvent::RightDown);
    EXPECT_EQ(popups, 1);
    icon.AppRestored();
    EXPECT_EQ(fake->attached, nullptr);
}

TEST(TTrayIcon, RefusedByTheShell)
{
    QWidget window;
    auto shell = std::make_unique<FakeTrayShell>();
    shell->available = false;
    const Result<std::unique_ptr<TTrayIcon>> refused = TTrayIcon::create(&window, std::move(shell), QIcon(), "T");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "Cannot create shell notification icon");
}
