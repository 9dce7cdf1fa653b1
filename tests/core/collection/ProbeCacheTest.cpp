#include "core/collection/ProbeCache.h"

#include "core/collection/ProbeRecord.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

// A stamp of a file last changed in 2020.
FileStamp stamp(std::uint64_t inode)
{
    constexpr std::int64_t Then = 1'600'000'000'000'000'000;
    return FileStamp{1, inode, 4096, Then, Then + 1};
}

TrackProbe probeTitled(const std::string& title)
{
    TrackProbe p;
    p.headerRead = true;
    p.tag = TrackProbe::Tag{title, "", "", "", "", 255, "", 0, "", 0, 0, 0};
    return p;
}

std::string titleFound(ProbeCache& cache, const std::string& path, const FileStamp& s)
{
    const std::optional<TrackProbe> p = cache.find(path, s);
    return p ? p->tag->title : "(miss)";
}

} // namespace

// Every stored track is found again after a reload, only with its own stamp, and a track
// the last run did not meet is forgotten at its save; read all at once, or a folder at a
// time (with folders inside folders, and folders whose names begin alike).
TEST(ProbeCache, FindsEveryStoredTrackAndForgetsTheGoneOnes)
{
    const auto path = [](int i) {
        const int album = i / 10;
        return "/m/Album " + std::to_string(album) + (album % 7 == 3 ? "/Disc 1" : "") + "/Track " + std::to_string(i) +
               ".mp3";
    };
    constexpr int Tracks = 3000;
    for (const ProbeCache::Rows rows : {ProbeCache::Rows::All, ProbeCache::Rows::ByFolder}) {
        SCOPED_TRACE(rows == ProbeCache::Rows::All ? "all rows" : "by folder");
        TempDir dir;
        const std::string file = dir / "probes.sqlite";
        {
            ProbeCache cache(file);
            for (int i = 0; i < Tracks; ++i)
                cache.store(path(i), stamp(i), probeTitled("T" + std::to_string(i)));
            cache.store("/m/Album 3/Track 0.mp3", stamp(1), probeTitled("beside a folder"));
            cache.save();
        }
        {
            ProbeCache cache(file, rows);
            for (int i = 0; i < Tracks; i += 2) {
                ASSERT_EQ(titleFound(cache, path(i), stamp(i)), "T" + std::to_string(i));
            }
            FileStamp touched = stamp(4);
            touched.changedNs += 1;
            EXPECT_EQ(titleFound(cache, path(4), touched), "(miss)");
            EXPECT_EQ(titleFound(cache, path(4), stamp(5)), "(miss)");
            EXPECT_EQ(titleFound(cache, "/m/Album 0/Track 4.mp", stamp(4)), "(miss)");
            EXPECT_EQ(titleFound(cache, "", stamp(4)), "(miss)");
            EXPECT_EQ(titleFound(cache, "/m/Album 3/Track 0.mp3", stamp(1)), "beside a folder");
            cache.save();
            // A saved cache has let go of what it read.
            EXPECT_EQ(titleFound(cache, path(0), stamp(0)), "(miss)");
        }
        ProbeCache cache(file);
        for (int i = 0; i < Tracks; ++i)
            ASSERT_EQ(titleFound(cache, path(i), stamp(i)), i % 2 == 0 ? "T" + std::to_string(i) : "(miss)") << i;
        EXPECT_EQ(titleFound(cache, "/m/Album 3/Track 0.mp3", stamp(1)), "beside a folder");
    }
}
