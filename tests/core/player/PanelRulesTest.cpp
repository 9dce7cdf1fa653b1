#include "core/player/PanelRules.h"

#include <gtest/gtest.h>

using namespace cantorel;

TEST(PanelRules, FormatTimeAndTickSpacing)
{
    const std::pair<std::int64_t, std::string> times[] = {
        {0, "0:00:00"}, {59, "0:00:59"}, {3725, "1:02:05"}, {36000, "10:00:00"}, {360000, "100:00:00"}};
    for (const auto& [seconds, text] : times)
        EXPECT_EQ(PanelRules::FormatTime(seconds), text);
    const std::pair<std::int64_t, std::optional<int>> ticks[] = {
        {0, 10}, {200, 10}, {201, 30}, {600, 30}, {601, 60}, {1200, 60}, {2400, 120}, {2401, std::nullopt}};
    for (const auto& [seconds, spacing] : ticks)
        EXPECT_EQ(PanelRules::tickSpacing(seconds), spacing) << seconds;
}

TEST(PanelRules, PlayableTracksAndTexts)
{
    CollectionTree tree;
    CollectionItem* dirRecord = tree.newRecord();
    const NodeId dir = tree.addNode(NoNode, "Dir caption", dirRecord, KindDirectory);
    CollectionItem* a = tree.newRecord();
    a->Name = "Title A";
    a->Album = "Album";
    a->Artist = "Artist";
    const NodeId ta = tree.addNode(dir, "Title A", a, KindTrack);
    CollectionItem* b = tree.newRecord();
    b->Artist = "Only artist";
    const NodeId tb = tree.addNode(dir, "b", b, KindTrack);
    const NodeId lists = tree.addNode(NoNode, "Playlists", tree.newRecord(), KindPlaylists);
    const NodeId list = tree.addNode(lists, "list", tree.newRecord(), KindPlaylist);
    CollectionItem* c = tree.newRecord();
    c->Name = "C";
    const NodeId entry = tree.addNode(list, "C", c, KindTrack);
    tree.fillNodeTable();

    EXPECT_EQ(PanelRules::FindPlayableTrack(tree, NoNode, true), NoNode); // no active track
    EXPECT_EQ(PanelRules::FindPlayableTrack(tree, ta, false), NoNode);    // no wrap-around
    EXPECT_EQ(PanelRules::FindPlayableTrack(tree, ta, true), tb);
    EXPECT_EQ(PanelRules::FindPlayableTrack(tree, tb, true), entry); // into the first playlist
    EXPECT_EQ(PanelRules::FindPlayableTrack(tree, entry, true), NoNode);
    EXPECT_EQ(PanelRules::FindPlayableTrack(tree, entry, false), tb);
    EXPECT_EQ(PanelRules::FindPlayableTrack(tree, dir, true), ta); // a node that is not a track can be active

    EXPECT_EQ(PanelRules::lineText(tree, ta), "\rTitle A\rAlbum");
    EXPECT_EQ(PanelRules::lineText(tree, tb), "Only artist");
    EXPECT_EQ(PanelRules::lineText(tree, entry), "\rC\r\rlist"); // the parent of the first node with the record
    EXPECT_EQ(PanelRules::lineText(tree, dir), "\r");            // no title, album or artist, no parent
    EXPECT_EQ(PanelRules::hintText("\rTitle A\rAlbum"), ". Title A. Album");
}
