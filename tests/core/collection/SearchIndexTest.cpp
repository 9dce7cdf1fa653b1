#include "core/collection/SearchIndex.h"

#include "core/collection/SearchRunner.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <string>

using namespace cantorel;

namespace {

// Root / Кино / Группа крови.mp3 (artist Кино), Root / Café / Ärger.mp3 (artist Die
// Ärzte, album Jazz), Root / Other / b.mp3, and a playlist holding the first track.
struct Collection {
    Collection()
    {
        root = tree.addNode(NoNode, "Root", record("/m/"), KindRootOrParent);
        kino = tree.addNode(root, "Кино", record("/m/Кино"), KindDirectory);
        CollectionItem* song = record("/m/Кино/Группа крови.mp3");
        song->Name = "Группа крови";
        song->Artist = "Кино";
        blood = tree.addNode(kino, "Группа крови", song, KindTrack);
        cafe = tree.addNode(root, "Café", record("/m/Café"), KindDirectory);
        CollectionItem* arger = record("/m/Café/Ärger.mp3");
        arger->Name = "Ärger";
        arger->Artist = "Die Ärzte";
        arger->Album = "Jazz";
        arger->Description = "Live in Berlin";
        angry = tree.addNode(cafe, "Ärger", arger, KindTrack);
        other = tree.addNode(root, "Other", record("/m/Other"), KindDirectory);
        CollectionItem* b = record("/m/Other/b.mp3");
        b->Name = "Song";
        b->Artist = "Die Ärzte";
        plain = tree.addNode(other, "Song", b, KindTrack);
        playlists = tree.addNode(NoNode, "Playlists", record("/m/"), KindPlaylists);
        list = tree.addNode(playlists, "Mix", record("/m/mix.m3u"), KindPlaylist);
        entry = tree.addNode(list, "Группа крови", song, KindTrack);
        tree.fillNodeTable();
    }
    CollectionItem* record(const std::string& path)
    {
        CollectionItem* r = tree.newRecord();
        r->Path = path;
        return r;
    }
    std::vector<NodeId> find(const SearchIndex& index, const std::string& query) const
    {
        return index.search(index.words(query)).matches;
    }

    CollectionTree tree;
    NodeId root, kino, blood, cafe, angry, other, plain, playlists, list, entry;
    const CodePage& ansi = *CodePage::byNumber(1252);
};

} // namespace

TEST(SearchIndex, EveryWordInSomeFieldWithTheFoldersAbove)
{
    Collection c;
    SearchIndex index(true);
    index.build(c.tree, c.ansi);
    const struct {
        const char* query;
        std::vector<NodeId> matches;
    } cases[] = {
        {"arger", {c.angry}},                 // title, accent-insensitive
        {"ARZTE", {c.angry, c.plain}},        // a shared artist
        {"ärzte jazz", {c.angry}},            // artist and album: both words
        {"berlin ärger", {c.angry}},          // description and title
        {"jazz song", {}},                    // each word must match
        {"kino", {c.kino, c.blood, c.entry}}, // Latin spelling; the playlist's entry too
        {"группа", {c.blood, c.entry}},       // as typed
        {"krovi.mp3", {}},                    // the extension is no part of the name
        {"mix", {c.list}},
        {"caf", {c.cafe}},
    };
    for (const auto& k : cases)
        EXPECT_EQ(c.find(index, k.query), k.matches) << k.query;
    // The tree shows each match with every node above it, in tree order.
    const SearchHits hits = index.search(index.words("krovi"));
    EXPECT_EQ(hits.shown, (std::vector<NodeId>{c.root, c.kino, c.blood, c.playlists, c.list, c.entry}));
    EXPECT_EQ(index.search(index.words("arzte")).shown,
              (std::vector<NodeId>{c.root, c.cafe, c.angry, c.other, c.plain}));
    // The first matches only, when asked, and how many there are.
    const SearchHits first = index.search(index.words("arzte"), nullptr, 0, 1);
    EXPECT_EQ(first.matches, std::vector<NodeId>{c.angry});
    EXPECT_EQ(first.total, 2u);
    EXPECT_EQ(first.shown, (std::vector<NodeId>{c.root, c.cafe, c.angry}));
    // Without Latin spellings, Latin finds no Cyrillic.
    SearchIndex strict(false);
    strict.build(c.tree, c.ansi);
    EXPECT_TRUE(c.find(strict, "kino").empty());
    EXPECT_TRUE(index.words("  \t ").empty());
}

TEST(SearchIndex, AnEditIsFoundAtOnceAndTheIndexStaysSmall)
{
    Collection c;
    SearchIndex index(true);
    index.build(c.tree, c.ansi);
    CollectionItem* song = c.tree.record(c.plain);
    song->Name = "Morning Light";
    c.tree.RenameSharedNodes(song, "Morning Light");
    EXPECT_TRUE(c.find(index, "morning").empty());
    index.update(c.tree, song, c.ansi);
    EXPECT_EQ(c.find(index, "morning"), std::vector<NodeId>{c.plain});
    EXPECT_TRUE(c.find(index, "song").empty());
    EXPECT_EQ(index.nodes(), c.tree.Nodes.size());
    EXPECT_LT(index.bytes(), 1500u);
}

TEST(SearchRunner, AKeystrokeCancelsTheSearchBeforeIt)
{
    // A large index, so that a search takes a while.
    CollectionTree tree;
    const NodeId root = tree.addNode(NoNode, "Root", tree.newRecord(), KindRootOrParent);
    for (int i = 0; i < 200000; ++i) {
        CollectionItem* r = tree.newRecord();
        r->Name = "Track " + std::to_string(i);
        tree.addNode(root, r->Name, r, KindTrack);
    }
    tree.fillNodeTable();
    SearchIndex index(false);
    index.build(tree, *CodePage::byNumber(1252));
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::pair<std::uint64_t, std::size_t>> delivered;
    std::uint64_t cancelled = 0;
    {
        SearchRunner runner(index, [&](std::uint64_t query, SearchHits hits) {
            std::lock_guard lock(mutex);
            delivered.emplace_back(query, hits.matches.size());
            arrived.notify_one();
        });
        runner.find("t");
        runner.find("tr");
        const std::uint64_t last = runner.find("track 19999");
        std::unique_lock lock(mutex);
        ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(20),
                                     [&] { return !delivered.empty() && delivered.back().first == last; }));
        EXPECT_EQ(delivered.back().second, 12u); // 19999, 119999 and 199990 ... 199999
        // Hits of an earlier query never come after the last one's.
        for (const auto& d : delivered)
            EXPECT_LE(d.first, last);
        // A search cancelled on its way hands nothing on.
        lock.unlock();
        cancelled = runner.find("track");
        runner.cancel();
    } // the runner's thread ends here
    for (const auto& d : delivered)
        EXPECT_NE(d.first, cancelled);
    EXPECT_EQ(index.search(index.words("track")).matches.size(), 200000u);
    const std::atomic<std::uint64_t> moved{2};
    EXPECT_TRUE(index.search(index.words("track"), &moved, 1).cancelled);
}
