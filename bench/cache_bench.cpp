// The start of large collections with and without the probe cache, each time beside the
// floor that the same files allow, measured in the same run:
//   warm, no cache       vs a bare sequential reader (listing and description file per
//                           directory; per track open, stat, the first 4 KB, the ID3v2
//                           tag's text frames beyond them, the frame header behind the tag,
//                           the last 128 bytes)
//   cold, no cache       vs the same reader on a cold page cache
//   cold, valid cache    vs a walk that only lists and stats every file, cold
//   warm, valid cache    vs a walk that only lists and stats every file
// and the heap the finished tree holds per track; it checks that the trees built with and
// without the cache are the same. Cold runs drop the page cache, which needs root.
//
//   cache_bench [--warm] [--dir DIR] [TRACKS...]   (default: 20000 100000; 10 tracks a directory)
//   --warm: only the warm runs (no root needed, quicker)

#include "core/collection/CollectionBuilder.h"
#include "core/collection/ProbeCache.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"
#include "core/platform/Collation.h"
#include "core/session/Session.h"

#include "BenchSupport.h"

#include "RealisticCollection.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace cantorel;
using bench::seconds;
namespace fsys = std::filesystem;

namespace {

// The ID3v2 tag size of a header (syncsafe), 0 when `b` starts none.
long id3v2Size(const unsigned char* b, long got)
{
    if (got < 10 || std::memcmp(b, "ID3", 3) != 0)
        return 0;
    return 10 + ((b[6] & 0x7FL) << 21 | (b[7] & 0x7FL) << 14 | (b[8] & 0x7FL) << 7 | (b[9] & 0x7FL));
}

// What a tag reader cannot do without for one track: the first 4 KB, the frame headers of
// the tag that lie beyond them with the bodies of its text frames (pictures passed over),
// the audio frame header behind the tag, the size and the last 128 bytes.
bool bareTrack(int fd)
{
    unsigned char buffer[4096];
    struct stat st {};
    const long got = ::fstat(fd, &st) == 0 ? ::pread(fd, buffer, sizeof buffer, 0) : -1;
    if (got < 4)
        return false;
    const long tag = id3v2Size(buffer, got);
    long at = tag > 0 ? 10 : tag;
    while (tag > 0 && at + 10 <= tag) {
        unsigned char header[10];
        const unsigned char* h = header;
        if (at + 10 <= got)
            h = buffer + at;
        else if (::pread(fd, header, 10, at) != 10)
            break;
        if (h[0] == 0)
            break; // padding
        const long size = (h[4] & 0x7FL) << 21 | (h[5] & 0x7FL) << 14 | (h[6] & 0x7FL) << 7 | (h[7] & 0x7FL);
        if (h[0] == 'T' && at + 10 + size > got) {
            std::string body(static_cast<std::size_t>(size), '\0');
            if (::pread(fd, body.data(), body.size(), at + 10) != size)
                break;
        }
        at += 10 + size;
    }
    unsigned char frame[4];
    if (tag + 4 > got && ::pread(fd, frame, 4, tag) != 4)
        return false;
    return ::pread(fd, buffer, 128, st.st_size - 128) == 128;
}

// The system calls a sequential scan cannot do without.
long bareRead(const std::string& dir, bool readTracks)
{
    long count = 0;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return 0;
    std::vector<std::string> subdirs;
    char buffer[65536];
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || name == ".complete")
            continue;
        const std::string path = dir + name;
        if (e->d_type == DT_DIR) {
            subdirs.push_back(path + "/");
        } else if (!readTracks || name == "files.bbs") {
            struct stat st {};
            count += ::stat(path.c_str(), &st) == 0;
            if (name == "files.bbs" && readTracks) {
                const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd >= 0 && ::read(fd, buffer, sizeof buffer) >= 0)
                    ::close(fd);
            }
        } else {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            count += fd >= 0 && bareTrack(fd);
            if (fd >= 0)
                ::close(fd);
        }
    }
    ::closedir(d);
    for (const std::string& s : subdirs)
        count += bareRead(s, readTracks);
    return count;
}

// The node table with every record, as text.
std::string dump(const CollectionTree& tree)
{
    std::string out;
    for (const NodeId n : tree.Nodes) {
        const CollectionItem& r = *tree.record(n);
        out += std::to_string(tree.kind(n)) + "|" + tree.caption(n) + "|" + r.Path + "|" + r.Name + "|" + r.Artist +
               "|" + r.Description + "|" + std::to_string(r.FileSize) + "|" + std::to_string(r.Duration) + "|" +
               std::to_string(r.Bitrate) + "\n";
    }
    return out;
}

