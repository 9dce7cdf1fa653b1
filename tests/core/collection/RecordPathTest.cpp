#include "core/collection/RecordPath.h"

#include "core/collection/CollectionTree.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

using namespace cantorel;

// A file's path kept as a link to its folder's reads as the whole path in every way a
// whole one does; copies and moves own the whole path and outlive the tree that kept it
// (ASan sees any read of the pool after it went).
TEST(RecordPath, ALinkedPathReadsAsTheWholePath)
{
    const struct {
        std::string folder, name, whole;
    } cases[] = {
        {"/music/Album", "01 Intro.mp3", "/music/Album/01 Intro.mp3"},
        {"/music/", "loose.mp3", "/music/loose.mp3"}, // the root's path ends with "/"
        {"/m\xE9sica/\xC3\xA9t\xC3\xA9", "x.mp3", "/m\xE9sica/\xC3\xA9t\xC3\xA9/x.mp3"},
        {"/a", "b", "/a/b"},
    };
    std::vector<RecordPath> copies, moves;
    {
        CollectionTree tree;
        for (const auto& c : cases) {
            RecordPath folder;
            tree.keepPath(folder, c.folder);
            RecordPath linked;
            tree.keepPathIn(linked, folder, c.name);
            const RecordPath whole(c.whole);
            EXPECT_TRUE(linked.linked()) << c.whole;
            EXPECT_FALSE(whole.linked());
            EXPECT_EQ(linked.str(), c.whole);
            EXPECT_EQ(linked.size(), c.whole.size());
            EXPECT_EQ(linked.fileName(), c.name);
            EXPECT_EQ(whole.fileName(), c.name);
            EXPECT_EQ(linked.folderText(), c.folder);
            EXPECT_TRUE(linked == c.whole);
            EXPECT_TRUE(linked == whole);
            EXPECT_TRUE(whole == linked);
            EXPECT_FALSE(linked == c.whole + "x");
            EXPECT_FALSE(linked == c.whole.substr(0, c.whole.size() - 1) + "q");
            EXPECT_EQ(linked + "#cover", c.whole + "#cover");
            // A folder whose path the pool does not keep whole gets no link.
            RecordPath unlinked;
            tree.keepPathIn(unlinked, whole, "y");
            EXPECT_FALSE(unlinked.linked());
            EXPECT_EQ(unlinked.str(), c.whole + "/y");
            copies.push_back(linked);
            RecordPath moved;
            tree.keepPathIn(moved, folder, c.name);
            moves.push_back(std::move(moved));
        }
        // A path longer than a string borrows is kept whole, and so are the paths in it.
        const std::string longFolder = "/" + std::string(CompactString::BorrowLimit, 'd');
        RecordPath folder;
        tree.keepPath(folder, longFolder);
        RecordPath inside;
        tree.keepPathIn(inside, folder, "z.mp3");
        EXPECT_FALSE(folder.borrowed());
        EXPECT_FALSE(inside.linked());
        EXPECT_EQ(folder.str(), longFolder);
        EXPECT_EQ(inside.str(), longFolder + "/z.mp3");
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(copies[i].str(), cases[i].whole);
        EXPECT_FALSE(copies[i].borrowed());
        EXPECT_EQ(moves[i].str(), cases[i].whole);
        EXPECT_FALSE(moves[i].borrowed());
    }
    RecordPath empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.str(), "");
    EXPECT_TRUE(empty == "");
    EXPECT_EQ(empty.fileName(), "");
}
