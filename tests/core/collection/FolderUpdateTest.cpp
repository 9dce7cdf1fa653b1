#include "core/collection/FolderUpdate.h"

#include "core/collection/SearchIndex.h"
#include "core/platform/CodePage.h"

#include "SmallCollection.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace cantorel;
using namespace cantorel::test;

// A change in a few folders, read alone and put in place, gives the tree a whole reading
// gives: records, sums, descriptions, inherited pictures, folders that come and go; the
// search index made again from the old one finds what a new one finds. A change the
// folders cannot hold alone asks for the whole collection.
TEST(FolderUpdate, PutsInPlaceWhatAWholeReadingFinds)
{
    namespace fsys = std::filesystem;
    enum Expect { InPlace, Unchanged, Whole, NoPlan };
    struct Case {
        const char* what;
        std::function<void(SmallCollection&)> change;
        std::vector<std::string> changed; // folders, relative to the root
        Expect expect;
    };
    const std::vector<Case> cases = {
        {"a tag rewritten",
         [](SmallCollection& c) { c.dir.write("A/1990 First/02.mp3", track(4, "Deux")); },
         {"A/1990 First"},
         InPlace},
        {"a track added",
         [](SmallCollection& c) { c.dir.write("A/1991 Second/02.mp3", track(9, "Six")); },
         {"A/1991 Second"},
         InPlace},
        {"a track removed",
         [](SmallCollection& c) { fsys::remove(c.folder("A/1990 First/02.mp3")); },
         {"A/1990 First"},
         InPlace},
        {"a description changed",
         [](SmallCollection& c) { c.dir.write("A/1990 First/files.bbs", "02.mp3 second\r\n"); },
         {"A/1990 First"},
         InPlace},
        {"an album made",
         [](SmallCollection& c) { c.dir.write("A/1992 Third/01.mp3", track(7, "Seven")); },
         {"A", "A/1992 Third"},
         InPlace},
        {"an album's description",
         [](SmallCollection& c) { c.dir.write("A/files.bbs", "1991 Second now this\r\n"); },
         {"A"},
         InPlace},
        {"a picture for the artist", [](SmallCollection& c) { c.dir.write("A/dirinfo.bmp", "BM"); }, {"A"}, InPlace},
        {"the last track of a folder alone in its own",
         [](SmallCollection& c) { fsys::remove(c.folder("B/Lone/01.mp3")); },
         {"B/Lone"},
         InPlace},
        {"two folders at once",
         [](SmallCollection& c) {
             c.dir.write("A/1990 First/03.mp3", track(1, "Eight"));
             fsys::remove(c.folder("C/01.mp3"));
         },
         {"A/1990 First", "C"},
         InPlace},
        {"a file that is not a track",
         [](SmallCollection& c) { c.dir.write("A/1990 First/notes.doc", "x"); },
         {"A/1990 First"},
         Unchanged},
        {"a playlist made",
         [](SmallCollection& c) { c.dir.write("A/1990 First/list.m3u", "01.mp3\r\n"); },
         {"A/1990 First"},
         Whole},
        {"a linked folder",
         [](SmallCollection& c) { fsys::create_directory_symlink(c.folder("C"), c.folder("B/Link")); },
         {"B"},
         Whole},
        {"a track at the root", [](SmallCollection& c) { c.dir.write("top.mp3", track(1, "Top")); }, {""}, NoPlan},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        SmallCollection c;
        CollectionTree shown = c.build();
        const CodePage& ansi = *CodePage::byNumber(1252);
        SearchIndex index(false);
        index.build(shown, ansi);
        t.change(c);
        std::vector<std::string> changed;
        for (const std::string& f : t.changed)
            changed.push_back(c.folder(f));
        std::optional<FolderUpdate> update = FolderUpdate::plan(shown, c.dir.path(), changed);
        ASSERT_EQ(update.has_value(), t.expect != NoPlan);
        if (!update)
            continue;
        const bool alone = update->read(c.settings());
        ASSERT_EQ(alone, t.expect != Whole);
        if (!alone)
            continue;
        ASSERT_EQ(update->sameAs(shown), t.expect == Unchanged);
        const CollectionItem* firstRecord = shown.record(shown.firstTopLevel());
        index.rebuild(shown, ansi, update->apply(shown));
        const CollectionTree whole = c.build();
        EXPECT_TRUE(shown.sameAs(whole));
        SearchIndex fresh(false);
        fresh.build(shown, ansi);
        for (const char* query :
             {"one", "two", "deux", "six", "seven", "eight", "five", "first", "album", "01", "lone"})
            EXPECT_EQ(index.search(index.words(query)).matches, fresh.search(fresh.words(query)).matches) << query;
        EXPECT_EQ(shown.size(), whole.size());
        EXPECT_EQ(shown.record(shown.firstTopLevel()), firstRecord); // the root's record stays in place
    }
}

// A tree with a playlist that names a track of the changed folder is read whole.
TEST(FolderUpdate, APlaylistNamingATrackOfTheFolderAsksForTheWhole)
{
    SmallCollection c;
    c.dir.write("C/list.m3u", "..\\A\\1990 First\\01.mp3\r\n");
    const CollectionTree shown = c.build();
    ASSERT_NE(shown.PlaylistsNode, NoNode);
    EXPECT_FALSE(FolderUpdate::plan(shown, c.dir.path(), {c.folder("A/1990 First")}));
    EXPECT_TRUE(FolderUpdate::plan(shown, c.dir.path(), {c.folder("A/1991 Second")}));
}
