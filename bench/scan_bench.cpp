// Times the collection build against a minimal reader that makes the same system calls,
// on generated collections, and reports the heap that the finished tree holds per track.
//
//   scan_bench [--dir DIR] [TRACKS...]     (default: 2000 100000)

#include "core/collection/CollectionBuilder.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"
#include "core/platform/Collation.h"

#include "BenchSupport.h"

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
using bench::writeFile;
namespace fsys = std::filesystem;

namespace {

constexpr int TracksPerAlbum = 50;
constexpr int AlbumsPerArtist = 10;

std::string number(int n, int width)
{
    std::string s = std::to_string(n);
    return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(s.size()))), '0') + s;
}

// Artists / albums / tracks of 2 KB (a 128 kbit/s header, silence, an ID3v1 tag), a
// description file per album, side files per artist and a playlist per artist.
void generate(const fsys::path& root, int tracks)
{
    fsys::remove_all(root);
    fsys::create_directories(root);
    for (int t = 0; t < tracks; ++t) {
        const int album = t / TracksPerAlbum;
        const int artist = album / AlbumsPerArtist;
        const fsys::path artistDir = root / ("Artist " + number(artist, 4));
        const fsys::path albumDir = artistDir / ("Album " + number(album % AlbumsPerArtist, 2));
        const std::string name = "Track " + number(t % TracksPerAlbum, 3) + ".mp3";
        if (t % TracksPerAlbum == 0) {
            fsys::create_directories(albumDir);
            std::string bbs;
            for (int i = 0; i < TracksPerAlbum; ++i)
                bbs += "\"Track " + number(i, 3) + ".mp3\" Description of track " + std::to_string(i) + "\r\n";
            writeFile(albumDir / "files.bbs", bbs);
        }
        if (t % (TracksPerAlbum * AlbumsPerArtist) == 0) {
            writeFile(artistDir / "dirinfo.bmp", "BM");
            writeFile(artistDir / "dirinfo", "About the artist\r\n");
            std::string list = "#EXTM3U\r\n";
            for (int i = 0; i < TracksPerAlbum * AlbumsPerArtist && t + i < tracks; i += 7)
                list +=
                    "Album " + number(i / TracksPerAlbum, 2) + "\\Track " + number(i % TracksPerAlbum, 3) + ".mp3\r\n";
            writeFile(artistDir / "Favourites.m3u", list);
        }
        std::string data(2048, '\0');
        std::memcpy(data.data(), "\xFF\xFB\x90\x44", 4);
        std::string tag = "TAG" + ("Title " + std::to_string(t)).substr(0, 30);
        tag.resize(128, ' ');
        data.replace(data.size() - 128, 128, tag);
        writeFile(albumDir / name, data);
    }
}

// The same system calls as the build, and nothing else.
long minimalRead(const std::string& dir)
{
    long count = 0;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return 0;
    std::vector<std::string> subdirs;
    char buffer[4096];
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (e->d_type == DT_DIR) {
            subdirs.push_back(dir + name + "/");
        } else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".mp3") == 0) {
            const int fd = ::open((dir + name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            struct stat st {};
            if (fd >= 0 && ::fstat(fd, &st) == 0 && ::pread(fd, buffer, sizeof buffer, 0) > 0 &&
                ::pread(fd, buffer, 128, st.st_size - 128) == 128)
                ++count;
            if (fd >= 0)
                ::close(fd);
        }
    }
    ::closedir(d);
    for (const std::string& s : subdirs)
        count += minimalRead(s);
    return count;
}

void run(const fsys::path& root, int tracks)
{
    std::printf("generating %d tracks in %s ...\n", tracks, root.c_str());
    generate(root, tracks);
    const std::string rootDir = root.string() + "/";
    const CodePage& oem = *CodePage::byNumber(437);
    const CodePage& ansi = *CodePage::byNumber(1252);
    const Collation collation("C", &ansi);
    const BuildSettings settings = BuildSettings::forRoot(rootDir, collation, trackProber(ansi), oem, ansi);
    minimalRead(rootDir); // warm the cache
    double best = 1e9, bestMinimal = 1e9;
    std::size_t held = 0;
    int nodes = 0;
    for (int round = 0; round < 3; ++round) {
        bestMinimal = std::min(bestMinimal, seconds([&] { minimalRead(rootDir); }));
        const std::size_t before = mallinfo2().uordblks;
        auto tree = std::make_unique<CollectionTree>();
        best = std::min(best, seconds([&] { CollectionBuilder(*tree, settings).BuildTree(); }));
        held = mallinfo2().uordblks - before;
        nodes = tree->NodeCount();
    }
    std::printf("tracks %d, nodes %d\n", tracks, nodes);
    std::printf("  build        %8.3f s  (%.0f tracks/s)\n", best, tracks / best);
    std::printf("  minimal read %8.3f s  (%.0f tracks/s)\n", bestMinimal, tracks / bestMinimal);
    std::printf("  ratio        %8.2f\n", best / bestMinimal);
    std::printf("  tree heap    %8.0f bytes per track (%.1f MB)\n", double(held) / tracks, held / 1048576.0);
}

} // namespace

int main(int argc, char** argv)
{
    const bench::Arguments args = bench::parseArguments(argc, argv, "cantorel-scan-bench", {2000, 100000});
    for (int tracks : args.sizes)
        run(args.base / std::to_string(tracks), tracks);
    fsys::remove_all(args.base);
    return 0;
}
