#include "gui/app/MainLayout.h"

#include <gtest/gtest.h>

using cantorel::MainLayout;
using cantorel::Rect;

TEST(MainLayout, FormResizeKeepsTheLeftColumnFixed)
{
    const struct {
        int width, height;
        Rect tree, panel, pages;
    } cases[] = {
        {600, 400, {3, 1, 306, 311}, {0, 313, 306, 87}, {308, 0, 292, 400}},
        {641, 337, {3, 1, 306, 248}, {0, 250, 306, 87}, {308, 0, 333, 337}},
        {1024, 768, {3, 1, 306, 679}, {0, 681, 306, 87}, {308, 0, 716, 768}},
    };
    for (const auto& c : cases) {
        MainLayout layout;
        layout.FormResize(c.width, c.height);
        EXPECT_EQ(layout.tree, c.tree) << c.width << "x" << c.height;
        EXPECT_EQ(layout.panel, c.panel) << c.width << "x" << c.height;
        EXPECT_EQ(layout.pages, c.pages) << c.width << "x" << c.height;
    }
}
