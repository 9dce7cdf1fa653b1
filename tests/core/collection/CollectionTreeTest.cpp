#include "core/collection/CollectionTree.h"

#include <gtest/gtest.h>
#include <map>
#include <random>

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

// Each node's children, as a list per parent, against what the tree links: adding,
// removing (first, middle, last or only child) and moving nodes in any order keeps the
// order, the last child and each node's kind and record.
TEST(CollectionTree, RemovalsAndMovesKeepEveryOrder)
{
    CollectionTree tree;
    std::map<NodeId, std::vector<NodeId>> children; // NoNode: the top level
    std::map<NodeId, std::pair<CollectionItem*, std::uint8_t>> made;
    std::mt19937 random(7);
    const auto pick = [&](const std::vector<NodeId>& from) { return from[random() % from.size()]; };
    const auto live = [&] {
        std::vector<NodeId> nodes;
        for (const auto& [parent, list] : children)
            nodes.insert(nodes.end(), list.begin(), list.end());
        return nodes;
    };
    const auto remove = [&](NodeId n) { std::erase(children[tree.parent(n)], n); };
    for (int step = 0; step < 3000; ++step) {
        const std::vector<NodeId> nodes = live();
        const int op = nodes.size() < 4 ? 0 : static_cast<int>(random() % 4);
        if (op == 0) {
            const NodeId parent = nodes.empty() || random() % 3 == 0 ? NoNode : pick(nodes);
            const auto kind = static_cast<std::uint8_t>(1 + random() % KindPlaylists);
            CollectionItem* record = tree.newRecord();
            const NodeId n = tree.addNode(parent, "n", record, kind);
            children[parent].push_back(n);
            made[n] = {record, kind};
        } else if (op == 1) {
            std::vector<NodeId> leaves;
            for (const NodeId n : nodes)
                if (tree.firstChild(n) == NoNode)
                    leaves.push_back(n);
            const NodeId leaf = pick(leaves);
            remove(leaf);
            children.erase(leaf);
            tree.removeLeaf(leaf);
            EXPECT_EQ(tree.record(leaf), nullptr);
            EXPECT_EQ(tree.kind(leaf), made[leaf].second);
        } else if (op == 2) {
            const NodeId n = pick(nodes);
            std::vector<NodeId> targets{NoNode}; // not below itself
            for (const NodeId t : nodes) {
                bool below = false;
                for (NodeId up = t; up != NoNode && !below; up = tree.parent(up))
                    below = up == n;
                if (!below)
                    targets.push_back(t);
            }
            const NodeId to = pick(targets);
            remove(n);
            tree.moveUnder(to, n);
            children[to].push_back(n);
        } else {
            std::vector<NodeId> top = children[NoNode];
            if (top.empty())
                continue;
            const NodeId n = pick(top);
            remove(n);
            tree.moveToEnd(n);
            children[NoNode].push_back(n);
        }
        for (const auto& [parent, list] : children) {
            std::vector<NodeId> linked;
            for (NodeId c = parent == NoNode ? tree.firstTopLevel() : tree.firstChild(parent); c != NoNode;
                 c = tree.nextSibling(c))
                linked.push_back(c);
            ASSERT_EQ(linked, list) << "step " << step;
            if (parent != NoNode) {
                EXPECT_EQ(tree.lastChild(parent), list.empty() ? NoNode : list.back());
                EXPECT_EQ(tree.record(parent), made[parent].first);
                EXPECT_EQ(tree.kind(parent), made[parent].second);
            }
        }
    }
    tree.fillNodeTable();
    EXPECT_EQ(tree.Nodes.size(), live().size());
}
