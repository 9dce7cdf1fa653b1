#include "core/collection/CollectionBuilder.h"

#include "core/collection/BuildProgress.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"
#include "core/platform/Collation.h"
#include "core/platform/FileSystem.h"

#include "support/Mp3Fixture.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <thread>

using namespace cantorel;
using namespace cantorel::test;

namespace {

// A track of `seconds` at 128 kbit/s (16,000 bytes a second), with an optional tag title.
std::string track(int seconds, const std::string& title = {})
{
    return fakeTrack("\xFF\xFB\x90\x44", static_cast<std::size_t>(seconds) * 16000, title.empty() ? "" : id3v1(title));
}

struct Collection {
    TempDir dir;
    std::string rootName = "Root";
    unsigned readAhead = 0;
    std::chrono::microseconds probeDelay{0}; // a slow disk
    const Collation collation{"C", CodePage::byNumber(1252)};
    CollectionTree tree;

    Collection(const std::map<std::string, std::string>& files)
    {
        for (const auto& [path, bytes] : files) {
            if (path.ends_with("/"))
                dir.makeDir(path);
            else
                dir.write(path, bytes);
        }
    }
    BuildSettings settings() const
    {
        const CodePage& oem = *CodePage::byNumber(437);
        const CodePage& ansi = *CodePage::byNumber(1252);
        TrackProber probe = trackProber(ansi);
        if (probeDelay.count() > 0) {
            probe = [probe, delay = probeDelay](const std::string& path) {
                std::this_thread::sleep_for(delay);
                return probe(path);
            };
        }
        BuildSettings s = BuildSettings::forRoot(dir.path(), collation, std::move(probe), oem, ansi);
        s.rootName = rootName;
        s.statusPreparing = "S37";
        s.statusReading = "S38";
        s.statusPlaylists = "S39";
        s.readAheadThreads = readAhead;
        return s;
    }
    // The tree as indented lines "[kind] caption".
    std::string build(BuildProgress* progress = nullptr)
    {
        const BuildSettings s = settings();
        CollectionBuilder(tree, s, progress).BuildTree();
        std::string out;
        for (NodeId n : tree.Nodes) {
            int depth = 0;
            for (NodeId up = tree.parent(n); up != NoNode; up = tree.parent(up))
                ++depth;
            out += std::string(static_cast<std::size_t>(depth) * 2, ' ') + "[" + std::to_string(tree.kind(n)) + "] " +
                   tree.caption(n) + "\n";
        }
        return out;
    }
    // The record of the node with this caption (the first in tree order).
    const CollectionItem& record(const std::string& caption) const
    {
        for (NodeId n : tree.Nodes) {
            if (tree.caption(n) == caption)
                return *tree.record(n);
        }
        throw std::runtime_error("no node " + caption);
    }
    std::string relative(const std::string& path) const
    {
        return path.starts_with(dir.path()) ? path.substr(dir.path().size()) : path;
    }
};

} // namespace

