#pragma once

namespace cantorel {

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect&) const = default;
};

// The main window's resize rule: the tree and the player panel form a fixed-width column
// on the left, the pages take the rest of the client area.
struct MainLayout {
    static constexpr Rect InitialTree{3, 1, 302, 248};
    static constexpr Rect InitialPanel{0, 251, 306, 87};
    static constexpr Rect InitialPages{309, 0, 332, 337};
    static constexpr int InitialClientWidth = 641;
    static constexpr int InitialClientHeight = 337;

    Rect tree = InitialTree;
    Rect panel = InitialPanel;
    Rect pages = InitialPages;

    // Lays the three out again for a client area of `width` by `height`.
    void FormResize(int width, int height);
};

inline void MainLayout::FormResize(int width, int height)
{
    tree.width = panel.width;
    tree.height = height - panel.height - 2;
    pages.top = 0;
    pages.left = tree.width + 2;
    pages.width = width - pages.left;
    pages.height = height;
    panel.left = 0;
    panel.top = height - panel.height;
}

} // namespace cantorel
