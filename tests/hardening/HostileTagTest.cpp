// Tags made to hurt a reader: a small file whose compressed frame inflates to 400 MiB,
// millions of frames or items, one huge frame, and a tag with a broken frame in the middle.
// Reading each costs little time and memory, and what can be read is read.

#include "core/collection/CollectionItem.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"

#include "support/Mp3Fixture.h"
#include "support/TempDir.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

std::string syncsafe(std::uint32_t n)
{
    return {char((n >> 21) & 0x7F), char((n >> 14) & 0x7F), char((n >> 7) & 0x7F), char(n & 0x7F)};
}

std::string littleEndian(std::uint32_t n) { return {char(n), char(n >> 8), char(n >> 16), char(n >> 24)}; }

std::string frame(const std::string& id, const std::string& body, std::uint16_t flags = 0)
{
    return id + syncsafe(static_cast<std::uint32_t>(body.size())) + char(flags >> 8) + char(flags & 0xFF) + body;
}

std::string text(const std::string& id, const std::string& value) { return frame(id, std::string(1, '\3') + value); }

// An ID3v2.4 tag of these frames before a few frames of audio.
std::string track(const std::string& frames)
{
    return std::string("ID3\4\0\0", 6) + syncsafe(static_cast<std::uint32_t>(frames.size())) + frames +
           fakeTrack("\xFF\xFB\x90\x44", 4000);
}

// `zeros` zero bytes deflated, made a piece at a time.
std::string deflatedZeros(std::size_t zeros)
{
    z_stream z{};
    deflateInit(&z, Z_BEST_COMPRESSION);
    const std::string chunk(1 << 20, '\0');
    std::string out;
    char buffer[1 << 16];
    for (std::size_t left = zeros; left > 0 || z.avail_in > 0;) {
        const std::size_t n = std::min(left, chunk.size());
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
        z.avail_in = static_cast<uInt>(n);
        left -= n;
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
            out.append(buffer, sizeof buffer - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return out;
}

struct Cost {
    double seconds = 0;
    long kilobytes = 0; // the most the reading held, above what the process held before
    std::string title;
};

// Probes the file in a child process, which writes the title it found to a pipe; the
// memory is the child's peak.
Cost probeCost(const std::string& path)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        throw std::runtime_error("pipe");
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeEnds[0]);
        CollectionItem item = CreateEntry("/", "x.mp3", *CodePage::byNumber(1252), std::nullopt);
        item.Path = path;
        (void)ReadTrackInfo(item, *CodePage::byNumber(1252));
        const std::string found = item.Name.str() + "|" + item.Artist.str() + "|" + item.Album.str();
        (void)!::write(pipeEnds[1], found.data(), found.size());
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    Cost cost;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        cost.title.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    rusage child{};
    ::wait4(pid, &status, 0, &child);
    cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.kilobytes = child.ru_maxrss - before.ru_maxrss;
    return cost;
}

} // namespace

TEST(HostileTags, EachCostsLittleAndWhatCanBeReadIsRead)
{
    TempDir dir;
    const std::string normal = text("TPE1", "Artist") + text("TALB", "Album");
    const auto manyFrames = [&] {
        std::string frames = text("TIT2", "Title");
        frames.reserve(5'000'000u * 11 + 100);
        for (int i = 0; i < 5'000'000; ++i)
            frames += frame("TXXX", "x");
        return track(frames + normal);
    };
    // Each file is made when its turn comes, so that the test holds one at a time.
    const struct {
        std::string name;
        std::function<std::string()> bytes;
        std::string fields; // title|artist|album as read
    } cases[] = {
        {"clean", [&] { return track(text("TIT2", "Title") + normal); }, "Title|Artist|Album"},
        // A 2.4 frame compressed, with a data-length indicator: 400 MiB of zeros in a small file.
        {"compressed",
         [&] { return track(frame("TIT2", syncsafe(1u << 27) + deflatedZeros(400u << 20), 0x0008 | 0x0001) + normal); },
         "x.mp3|Artist|Album"},
        {"many frames", manyFrames, "Title||"},
        {"huge frame",
         [&] { return track(frame("APIC", std::string(60u << 20, 'p')) + text("TIT2", "Title") + normal); },
         "Title|Artist|Album"},
        // A bad POPM (its e-mail never ends, its counter is missing) among good frames.
        {"bad POPM", [&] { return track(text("TIT2", "Title") + frame("POPM", "no end") + normal); },
         "Title|Artist|Album"},
        // A POPM whose size points past the tag: the frames before it are still read.
        {"cut POPM",
         [&] { return track(text("TIT2", "Title") + normal + "POPM" + syncsafe(1u << 26) + std::string(2, '\0')); },
         "Title|Artist|Album"},
    };
    Cost clean;
    for (const auto& c : cases) {
        const std::string path = dir.write("hostile.mp3", c.bytes());
        const Cost cost = probeCost(path);
        if (c.name == "clean")
            clean = cost;
        EXPECT_EQ(cost.title, c.fields) << c.name;
        EXPECT_LT(cost.seconds, 2.0) << c.name;
        EXPECT_LT(cost.kilobytes - clean.kilobytes, 64 * 1024) << c.name;
    }
    // An APE tag of two million items at the end.
    std::string items;
    for (int i = 0; i < 2'000'000; ++i)
        items += littleEndian(1) + littleEndian(0) + "K" + '\0' + "v";
    items += littleEndian(5) + littleEndian(0) + "Title" + '\0' + "Never";
    const std::string footer = "APETAGEX" + littleEndian(2000) +
                               littleEndian(static_cast<std::uint32_t>(items.size() + 32)) + littleEndian(2'000'001) +
                               littleEndian(0) + std::string(8, '\0');
    const std::string ape = dir.write("hostile.mp3", fakeTrack("\xFF\xFB\x90\x44", 4000) + items + footer);
    const Cost cost = probeCost(ape);
    EXPECT_EQ(cost.title, "x.mp3||");
    EXPECT_LT(cost.seconds, 2.0);
    EXPECT_LT(cost.kilobytes - clean.kilobytes, 64 * 1024);
}
