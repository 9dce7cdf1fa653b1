#include "core/platform/CompactString.h"

#include <gtest/gtest.h>
#include <utility>

using namespace cantorel;

TEST(CompactString, HoldsAnyTextInsideOrOnTheHeap)
{
    for (const std::string& text : {std::string(), std::string("a"), std::string(15, 'x'), std::string(16, 'y'),
                                    std::string(300, 'z'), std::string("with\0nul", 8)}) {
        CompactString s(text);
        EXPECT_EQ(s.view(), text);
        EXPECT_EQ(s.size(), text.size());
        EXPECT_EQ(s.c_str()[text.size()], '\0');
        CompactString copy = s;
        CompactString moved = std::move(copy);
        EXPECT_EQ(moved, text);
        EXPECT_TRUE(copy.empty()); // NOLINT: a moved-from string is empty
        // Assigned a part of itself, and then something of the other kind.
        moved = moved.view().substr(text.size() / 2);
        EXPECT_EQ(moved, text.substr(text.size() / 2));
        moved = text.size() > 15 ? std::string("short") : std::string(40, 'l');
        EXPECT_EQ(moved.str(), text.size() > 15 ? std::string("short") : std::string(40, 'l'));
    }
    EXPECT_EQ(CompactString("dir") + "/" + CompactString("name.mp3"), "dir/name.mp3");
}
