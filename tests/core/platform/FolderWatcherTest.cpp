#include "core/platform/FolderWatcher.h"

#include "support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace cantorel;
using namespace cantorel::test;

namespace {

// Whether an event arrives within a second.
bool changeSeen(FolderWatcher& watcher)
{
    for (int i = 0; i < 100; ++i) {
        if (watcher.takeEvents())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

// Each kind of change in a watched folder is seen, with the folder it happened in; a
// folder made in one is watched at once, with what it holds; a folder no longer wanted is
// not watched.
TEST(FolderWatcher, SeesEveryChangeAndFollowsNewFolders)
{
    TempDir dir;
    const std::string music = dir.makeDir("music");
    dir.write("music/a.mp3", "x");
    dir.makeDir("other");
    FolderWatcher watcher;
    ASSERT_GE(watcher.fd(), 0);
    watcher.watch({music, dir / "other"});
    EXPECT_EQ(watcher.watched(), 2u);
    EXPECT_FALSE(watcher.takeEvents());
    EXPECT_FALSE(watcher.needsSweep()); // a local disk

    const struct {
        const char* what;
        std::function<void()> change;
        std::string where;
    } changes[] = {
        {"file made", [&] { dir.write("music/b.mp3", "y"); }, music},
        {"file rewritten", [&] { dir.write("music/a.mp3", "z"); }, music},
        {"file renamed", [&] { std::filesystem::rename(music + "/b.mp3", music + "/c.mp3"); }, music},
        {"file removed", [&] { std::filesystem::remove(music + "/c.mp3"); }, music},
        {"folder made", [&] { dir.makeDir("music/New album"); }, music},
        {"file in the new folder", [&] { dir.write("music/New album/t.mp3", "t"); }, music + "/New album"},
        {"folder moved in with a folder inside",
         [&] {
             dir.write("outside/Album/Disc 1/u.mp3", "u");
             std::filesystem::rename(dir / "outside/Album", music + "/Album");
         },
         music},
        {"file deep in the moved folder", [&] { dir.write("music/Album/Disc 1/v.mp3", "v"); }, music + "/Album/Disc 1"},
    };
    for (const auto& c : changes) {
        c.change();
        EXPECT_TRUE(changeSeen(watcher)) << c.what;
        EXPECT_EQ(watcher.takeChangedFolders(), std::vector<std::string>{c.where}) << c.what;
    }

    watcher.watch({music});
    EXPECT_EQ(watcher.watched(), 1u);
    dir.write("other/x.mp3", "x");
    EXPECT_FALSE(changeSeen(watcher));
}

// Past the watch limit the folders left over are not watched, and a sweep is asked for;
// with room again, all are.
TEST(FolderWatcher, TheWatchLimitAsksForSweeps)
{
    TempDir dir;
    const std::vector<std::string> folders{dir.makeDir("a"), dir.makeDir("b"), dir.makeDir("c")};
    FolderWatcher limited(2);
    limited.watch(folders);
    EXPECT_TRUE(limited.limitReached());
    EXPECT_TRUE(limited.needsSweep());
    EXPECT_EQ(limited.watched(), 2u);
    limited.watch({folders[0]});
    EXPECT_FALSE(limited.limitReached());
    EXPECT_FALSE(limited.needsSweep());
    EXPECT_FALSE(FolderWatcher::isRemote(dir.path())); // a local disk (or tmpfs)
}
