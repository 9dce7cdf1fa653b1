#pragma once

// A small collection on disk for the tests of readings that put changes in place: two
// albums under one artist (with description files), an album alone under another
// artist, and a folder of one track.

#include "core/collection/CollectionBuilder.h"
#include "core/collection/SearchIndex.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"
#include "core/platform/Collation.h"

#include "support/Mp3Fixture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace cantorel::test {

inline std::string track(int seconds, const std::string& title)
{
    return fakeTrack("\xFF\xFB\x90\x44", static_cast<std::size_t>(seconds) * 16000, id3v1(title));
}

struct SmallCollection {
    TempDir dir;
    const Collation collation{"C", CodePage::byNumber(1252)};
    std::string rootName = "Root"; // "": the top-level nodes are the root folder's entries

    SmallCollection()
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
        s.rootName = rootName;
        return s;
    }
    // A path in the collection; "": the root, without its "/".
    std::string folder(const std::string& name) const
    {
        return name.empty() ? dir.path().substr(0, dir.path().size() - 1) : dir / name;
    }
};

// The record of the node at `path` in `tree`, if any.
inline const CollectionItem* recordAt(const CollectionTree& tree, const std::string& path)
{
    for (const NodeId n : tree.Nodes)
        if (tree.record(n) && tree.record(n)->Path == path)
            return tree.record(n);
    return nullptr;
}

// An index made again after a change finds what an index built anew finds.
inline void expectSameSearches(const SearchIndex& again, const SearchIndex& anew)
{
    for (const char* query : {"one", "two", "deux", "six", "seven", "eight", "five", "first", "album", "01", "lone"})
        EXPECT_EQ(again.search(again.words(query)).matches, anew.search(anew.words(query)).matches) << query;
}

} // namespace cantorel::test