struct Bench {
    std::string root;
    std::string cacheFile;
    const CodePage& oem = *CodePage::byNumber(437);
    const CodePage& ansi = *CodePage::byNumber(1252);
    const Collation collation{"C", &ansi};

    // Builds as the program starts: read-ahead, with or without the cache (saved after).
    std::unique_ptr<CollectionTree> build(bool cached)
    {
        std::unique_ptr<ProbeCache> cache = cached ? std::make_unique<ProbeCache>(cacheFile) : nullptr;
        TrackProber probe = trackProber(ansi);
        if (cache)
            probe = cachedProber(std::move(probe), *cache);
        BuildSettings settings = BuildSettings::forRoot(root, collation, std::move(probe), oem, ansi);
        if (cache)
            settings.known = knownProbe(*cache);
        settings.readAheadThreads = Session::ReadAheadThreads;
        auto tree = std::make_unique<CollectionTree>();
        CollectionBuilder(*tree, settings).BuildTree();
        if (cache)
            cache->save();
        return tree;
    }
    // The time to the finished tree (freeing it is not part of a start).
    double time(bool cached)
    {
        std::unique_ptr<CollectionTree> tree;
        const double taken = seconds([&] { tree = build(cached); });
        return taken;
    }
};

void line(const char* what, double ours, const char* floorName, double floor)
{
    std::printf("  %-20s %7.3f s   %-22s %7.3f s   ratio %5.2f\n", what, ours, floorName, floor, ours / floor);
}

void run(const fsys::path& base, int tracks, bool warmOnly)
{
    const fsys::path root = base / std::to_string(tracks);
    bench::generateRealistic(root, tracks);
    Bench b;
    b.root = root.string() + "/";
    b.cacheFile = (base / ("cache-" + std::to_string(tracks) + ".sqlite")).string();
    fsys::remove(b.cacheFile);
    std::printf("%d tracks in %d folders: %s\n", tracks, (tracks + 9) / 10, bench::RealisticShape);

    bareRead(b.root, true); // warm
    double bare = 1e9, warm = 1e9;
    std::size_t held = 0;
    for (int round = 0; round < 3; ++round) {
        bare = std::min(bare, seconds([&] { bareRead(b.root, true); }));
        const std::size_t before = mallinfo2().uordblks;
        std::unique_ptr<CollectionTree> tree;
        warm = std::min(warm, seconds([&] { tree = b.build(false); }));
        held = mallinfo2().uordblks - before;
    }
    line("warm, no cache", warm, "bare reader", bare);
    const std::string without = dump(*b.build(false));
    b.build(true); // fills the cache
    const std::string with = dump(*b.build(true));
    double warmCached = 1e9;
    for (int round = 0; round < 3; ++round)
        warmCached = std::min(warmCached, b.time(true));
    double walk = 1e9;
    for (int round = 0; round < 3; ++round)
        walk = std::min(walk, seconds([&] { bareRead(b.root, false); }));
    line("warm, valid cache", warmCached, "list-and-stat walk", walk);
    std::printf("  of which the cache's loading %.3f s\n", seconds([&] { ProbeCache load(b.cacheFile); }));
    if (warmOnly) {
        std::printf("  cold runs skipped (--warm)\n");
    } else if (bench::dropPageCache()) {
        const double coldBare = seconds([&] { bareRead(b.root, true); });
        bench::dropPageCache();
        const double cold = b.time(false);
        line("cold, no cache", cold, "sequential cold reader", coldBare);
        bench::dropPageCache();
        const double coldWalk = seconds([&] { bareRead(b.root, false); });
        bench::dropPageCache();
        const double coldCached = b.time(true);
        line("cold, valid cache", coldCached, "cold list-and-stat walk", coldWalk);
    } else {
        std::printf("  cold runs skipped: the page cache cannot be dropped (needs root)\n");
    }
    std::printf("  tree heap            %7.0f bytes per track (%.1f MB)\n", double(held) / tracks, held / 1048576.0);
    std::printf("  trees with and without the cache: %s\n", with == without ? "identical" : "DIFFERENT");
}

} // namespace

int main(int argc, char** argv)
{
    const bool warmOnly = argc > 1 && std::strcmp(argv[1], "--warm") == 0;
    if (warmOnly) {
        --argc;
        ++argv;
    }
    const bench::Arguments args = bench::parseArguments(argc, argv, "cantorel-cache-bench", {20000, 100000});
    for (int tracks : args.sizes)
        run(args.base, tracks, warmOnly);
    return 0;
}
