#include "core/collection/TreeSnapshot.h"

#include "core/collection/CollectionBuilder.h"
#include "core/collection/OfflineFolders.h"
#include "core/collection/ProbeCache.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"
#include "core/platform/Collation.h"
#include "core/platform/FileSystem.h"

#include "support/Mp3Fixture.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

std::string track(const std::string& title)
{
    return fakeTrack("\xFF\xFB\x90\x44", 4000, id3v1(title, "Artist", "Album"));
}

// Two albums with descriptions, a playlist and a side picture.
std::string makeCollection(const TempDir& dir)
{
    dir.write("music/Album A/01.mp3", track("One"));
    dir.write("music/Album A/02.mp3", track("Two"));
    dir.write("music/Album A/files.bbs", "01.mp3 First\r\n");
    dir.write("music/Album B/03.mp3", track("Three"));
    dir.write("music/Album B/dirinfo.bmp", "BM");
    dir.write("music/mix.m3u", "Album A/02.mp3\r\nAlbum B/03.mp3\r\n");
    return dir / "music/";
}

struct Build {
    const Collation collation{"C", CodePage::byNumber(1252)};
    CollectionTree run(const std::string& root, std::unordered_map<std::string, std::uint64_t> devices = {},
                       bool keepOffline = true) const
    {
        BuildSettings settings = BuildSettings::forRoot(root, collation, trackProber(*CodePage::byNumber(1252)),
                                                        *CodePage::byNumber(437), *CodePage::byNumber(1252));
        settings.knownDevices = std::move(devices);
        settings.keepOffline = keepOffline;
        CollectionTree tree;
        CollectionBuilder(tree, settings).BuildTree();
        return tree;
    }
};

NodeId nodeNamed(const CollectionTree& tree, std::string_view caption)
{
    for (const NodeId n : tree.Nodes)
        if (tree.caption(n) == caption)
            return n;
    return NoNode;
}

} // namespace

// A tree comes back from its snapshot as it was (shared records, playlists, offline marks,
// devices); a snapshot of other settings, cut short, damaged or in a pipe is not taken.
TEST(TreeSnapshot, RoundTripAndEveryDamagedFileRefused)
{
    TempDir dir;
    const std::string root = makeCollection(dir);
    CollectionTree tree = Build().run(root);
    ASSERT_GT(tree.NodeCount(), 8);
    tree.markOffline(nodeNamed(tree, "Album B"), "not mounted");
    const std::string bytes = TreeSnapshot::encode(tree, "key");
    const std::optional<CollectionTree> back = TreeSnapshot::decode(bytes, "key");
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->sameAs(tree));
    EXPECT_EQ(back->FolderDevices, tree.FolderDevices);
    EXPECT_FALSE(tree.FolderDevices.empty()); // the root's device at least
    EXPECT_EQ(back->offlineReason(nodeNamed(*back, "Three")), "not mounted");
    EXPECT_EQ(TreeSnapshot::encode(*back, "key"), bytes);
    // A track's path follows its folder's, in the tree built and in the tree loaded.
    for (const CollectionTree* t : std::initializer_list<const CollectionTree*>{&tree, &*back}) {
        const CollectionItem* three = t->record(nodeNamed(*t, "Three"));
        EXPECT_TRUE(three->Path.linked());
        EXPECT_EQ(three->Path.str(), root + "Album B/03.mp3");
    }
    // The playlist's entries share the tracks' records again.
    const NodeId entry = back->firstChild(back->firstChild(back->PlaylistsNode));
    ASSERT_NE(entry, NoNode);
    EXPECT_EQ(back->record(entry), back->record(nodeNamed(*back, "Two")));

    std::string flipped = bytes;
    flipped[bytes.size() / 2] ^= 0x5A;
    const struct {
        const char* what;
        std::string bytes;
        std::string key;
    } refused[] = {
        {"another key", bytes, "other"},
        {"empty", "", "key"},
        {"cut short", bytes.substr(0, bytes.size() - 3), "key"},
        {"cut in half", bytes.substr(0, bytes.size() / 2), "key"},
        {"one byte changed", flipped, "key"},
        {"trailing bytes", bytes + "x", "key"},
        {"garbage", std::string(5000, '\xFF'), "key"},
    };
    for (const auto& r : refused) {
        const std::optional<CollectionTree> got = TreeSnapshot::decode(r.bytes, r.key);
        // A changed byte inside a text may still read as a tree; it must then be whole.
        if (got && std::string(r.what) == "one byte changed")
            EXPECT_EQ(got->NodeCount(), tree.NodeCount()) << r.what;
        else
            EXPECT_FALSE(got) << r.what;
    }
    // Saved and loaded through a file; a pipe in its place is not opened.
    const std::string file = dir / "cache/tree.bin";
    ASSERT_TRUE(TreeSnapshot::save(tree, file, "key"));
    EXPECT_EQ(fs::readFile(file), TreeSnapshot::encode(tree, "key")); // written in blocks, the same bytes
    ASSERT_TRUE(TreeSnapshot::load(file, "key"));
    EXPECT_TRUE(TreeSnapshot::load(file, "key")->sameAs(tree));
    const std::string fifo = dir / "cache/fifo.bin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(TreeSnapshot::load(fifo, "key"));
    EXPECT_FALSE(TreeSnapshot::save(tree, fifo, "key"));
    // Without playlists no record is shared, and none is looked up by its address.
    std::filesystem::remove(root + "mix.m3u");
    const CollectionTree plain = Build().run(root);
    ASSERT_EQ(plain.PlaylistsNode, NoNode);
    ASSERT_TRUE(TreeSnapshot::save(plain, file, "key"));
    ASSERT_TRUE(TreeSnapshot::load(file, "key"));
    EXPECT_TRUE(TreeSnapshot::load(file, "key")->sameAs(plain));
}

