#include "core/collection/FolderUpdate.h"

#include "core/collection/SearchIndex.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"
#include "core/platform/Collation.h"

#include "support/Mp3Fixture.h"
#include "support/TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

std::string track(int seconds, const std::string& title)
{
    return fakeTrack("\xFF\xFB\x90\x44", static_cast<std::size_t>(seconds) * 16000, id3v1(title));
}

struct Collection {
    TempDir dir;
    const Collation collation{"C", CodePage::byNumber(1252)};

    Collection()
    {
        dir.write("A/1990 First/01.mp3", track(3, "One"));
        dir.write("A/1990 First/02.mp3", track(4, "Two"));
        dir.write("A/1990 First/files.bbs", "01.mp3 first line\r\n");
        dir.write("A/1991 Second/01.mp3", track(5, "Three"));
        dir.write("A/files.bbs", "1990 First the first album\r\n");
        dir.write("B/Lone/01.mp3", track(6, "Four"));
        dir.write("C/01.mp3", track(2, "Five"));
    }
    CollectionTree build() const
    {
        CollectionTree tree;
        CollectionBuilder(tree, settings()).BuildTree();
        return tree;
    }
    BuildSettings settings() const
    {
        BuildSettings s = BuildSettings::forRoot(dir.path(), collation, trackProber(*CodePage::byNumber(1252)),
                                                 *CodePage::byNumber(437), *CodePage::byNumber(1252));
        s.keepOffline = true;
        return s;
    }
    std::string folder(const std::string& name) const { return dir / name; }
};

} // namespace

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
        std::function<void(Collection&)> change;
        std::vector<std::string> changed; // folders, relative to the root
        Expect expect;
    };
    const std::vector<Case> cases = {
        {"a tag rewritten",
         [](Collection& c) { c.dir.write("A/1990 First/02.mp3", track(4, "Deux")); },
         {"A/1990 First"},
         InPlace},
        {"a track added",
         [](Collection& c) { c.dir.write("A/1991 Second/02.mp3", track(9, "Six")); },
         {"A/1991 Second"},
         InPlace},
        {"a track removed",
         [](Collection& c) { fsys::remove(c.folder("A/1990 First/02.mp3")); },
         {"A/1990 First"},
         InPlace},
        {"a description changed",
         [](Collection& c) { c.dir.write("A/1990 First/files.bbs", "02.mp3 second\r\n"); },
         {"A/1990 First"},
         InPlace},
        {"an album made",
         [](Collection& c) { c.dir.write("A/1992 Third/01.mp3", track(7, "Seven")); },
         {"A", "A/1992 Third"},
         InPlace},
        {"an album's description",
         [](Collection& c) { c.dir.write("A/files.bbs", "1991 Second now this\r\n"); },
         {"A"},
         InPlace},
        {"a picture for the artist", [](Collection& c) { c.dir.write("A/dirinfo.bmp", "BM"); }, {"A"}, InPlace},
        {"the last track of a folder alone in its own",
         [](Collection& c) { fsys::remove(c.folder("B/Lone/01.mp3")); },
         {"B/Lone"},
         InPlace},
        {"two folders at once",
         [](Collection& c) {
             c.dir.write("A/1990 First/03.mp3", track(1, "Eight"));
             fsys::remove(c.folder("C/01.mp3"));
         },
         {"A/1990 First", "C"},
         InPlace},
        {"a file that is not a track",
         [](Collection& c) { c.dir.write("A/1990 First/notes.doc", "x"); },
         {"A/1990 First"},
         Unchanged},
        {"a playlist made",
         [](Collection& c) { c.dir.write("A/1990 First/list.m3u", "01.mp3\r\n"); },
         {"A/1990 First"},
         Whole},
        {"a linked folder",
         [](Collection& c) { fsys::create_directory_symlink(c.folder("C"), c.folder("B/Link")); },
         {"B"},
         Whole},
        {"a track at the root", [](Collection& c) { c.dir.write("top.mp3", track(1, "Top")); }, {""}, NoPlan},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        Collection c;
        CollectionTree shown = c.build();
        const CodePage& ansi = *CodePage::byNumber(1252);
        SearchIndex index(false);
        index.build(shown, ansi);
        t.change(c);
        std::vector<std::string> changed;
        for (const std::string& f : t.changed)
            changed.push_back(f.empty() ? c.dir.path().substr(0, c.dir.path().size() - 1) : c.folder(f));
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
    Collection c;
    c.dir.write("C/list.m3u", "..\\A\\1990 First\\01.mp3\r\n");
    const CollectionTree shown = c.build();
    ASSERT_NE(shown.PlaylistsNode, NoNode);
    EXPECT_FALSE(FolderUpdate::plan(shown, c.dir.path(), {c.folder("A/1990 First")}));
    EXPECT_TRUE(FolderUpdate::plan(shown, c.dir.path(), {c.folder("A/1991 Second")}));
}