TEST(CollectionBuilder, TreeOrderKindsAndCaptions)
{
    const struct {
        std::string name;
        std::map<std::string, std::string> files;
        std::string rootName;
        std::string expected;
    } cases[] = {
        {"order, kinds, descriptions and titles",
         {{"B Dir/b.mp3", track(1, "Tagged")},
          {"a dir/Z.MP3", track(1)},
          {"a dir/sub/x.mp3", track(1)},
          {"empty/readme.txt", "x"},
          {"onlylists/l.m3u", ""},
          {"Root.mp3", track(1)},
          {"files.bbs", "\"a dir\" Described A\r\nB Dir\r\n"}},
         "Root",
         "[1] Root\n  [1] Described A\n    [2] sub\n      [3] x.mp3\n    [3] Z.MP3\n  [2] B Dir\n    [3] Tagged\n"
         "  [3] Root.mp3\n[5] Playlists\n  [4] l.m3u\n"},
        {"a dropped subdirectory leaves kind 1",
         {{"p/q/readme.txt", "x"}, {"p/t.mp3", track(1)}, {"p/r/", ""}},
         "Root",
         "[1] Root\n  [1] p\n    [3] t.mp3\n"},
        {"no root title",
         {{"d/t.mp3", track(1)}, {"u.mp3", track(1)}, {"x.M3u", ""}},
         "",
         "[2] d\n  [3] t.mp3\n[3] u.mp3\n[5] Playlists\n  [4] x.M3u\n"},
        {"empty collection", {{"notes.txt", "x"}}, "", ""},
        {"root only", {}, "Root", "[1] Root\n"},
        {"names differing only in case",
         {{"Song.mp3", track(1)}, {"song.mp3", track(1)}, {"a.mp3", track(1)}},
         "",
         "[3] a.mp3\n[3] Song.mp3\n[3] song.mp3\n"},
        {"names that are not UTF-8", {{"caf\xE9.mp3", track(1)}, {"files.bbs", ""}}, "", "[3] café.mp3\n"},
        {"only regular files and directories", {{"t.mp3", track(1)}, {"fifo.mp3", "fifo"}}, "", "[3] t.mp3\n"},
    };
    for (const auto& c : cases) {
        Collection col(c.files);
        if (c.files.contains("fifo.mp3")) {
            std::filesystem::remove(col.dir / "fifo.mp3");
            ::mkfifo((col.dir / "fifo.mp3").c_str(), 0644);
        }
        col.rootName = c.rootName;
        EXPECT_EQ(col.build(), c.expected) << c.name;
    }
}

TEST(CollectionBuilder, SideFilesAndInheritance)
{
    Collection col({{"dirinfo.rtf", "{\\rtf1 x}"},
                    {"DIRINFO.BMP", "bmp"},
                    {"d1/t.mp3", track(1)},
                    {"d1/u.mp3", track(1)},
                    {"d1/U.RTF", "r"},
                    {"d1/u.txt", "t"},
                    {"d1/v.mp3", track(1)},
                    {"d1/v.TXT", "t"},
                    {"d1/v.bmp", "b"},
                    {"d2/dirinfo", "plain"},
                    {"d2/w.mp3", track(1)},
                    {"d2/inner/x.mp3", track(1)},
                    {"l.m3u", ""},
                    {"l.bmp", "b"},
                    {"m.m3u", ""}});
    col.build();
    const auto paths = [&](const std::string& caption) {
        const CollectionItem& r = col.record(caption);
        return col.relative(r.TextPath) + " | " + col.relative(r.PicturePath);
    };
    EXPECT_EQ(paths("Root"), "dirinfo.rtf | DIRINFO.BMP");
    EXPECT_EQ(paths("d1"), "dirinfo.rtf | DIRINFO.BMP");
    EXPECT_EQ(paths("t.mp3"), "dirinfo.rtf | DIRINFO.BMP");
    EXPECT_EQ(paths("u.mp3"), "d1/U.RTF | DIRINFO.BMP");
    EXPECT_EQ(paths("v.mp3"), "d1/v.TXT | d1/v.bmp");
    EXPECT_EQ(paths("d2"), "d2/dirinfo | DIRINFO.BMP");
    EXPECT_EQ(paths("inner"), "d2/dirinfo | DIRINFO.BMP");
    EXPECT_EQ(paths("x.mp3"), "d2/dirinfo | DIRINFO.BMP");
    EXPECT_EQ(paths("l.m3u"), " | l.bmp");
    EXPECT_EQ(paths("m.m3u"), " | ");
    EXPECT_EQ(paths("Playlists"), " | ");

    Collection bare({{"dirinfo.rtf", "x"}, {"d/t.mp3", track(1)}});
    bare.rootName = "";
    bare.build();
    EXPECT_EQ(bare.record("d").TextPath, "");
    EXPECT_EQ(bare.record("t.mp3").TextPath, "");
}

