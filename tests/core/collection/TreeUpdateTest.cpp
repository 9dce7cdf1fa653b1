#include "core/collection/TreeUpdate.h"

#include "core/platform/CodePage.h"

#include "SmallCollection.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace cantorel;
using namespace cantorel::test;

// The whole collection read against the tree shown, and what differs put in place, gives
// the tree a new reading gives, with a root node or without; the records of what did not
// change keep their addresses, and the search index made again finds what a new one finds.
// Playlists ask for a new tree.
TEST(TreeUpdate, PutsInPlaceWhatANewTreeHolds)
{
    namespace fsys = std::filesystem;
    enum Expect { InPlace, Unchanged, NewTree };
    struct Case {
        const char* what;
        std::function<void(SmallCollection&)> change;
        Expect expect;
        bool keeps = true; // the record of a track in A/1991 Second keeps its address
    };
    const std::vector<Case> cases = {
        {"nothing", [](SmallCollection&) {}, Unchanged},
        {"a tag rewritten", [](SmallCollection& c) { c.dir.write("A/1990 First/02.mp3", track(4, "Deux")); }, InPlace},
        {"a track added", [](SmallCollection& c) { c.dir.write("A/1991 Second/02.mp3", track(9, "Six")); }, InPlace,
         false},
        {"an album made", [](SmallCollection& c) { c.dir.write("A/1992 Third/01.mp3", track(7, "Seven")); }, InPlace},
        {"an album renamed",
         [](SmallCollection& c) { fsys::rename(c.folder("A/1991 Second"), c.folder("A/1993 Second")); }, InPlace,
         false},
        {"an album's description", [](SmallCollection& c) { c.dir.write("A/files.bbs", "1991 Second now this\r\n"); },
         InPlace},
        {"a picture for the artist", [](SmallCollection& c) { c.dir.write("A/dirinfo.bmp", "BM"); }, InPlace, false},
        {"the last track of a folder alone in its own",
         [](SmallCollection& c) { fsys::remove(c.folder("B/Lone/01.mp3")); }, InPlace},
        {"a track at the root", [](SmallCollection& c) { c.dir.write("top.mp3", track(1, "Eight")); }, InPlace},
        {"a playlist made", [](SmallCollection& c) { c.dir.write("C/list.m3u", "01.mp3\r\n"); }, NewTree},
    };
    for (const auto& [t, rootName] : [&] {
             std::vector<std::pair<Case, std::string>> all;
             for (const Case& t : cases)
                 for (const char* name : {"Root", ""})
                     all.emplace_back(t, name);
             return all;
         }()) {
        SCOPED_TRACE(std::string(t.what) + (rootName.empty() ? ", no root node" : ""));
        SmallCollection c;
        c.rootName = rootName;
        CollectionTree shown = c.build();
        const CodePage& ansi = *CodePage::byNumber(1252);
        SearchIndex index(false);
        index.build(shown, ansi);
        const auto recordOf = [&](const std::string& path) -> const CollectionItem* {
            for (const NodeId n : shown.Nodes)
                if (shown.record(n)->Path == c.folder(path))
                    return shown.record(n);
            return nullptr;
        };
        const CollectionItem* untouched = recordOf("A/1991 Second/01.mp3");
        ASSERT_TRUE(untouched);
        t.change(c);
        std::optional<TreeUpdate> update = TreeUpdate::plan(shown, c.dir.path());
        ASSERT_TRUE(update);
        const bool inPlace = update->read(c.settings(), nullptr);
        ASSERT_EQ(inPlace, t.expect != NewTree);
        if (!inPlace)
            continue;
        ASSERT_EQ(update->sameAs(shown), t.expect == Unchanged);
        index.rebuild(shown, ansi, update->apply(shown));
        const CollectionTree anew = c.build();
        EXPECT_TRUE(shown.sameAs(anew));
        SearchIndex fresh(false);
        fresh.build(shown, ansi);
        expectSameSearches(index, fresh);
        EXPECT_EQ(recordOf("A/1991 Second/01.mp3") == untouched, t.keeps);
    }
    // Offline folders and playlists are not read against the tree.
    SmallCollection c;
    c.dir.write("C/list.m3u", "01.mp3\r\n");
    EXPECT_FALSE(TreeUpdate::plan(c.build(), c.dir.path()).has_value());
}
