#include "core/collection/TreeUpdate.h"

#include "core/platform/CodePage.h"

#include "SmallCollection.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace cantorel;
using namespace cantorel::test;

// The collection read against the tree shown, and what differs put in place, gives the
// tree a new reading gives, with a root node or without, read whole or only where the
// changes were seen; the records of what did not change keep their addresses (those
// replaced let go of their texts), and the search index made again finds what a new one
// finds. Playlists, and a picture that folders not read may inherit, ask for a new tree.
TEST(TreeUpdate, PutsInPlaceWhatANewTreeHolds)
{
    namespace fsys = std::filesystem;
    enum Expect { InPlace, Unchanged, NewTree };
    struct Case {
        const char* what;
        std::function<void(SmallCollection&)> change;
        std::vector<std::string> changed; // where the change is seen ("": the root)
        Expect expect;
        bool keeps = true;         // the record of a track in A/1991 Second keeps its address
        Expect whenSeen = InPlace; // read only where the change was seen, if not `expect`
        bool withRootNode = false; // a change that only a root node shows
    };
    const std::vector<Case> cases = {
        {"nothing", [](SmallCollection&) {}, {"C"}, Unchanged, true, Unchanged},
        {"a tag rewritten",
         [](SmallCollection& c) { c.dir.write("A/1990 First/02.mp3", track(4, "Deux")); },
         {"A/1990 First"},
         InPlace},
        {"a track added",
         [](SmallCollection& c) { c.dir.write("A/1991 Second/02.mp3", track(9, "Six")); },
         {"A/1991 Second"},
         InPlace,
         false},
        {"an album made",
         [](SmallCollection& c) { c.dir.write("A/1992 Third/01.mp3", track(7, "Seven")); },
         {"A", "A/1992 Third"},
         InPlace},
        {"an album renamed",
         [](SmallCollection& c) { fsys::rename(c.folder("A/1991 Second"), c.folder("A/1993 Second")); },
         {"A"},
         InPlace,
         false},
        {"an album's description",
         [](SmallCollection& c) { c.dir.write("A/files.bbs", "1991 Second now this\r\n"); },
         {"A"},
         InPlace},
        {"a picture for the artist",
         [](SmallCollection& c) { c.dir.write("A/dirinfo.bmp", "BM"); },
         {"A"},
         InPlace,
         false,
         NewTree},
        {"the last track of a folder alone in its own",
         [](SmallCollection& c) { fsys::remove(c.folder("B/Lone/01.mp3")); },
         {"B/Lone"},
         InPlace},
        {"a track at the root", [](SmallCollection& c) { c.dir.write("top.mp3", track(1, "Eight")); }, {""}, InPlace},
        {"an artist made at the root",
         [](SmallCollection& c) { c.dir.write("D/New/01.mp3", track(1, "Nine")); },
         {"", "D", "D/New"},
         InPlace},
        {"an artist's description at the root",
         [](SmallCollection& c) { c.dir.write("files.bbs", "B his own\r\n"); },
         {""},
         InPlace},
        {"a picture at the root",
         [](SmallCollection& c) { c.dir.write("dirinfo.bmp", "BM"); },
         {""},
         InPlace,
         false,
         NewTree,
         true},
        {"a playlist made",
         [](SmallCollection& c) { c.dir.write("C/list.m3u", "01.mp3\r\n"); },
         {"C"},
         NewTree,
         true,
         NewTree},
    };
    for (const Case& t : cases) {
        for (const char* rootName : {"Root", ""}) {
            if (t.withRootNode && !*rootName)
                continue;
            for (const bool seen : {false, true}) {
                SCOPED_TRACE(std::string(t.what) + (*rootName ? "" : ", no root node") +
                             (seen ? ", where seen" : ", whole"));
                SmallCollection c;
                c.rootName = rootName;
                CollectionTree shown = c.build();
                const CodePage& ansi = *CodePage::byNumber(1252);
                SearchIndex index(false);
                index.build(shown, ansi);
                const auto recordOf = [&](const std::string& path) { return recordAt(shown, c.folder(path)); };
                const CollectionItem* untouched = recordOf("A/1991 Second/01.mp3");
                ASSERT_TRUE(untouched);
                t.change(c);
                std::vector<std::string> changed;
                for (const std::string& f : t.changed)
                    changed.push_back(c.folder(f));
                std::optional<TreeUpdate> update =
                    TreeUpdate::plan(shown, c.dir.path(), seen ? changed : std::vector<std::string>());
                ASSERT_TRUE(update);
                const Expect expect = seen && t.expect == InPlace ? t.whenSeen : t.expect;
                const bool inPlace = update->read(c.settings(), nullptr);
                ASSERT_EQ(inPlace, expect != NewTree);
                if (!inPlace)
                    continue;
                ASSERT_EQ(update->sameAs(shown), expect == Unchanged);
                index.rebuild(shown, ansi, update->apply(shown));
                const CollectionTree anew = c.build();
                EXPECT_TRUE(shown.sameAs(anew));
                SearchIndex fresh(false);
                fresh.build(shown, ansi);
                expectSameSearches(index, fresh);
                EXPECT_EQ(recordOf("A/1991 Second/01.mp3") == untouched, t.keeps);
                if (!t.keeps) {
                    EXPECT_TRUE(untouched->Path.empty()) << "the texts of a record replaced are let go of";
                }
            }
        }
    }
    // Offline folders and playlists are not read against the tree.
    SmallCollection c;
    c.dir.write("C/list.m3u", "01.mp3\r\n");
    EXPECT_FALSE(TreeUpdate::plan(c.build(), c.dir.path()).has_value());
}

// Read where the change was seen, the folders beside it are not entered at all: a change
// no event told of stays unseen until a whole reading.
TEST(TreeUpdate, FoldersWhereNothingWasSeenAreNotRead)
{
    SmallCollection c;
    CollectionTree shown = c.build();
    c.dir.write("top.mp3", track(1, "Eight"));
    c.dir.write("C/01.mp3", track(2, "Unseen"));
    std::optional<TreeUpdate> update = TreeUpdate::plan(shown, c.dir.path(), {c.folder("")});
    ASSERT_TRUE(update);
    ASSERT_TRUE(update->read(c.settings(), nullptr));
    update->apply(shown);
    const auto titled = [&](std::string_view title) {
        for (const NodeId n : shown.Nodes)
            if (shown.caption(n) == title)
                return true;
        return false;
    };
    EXPECT_TRUE(titled("Eight"));
    EXPECT_TRUE(titled("Five"));
    EXPECT_FALSE(titled("Unseen"));
}
