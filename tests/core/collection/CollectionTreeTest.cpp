#include "core/collection/CollectionTree.h"

#include <gtest/gtest.h>

using namespace cantorel;

TEST(CollectionTree, PreOrderTableAndSharedRecords)
{
    CollectionTree tree;
    CollectionItem* rootRecord = tree.newRecord();
    const NodeId root = tree.addNode(NoNode, "Root", rootRecord, KindRootOrParent);
    const NodeId dirA = tree.addNode(root, "A", tree.newRecord(), KindDirectory);
    CollectionItem* song = tree.newRecord();
    const NodeId track = tree.addNode(dirA, "Song", song, KindTrack);
    const NodeId empty = tree.addNode(root, "Empty", tree.newRecord(), KindDirectory);
    const NodeId playlists = tree.addNode(NoNode, "Playlists", tree.newRecord(), KindPlaylists);
    const NodeId list = tree.addNode(playlists, "List", tree.newRecord(), KindPlaylist);
    const NodeId entry = tree.addNode(list, "Song", song, KindTrack);
    const NodeId late = tree.addNode(NoNode, "Late", tree.newRecord(), KindDirectory);
    tree.removeLeaf(empty);
    tree.moveToEnd(playlists);
    tree.fillNodeTable();
    EXPECT_EQ(tree.Nodes, (std::vector<NodeId>{root, dirA, track, late, playlists, list, entry}));
    EXPECT_EQ(tree.size(), 7);
    EXPECT_EQ(tree.childCount(root), 1);
    EXPECT_EQ(tree.parent(entry), list);

    const std::vector<NodeId> renamed = tree.RenameSharedNodes(song, "New title");
    EXPECT_EQ(renamed, (std::vector<NodeId>{track, entry}));
    EXPECT_EQ(tree.caption(track), "New title");
    EXPECT_EQ(tree.caption(entry), "New title");
    EXPECT_EQ(tree.caption(dirA), "A");
}

TEST(CollectionTree, ManyNodesWithoutAFixedCapacity)
{
    CollectionTree tree;
    const NodeId dir = tree.addNode(NoNode, "d", tree.newRecord(), KindDirectory);
    for (int i = 0; i < 20'000; ++i)
        tree.addNode(dir, "t", tree.newRecord(), KindTrack);
    tree.fillNodeTable();
    EXPECT_EQ(tree.NodeCount(), 20'001);
}