TEST(CollectionBuilder, SumsOfSizesAndPlayingTimes)
{
    Collection col({{"a/t1.mp3", track(10)},
                    {"a/b/t2.mp3", track(20)},
                    {"t3.mp3", track(5)},
                    {"lists/p.m3u", "../a/t1.mp3\r\n../t3.mp3\r\n../a/t1.mp3\r\n"},
                    {"q.m3u", "t3.mp3\n"}});
    col.build();
    EXPECT_EQ(col.record("Root").Duration, 35);
    EXPECT_EQ(col.record("Root").FileSize, 35 * 16000);
    EXPECT_EQ(col.record("a").Duration, 30);
    EXPECT_EQ(col.record("b").FileSize, 20 * 16000);
    EXPECT_EQ(col.record("p.m3u").Duration, 25);
    EXPECT_EQ(col.record("p.m3u").FileSize, 0);
    EXPECT_EQ(col.record("q.m3u").Duration, 5);
    EXPECT_EQ(col.record("Playlists").Duration, 30);
    EXPECT_EQ(col.record("Playlists").Genre, 0);
    EXPECT_EQ(col.record("p.m3u").Genre, 255);
}

TEST(CollectionBuilder, PlaylistLines)
{
    const std::string body = "#EXTM3U\r\n#EXTINF:1,x\r\n" // comment lines name no track
                             "t.mp3\r\n"                  // relative to the playlist
                             "../Other/u.mp3\r\n"         // through the parent
                             "..\\Other\\u.mp3\r\n"       // backslashes
                             "T.MP3\r\n"                  // other A-Z case
                             "\xC4.mp3\r\n"               // "Ä.mp3" in ANSI: other case of a letter beyond A-Z
                             "missing.mp3\r\n"
                             "\r\n";
    Collection col({{"Lists/t.mp3", track(1)},
                    {"Other/u.mp3", track(2)},
                    {"Lists/\xC3\xA4.mp3", track(3)},
                    {"Lists/p.m3u", body}});
    col.dir.write("Lists/abs.m3u", col.dir.path() + "Other/u.mp3\n" + col.dir.path() + "Lists/T.mp3");
    col.dir.write("Lists/bom.m3u", "\xEF\xBB\xBF\xC3\xA4.mp3\n");
    col.dir.write("Lists/none.m3u", "nothing\nhere\n");
    col.dir.write("Lists/utf8.M3U8", "\xC3\xA4.mp3\n");          // UTF-8 by its name's ending
    col.dir.write("Lists/files.bbs", "\xC3\xA4.mp3 Умлаут\r\n"); // UTF-8: not OEM bytes
    col.build();
    const std::string tree = col.build();
    EXPECT_NE(tree.find("  [4] abs.m3u\n    [3] u.mp3\n    [3] t.mp3\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("  [4] bom.m3u\n    [3] Умлаут\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("  [4] utf8.M3U8\n    [3] Умлаут\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("  [4] none.m3u\n  [4] p.m3u\n    [3] t.mp3\n    [3] u.mp3\n    [3] u.mp3\n    [3] t.mp3\n"),
              std::string::npos)
        << tree;
}

TEST(CollectionBuilder, PlaylistEntriesShareTheTracksRecord)
{
    Collection col({{"a.mp3", track(1, "Title")}, {"p.m3u", "a.mp3\n"}});
    col.build();
    const NodeId trackNode = col.tree.Nodes[1];
    const NodeId entry = col.tree.Nodes.back();
    EXPECT_EQ(col.tree.kind(entry), KindTrack);
    EXPECT_EQ(col.tree.record(trackNode), col.tree.record(entry));
    EXPECT_EQ(col.tree.RenameSharedNodes(col.tree.record(entry), "New").size(), 2u);
}

TEST(CollectionBuilder, EachDirectoryIsEnteredOnce)
{
    Collection col({{"a/t.mp3", track(1)}, {"b/u.mp3", track(1)}});
    std::filesystem::create_directory_symlink("..", col.dir / "a/loop");
    std::filesystem::create_directory_symlink("../a", col.dir / "b/alias");
    // The loop's and the alias's nodes were added and then dropped, so "a" and "b" keep kind 1.
    EXPECT_EQ(col.build(), "[1] Root\n  [1] a\n    [3] t.mp3\n  [1] b\n    [3] u.mp3\n");
    // Thirty directories each linking twice to the next: without a loop, but 2^30 paths.
    Collection graph({{"d30/t.mp3", track(1)}});
    for (int i = 0; i < 30; ++i) {
        const std::string next = "../d" + std::to_string(i + 1);
        graph.dir.makeDir("d" + std::to_string(i));
        std::filesystem::create_directory_symlink(next, graph.dir / ("d" + std::to_string(i) + "/x"));
        std::filesystem::create_directory_symlink(next, graph.dir / ("d" + std::to_string(i) + "/y"));
    }
    graph.build();
    EXPECT_LT(graph.tree.NodeCount(), 100);
    // A pseudo file system is never entered.
    Collection proc({});
    std::filesystem::create_directory_symlink("/proc", proc.dir / "proc");
    std::filesystem::create_directory_symlink("/sys", proc.dir / "sys");
    EXPECT_EQ(proc.build(), "[1] Root\n");
    EXPECT_TRUE(fs::isPseudoFileSystem("/proc/self/"));
    EXPECT_TRUE(fs::isPseudoFileSystem("/sys/"));
    EXPECT_FALSE(fs::isPseudoFileSystem(proc.dir.path()));
}

TEST(CollectionBuilder, ReadingAheadGivesTheSameTree)
{
    std::map<std::string, std::string> files;
    for (int d = 0; d < 30; ++d) {
        for (int t = 0; t < 4; ++t)
            files["d" + std::to_string(d) + "/s/t" + std::to_string(t) + ".mp3"] =
                track(1 + (d + t) % 5, "T" + std::to_string(d * 10 + t));
        if (d % 3 == 0)
            files["d" + std::to_string(d) + "/s/files.bbs"] = "t1.mp3 One of " + std::to_string(d) + "\r\n";
    }
    files["top.MP3"] = track(2, "Top");
    files["d3/broken.mp3"] = "not a track";
    Collection col(files);
    // A pipe behind a link with a track's name is never opened, by the walk or ahead of it.
    ASSERT_EQ(::mkfifo((col.dir / "pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink("../pipe", col.dir / "d5/p.mp3");
    std::filesystem::create_symlink("t1.mp3", col.dir / "d7/s/link.mp3");
    // A directory met twice is scanned once, however far ahead it was read.
    std::filesystem::create_symlink("../d2", col.dir / "d9/again");
    const std::string alone = col.build();
    const auto records = [&] {
        std::vector<std::tuple<std::string, std::string, std::int64_t>> out;
        for (NodeId n : col.tree.Nodes)
            out.emplace_back(col.tree.record(n)->Name, col.tree.record(n)->Description, col.tree.record(n)->Duration);
        return out;
    };
    const auto expected = records();
    ASSERT_EQ(col.record("T91").Description, "One of 9");
    // Fast, each thread keeps to itself and the walk reads along; on a slow disk every
    // directory ahead gets a thread.
    for (const auto delay : {std::chrono::microseconds(0), std::chrono::microseconds(2000)}) {
        for (const unsigned threads : {1u, 16u}) {
            col.readAhead = threads;
            col.probeDelay = delay;
            EXPECT_EQ(col.build(), alone) << threads << " threads, " << delay.count() << " us";
            EXPECT_EQ(records(), expected) << threads << " threads, " << delay.count() << " us";
        }
    }
}

TEST(CollectionBuilder, ProgressStages)
{
    struct Recorder : BuildProgress {
        std::vector<std::string> statuses;
        int maximum = -1, position = -1, maxPosition = 0, repaints = 0;
        void setStatus(const std::string& t) override { statuses.push_back(t); }
        void setMaximum(int m) override { maximum = m; }
        void setPosition(int p) override
        {
            position = p;
            maxPosition = std::max(maxPosition, p);
        }
        void repaint() override { ++repaints; }
    };
    Collection col({{"a/t.mp3", track(1)}, {"b.mp3", track(1)}, {"p.m3u", "b.mp3\n"}});
    Recorder r;
    col.build(&r);
    EXPECT_EQ(r.statuses, (std::vector<std::string>{"S37", "S38", "S39"}));
    EXPECT_EQ(r.maximum, 7); // the node table: root, a, t.mp3, b.mp3, playlists, p.m3u, its entry
    EXPECT_EQ(r.position, 7);
    EXPECT_GT(r.repaints, 3);
}