// A folder that cannot be read keeps what the earlier tree held there, marked offline:
// a mount that went away (an empty folder on another device than recorded), an
// unreadable root; a folder emptied on its own device is emptied, and an offline folder
// nothing is known of is dropped.
TEST(TreeSnapshot, OfflineFoldersKeepWhatWasKnown)
{
    TempDir dir;
    const std::string root = makeCollection(dir);
    dir.write("music/Album B/04.mp3", fakeTrack("\xFF\xFB\x90\x44", 40000, id3v1("Four", "Artist", "Album")));
    dir.write("music/Album B/b.m3u", "04.mp3\r\n"); // a playlist of 2 s
    // A playlist elsewhere with a track of the folder that goes offline between two others.
    dir.write("music/mix.m3u", "Album A/01.mp3\r\nAlbum B/03.mp3\r\nAlbum A/02.mp3\r\n");
    const Build build;
    const CollectionTree known = build.run(root);
    const NodeId knownB = nodeNamed(known, "Album B");
    const std::string folderB = known.record(knownB)->Path.str();
    std::filesystem::rename(folderB, dir / "elsewhere");
    std::filesystem::create_directory(folderB); // the mount point, left empty

    // Recorded on another device: a mount that went away.
    std::unordered_map<std::string, std::uint64_t> devices = known.FolderDevices;
    devices[folderB] = 999999;
    CollectionTree fresh = build.run(root, devices);
    const NodeId offline = nodeNamed(fresh, "Album B");
    ASSERT_NE(offline, NoNode);
    EXPECT_EQ(fresh.offlineReason(offline), "not mounted");
    EXPECT_EQ(offlineFolders(fresh, root), std::vector<std::string>{folderB});
    EXPECT_FALSE(anyFolderBack({folderB, dir / "no such folder"}));
    const auto entriesOf = [](const CollectionTree& t, const char* list) {
        std::vector<std::string> captions;
        for (NodeId n = t.firstChild(nodeNamed(t, list)); n != NoNode; n = t.nextSibling(n))
            captions.push_back(t.caption(n).str());
        return captions;
    };
    EXPECT_EQ(entriesOf(fresh, "mix.m3u").size(), 2u);
    keepOfflineFolders(fresh, known);
    EXPECT_NE(nodeNamed(fresh, "Three"), NoNode);
    // Its playlist stands where it stood, offline too, with its entry and playing time;
    // a playlists node is made for it when no other playlist is left.
    const auto playlistsOf = [](const CollectionTree& t) {
        std::vector<std::string> captions;
        for (NodeId n = t.firstChild(t.PlaylistsNode); n != NoNode; n = t.nextSibling(n))
            captions.push_back(t.caption(n).str() + (t.offlineReason(n).empty() ? "" : " (offline)"));
        return captions;
    };
    const std::vector<std::string> knownLists = playlistsOf(known);
    ASSERT_EQ(knownLists.size(), 2u);
    std::vector<std::string> expected = knownLists;
    for (std::string& caption : expected)
        caption += caption == "b.m3u" ? " (offline)" : "";
    EXPECT_EQ(playlistsOf(fresh), expected);
    const std::int64_t listB = known.record(nodeNamed(known, "b.m3u"))->Duration;
    EXPECT_GT(listB, 0);
    EXPECT_EQ(fresh.childCount(nodeNamed(fresh, "b.m3u")), 1);
    // The other playlist lists the offline folder's track again, where it stood.
    EXPECT_EQ(entriesOf(fresh, "mix.m3u"), entriesOf(known, "mix.m3u"));
    EXPECT_EQ(fresh.record(nodeNamed(fresh, "mix.m3u"))->Duration, known.record(nodeNamed(known, "mix.m3u"))->Duration);
    EXPECT_EQ(fresh.record(fresh.PlaylistsNode)->Duration, known.record(known.PlaylistsNode)->Duration);
    EXPECT_EQ(offlineFolders(fresh, root), std::vector<std::string>{folderB}); // not the playlist
    std::filesystem::rename(root + "mix.m3u", dir / "mix.m3u");
    CollectionTree noList = build.run(root, devices);
    ASSERT_EQ(noList.PlaylistsNode, NoNode);
    keepOfflineFolders(noList, known);
    EXPECT_EQ(playlistsOf(noList), std::vector<std::string>{"b.m3u (offline)"});
    EXPECT_EQ(noList.record(noList.PlaylistsNode)->Duration, listB);
    std::filesystem::rename(dir / "mix.m3u", root + "mix.m3u");
    EXPECT_EQ(fresh.offlineReason(nodeNamed(fresh, "Three")), "not mounted");
    EXPECT_EQ(fresh.record(fresh.RootNode)->FileSize, known.record(known.RootNode)->FileSize);
    EXPECT_EQ(fresh.record(fresh.RootNode)->Duration, known.record(known.RootNode)->Duration);
    EXPECT_EQ(fresh.childCount(offline), known.childCount(knownB));

    dir.write("music/Album B/back.mp3", track("Back")); // mounted again
    EXPECT_TRUE(anyFolderBack({dir / "no such folder", folderB}));
    std::filesystem::remove(folderB + "/back.mp3");

    // The same device: the folder was emptied, and goes as it always did.
    CollectionTree emptied = build.run(root, known.FolderDevices);
    keepOfflineFolders(emptied, known);
    EXPECT_EQ(nodeNamed(emptied, "Album B"), NoNode);
    EXPECT_TRUE(emptied.offlineNodes().empty());

    // Nothing known of it: dropped.
    CollectionTree unknown = build.run(root, devices);
    keepOfflineFolders(unknown, CollectionTree());
    EXPECT_EQ(nodeNamed(unknown, "Album B"), NoNode);

    // The whole collection gone (a share not mounted): the known tree, offline.
    std::filesystem::rename(root, dir / "gone");
    CollectionTree none = build.run(root, devices);
    keepOfflineFolders(none, known);
    EXPECT_EQ(none.NodeCount(), known.NodeCount());
    EXPECT_FALSE(none.offlineReason(nodeNamed(none, "One")).empty());
    EXPECT_NE(none.PlaylistsNode, NoNode);
    // Without keeping offline folders the build is the plain one: an empty tree.
    EXPECT_EQ(build.run(root, devices, false).NodeCount(), 1);
}

// The probe cache forgets the tracks a run did not meet, but not those of an offline folder.
TEST(TreeSnapshot, ProbeCacheKeepsTheTracksOfOfflineFolders)
{
    TempDir dir;
    const std::string file = dir / "probes.sqlite";
    const FileStamp stamp{1, 2, 3, 1'600'000'000'000'000'000, 1'600'000'000'000'000'000};
    TrackProbe probe;
    probe.headerRead = true;
    {
        ProbeCache cache(file);
        for (const char* path : {"/m/share/a.mp3", "/m/share/deep/b.mp3", "/m/sharer/c.mp3", "/m/local/d.mp3"})
            cache.store(path, stamp, probe);
        cache.save();
    }
    {
        ProbeCache cache(file);
        cache.keepUnder("/m/share");
        cache.save();
    }
    ProbeCache cache(file);
    EXPECT_TRUE(cache.find("/m/share/a.mp3", stamp));
    EXPECT_TRUE(cache.find("/m/share/deep/b.mp3", stamp));
    EXPECT_FALSE(cache.find("/m/sharer/c.mp3", stamp));
    EXPECT_FALSE(cache.find("/m/local/d.mp3", stamp));
}
