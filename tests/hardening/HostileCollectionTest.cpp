// Large and hostile collections: the build finishes, shows what it can and changes no
// file. The command-line companion builds the same tree under a time limit.

#include "core/collection/CollectionBuilder.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"
#include "core/platform/Collation.h"

#include "support/Mp3Fixture.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace cantorel;
using namespace cantorel::test;
namespace fsys = std::filesystem;

namespace {

// Size and modification time of every file, and the bytes of the small ones.
std::map<std::string, std::string> snapshot(const std::string& root)
{
    std::map<std::string, std::string> files;
    for (auto it = fsys::recursive_directory_iterator(root, fsys::directory_options::skip_permission_denied);
         it != fsys::recursive_directory_iterator(); ++it) {
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        std::string state = std::to_string(st.st_size) + "@" + std::to_string(st.st_mtim.tv_sec) + "." +
                            std::to_string(st.st_mtim.tv_nsec);
        if (st.st_size < 4096)
            state += readAll(it->path());
        files[it->path()] = state;
    }
    return files;
}

BuildSettings settingsFor(const std::string& root, const Collation& collation)
{
    return BuildSettings::forRoot(root, collation, trackProber(*CodePage::byNumber(1252)), *CodePage::byNumber(437),
                                  *CodePage::byNumber(1252));
}

const std::string Track = fakeTrack("\xFF\xFB\x90\x44", 600);

} // namespace

TEST(HostileCollection, StrangeNamesLongPathsAndSpecialFiles)
{
    TempDir dir;
    const std::string root = dir.makeDir("music") + "/";
    // A name for every byte Linux allows in one (all but NUL and "/"), newlines and
    // invalid UTF-8 included, and one of 255 bytes.
    std::vector<std::string> names;
    for (int b = 1; b < 256; ++b) {
        if (b == '/' || b == '.')
            continue;
        names.push_back(std::string("x") + static_cast<char>(b) + ".mp3");
    }
    names.push_back(std::string(251, 'L') + ".mp3");
    names.push_back("line\nbreak\r.mp3");
    for (const std::string& n : names)
        dir.write("music/names/" + n, Track);
    // A path of more than 4,000 bytes.
    std::string deep = "music/deep";
    while (deep.size() < 4000)
        deep += "/" + std::string(200, 'd');
    dir.write(deep + "/t.mp3", Track);
    // Special files named like tracks, a dangling link, a 50 MB description file.
    ::mkfifo((root + "names/fifo.mp3").c_str(), 0644);
    const bool device = ::mknod((root + "names/device.mp3").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0;
    fsys::create_symlink(root + "nowhere.mp3", root + "names/dangling.mp3");
    std::string big;
    while (big.size() < 50u * 1024 * 1024)
        big += "some.mp3 " + std::string(90, 'b') + "\r\n";
    dir.write("music/names/files.bbs", "x\x82.mp3 Described\r\n" + big);
    // A playlist of 100,000 lines.
    std::string list;
    for (int i = 0; i < 100'000; ++i)
        list += i % 2 ? "names/xA.mp3\n" : "missing/track" + std::to_string(i) + ".mp3\n";
    dir.write("music/long.m3u", list);

    const auto before = snapshot(root);
    const Collation collation("C", CodePage::byNumber(1252));
    const BuildSettings settings = settingsFor(root, collation);
    CollectionTree tree;
    const auto start = std::chrono::steady_clock::now();
    CollectionBuilder(tree, settings).BuildTree();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 60.0);
    int tracks = 0, entries = 0;
    bool described = false, deepFound = false;
    for (NodeId n : tree.Nodes) {
        const CollectionItem& r = *tree.record(n);
        if (tree.kind(n) == KindTrack && tree.parent(n) != NoNode && tree.kind(tree.parent(n)) == KindPlaylist)
            ++entries;
        else if (tree.kind(n) == KindTrack)
            ++tracks;
        described = described || r.Description == "Described";
        deepFound = deepFound || r.Path == dir.path() + deep + "/t.mp3";
        EXPECT_TRUE(r.Name.size() <= 63 * 4);
    }
    EXPECT_EQ(tracks, static_cast<int>(names.size()) + 1); // no FIFO, device or dangling link
    EXPECT_EQ(entries, 50'000);
    EXPECT_TRUE(described); // "x\xE9.mp3", matched through the ANSI page
    EXPECT_TRUE(deepFound);
    EXPECT_EQ(snapshot(root), before);
    (void)device;

    // The command-line companion shows the same tree and ends in time.
    const std::string ini = dir.write("c.ini", "MP3RootDir = music\nMP3RootName = Root\nOEMCodePage = 437\n");
    const auto cliStart = std::chrono::steady_clock::now();
    const ProcessResult r = runProcess(builtProgram("cantorel-cli"), {"--config", ini, "--json", "tree"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - cliStart).count(), 120.0);
    EXPECT_NE(r.out.find("\"text\": \"Described\""), std::string::npos);
}

TEST(HostileCollection, UnreadableSubdirectory)
{
    TempDir dir;
    dir.write("music/open/a.mp3", Track);
    dir.write("music/closed/b.mp3", Track);
    dir.shareWithUnprivileged();
    ::chmod((dir / "music/closed").c_str(), 0);
    const std::string root = dir / "music/";
    const int status = asUnprivileged([&] {
        const Collation collation("C", CodePage::byNumber(1252));
        const BuildSettings settings = settingsFor(root, collation);
        CollectionTree tree;
        CollectionBuilder(tree, settings).BuildTree();
        // Root, "open" and its track; the closed directory is dropped.
        return tree.NodeCount() == 3 ? 0 : 10 + tree.NodeCount();
    });
    ::chmod((dir / "music/closed").c_str(), 0755);
    EXPECT_EQ(status, 0);
}

TEST(HostileCollection, OneHundredThousandTracksAndADirectoryOfTwentyThousand)
{
    TempDir dir;
    const std::string root = dir.makeDir("music") + "/";
    for (int i = 0; i < 20'000; ++i)
        dir.write("music/flat/t" + std::to_string(i) + ".mp3", Track);
    for (int i = 0; i < 80'000; ++i)
        dir.write("music/a" + std::to_string(i / 1000) + "/b" + std::to_string(i / 100 % 10) + "/t" +
                      std::to_string(i) + ".mp3",
                  Track);
    const Collation collation("C", CodePage::byNumber(1252));
    const BuildSettings settings = settingsFor(root, collation);
    CollectionTree tree;
    const auto start = std::chrono::steady_clock::now();
    CollectionBuilder(tree, settings).BuildTree();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 120.0);
    EXPECT_EQ(tree.NodeCount(), 1 + 1 + 20'000 + 80 + 800 + 80'000);
}
