#include "core/collection/ProbeCache.h"
#include "core/collection/SearchIndex.h"
#include "core/config/Configuration.h"
#include "core/info/TagWriter.h"
#include "core/session/Session.h"

#include "support/Mp3Fixture.h"
#include "support/TempDir.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace cantorel;
using namespace cantorel::test;

namespace {

std::string track(const std::string& title)
{
    return fakeTrack("\xFF\xFB\x90\x44", 4000, id3v1(title, "Artist", "Album"));
}

Session::ScanOutcome finished(Session& session)
{
    for (int i = 0; i < 2000 && session.scanRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return session.adoptScan();
}

bool shows(const Session& session, std::string_view caption)
{
    for (const NodeId n : session.tree().Nodes)
        if (session.tree().caption(n) == caption)
            return true;
    return false;
}

} // namespace

// A reading behind the tree finds it as it is, puts a change in place, and is read again
// when a save came while it read (its tree would hide what was saved).
TEST(BackgroundScan, UnchangedChangedAndOvertakenBySave)
{
    TempDir dir;
    dir.write("music/Album/01.mp3", track("One"));
    dir.write("music/Album/02.mp3", track("Two"));
    Configuration config = Configuration::defaults(dir.path());
    config.Settings.MP3RootDir = dir / "music/";
    config.Settings.AllowEdit = true;
    Session session(config, SessionOptions{"", true, "", std::string(), true});
    session.build();
    ASSERT_TRUE(shows(session, "Two"));

    ASSERT_TRUE(session.startScan());
    EXPECT_EQ(finished(session), Session::ScanOutcome::Unchanged);

    dir.write("music/Album/03.mp3", track("Three"));
    ASSERT_TRUE(session.startScan());
    EXPECT_EQ(finished(session), Session::ScanOutcome::Changed);
    EXPECT_TRUE(shows(session, "Three"));
    // The search index came with the new tree.
    const SearchIndex& index = session.searchIndex();
    EXPECT_EQ(index.search(index.words("three")).total, 1u);

    // A save while the reading runs: the reading does not count, the next one shows it.
    ASSERT_TRUE(session.startScan());
    TagChange change;
    change.title = "Renamed";
    ASSERT_TRUE(session.saveTag(dir / "music/Album/01.mp3", change));
    EXPECT_EQ(finished(session), Session::ScanOutcome::Stale);
    EXPECT_FALSE(shows(session, "Renamed"));
    ASSERT_TRUE(session.startScan());
    EXPECT_EQ(finished(session), Session::ScanOutcome::Changed);
    EXPECT_TRUE(shows(session, "Renamed"));

    // A reading given up is not taken.
    ASSERT_TRUE(session.startScan());
    session.cancelScan();
    EXPECT_EQ(session.adoptScan(), Session::ScanOutcome::Stale);
}

// A change seen at the root reads the root's own entries and not the folders beside it,
// and what the probe cache knows of those folders' tracks stays known.
TEST(BackgroundScan, AChangeAtTheRootReadsNoFolderBesideIt)
{
    TempDir dir;
    dir.write("music/Album/01.mp3", track("One"));
    dir.write("music/Other/01.mp3", track("Two"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // settled: the cache keeps them
    Configuration config = Configuration::defaults(dir.path());
    config.Settings.MP3RootDir = dir / "music/";
    std::string cacheFile;
    {
        Session session(config, SessionOptions{"", true, "", std::string(), true});
        session.build();
        cacheFile = probeCacheFor(session.configuration())->file();
        dir.write("music/top.mp3", track("Top"));
        ASSERT_TRUE(session.startScan({}, {dir / "music"}));
        EXPECT_EQ(finished(session), Session::ScanOutcome::Changed);
        EXPECT_TRUE(shows(session, "Top"));
        EXPECT_TRUE(shows(session, "Two"));
    } // the cache is saved
    ProbeCache cache(cacheFile);
    for (const char* track : {"music/Album/01.mp3", "music/Other/01.mp3"})
        EXPECT_TRUE(cache.find(dir / track, *stampOf(dir / track))) << track;
}
