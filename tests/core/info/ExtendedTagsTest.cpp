// ID3v2 and APE tags as other taggers write them, read by the probe and checked against
// what the taggers were told and what ffprobe reads.

#include "core/collection/CollectionItem.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"

#include "support/Mp3Fixture.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace cantorel;
using namespace cantorel::test;

namespace {

const CodePage& ansi() { return *CodePage::byNumber(1252); }

CollectionItem probe(const std::string& path, bool extended = true)
{
    CollectionItem item = CreateEntry(std::filesystem::path(path).parent_path().string() + "/",
                                      std::filesystem::path(path).filename().string(), ansi(), std::nullopt);
    (void)ReadTrackInfo(item, ansi(), extended);
    return item;
}

// An MP3 of two seconds of tone, made with lame (extra options for its own tags).
std::string encode(const TempDir& dir, const std::string& name, std::vector<std::string> options = {})
{
    const std::string wav = dir.write(name + ".wav", sineWav(440, 2));
    std::vector<std::string> args{"--quiet", "-b", "128"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(wav);
    args.push_back(dir / name);
    const ProcessResult r = runProcess("/usr/bin/lame", args);
    if (r.status != 0)
        throw std::runtime_error("lame: " + r.err);
    return dir / name;
}

void run(const std::string& program, const std::vector<std::string>& args)
{
    const ProcessResult r = runProcess(program, args);
    if (r.status != 0)
        throw std::runtime_error(program + ": " + r.err);
}

// ffprobe's sampling rate, playing time and title of a file.
struct Reference {
    int sampleRate = 0;
    double duration = 0;
    std::string title;
};
Reference ffprobe(const std::string& path)
{
    const ProcessResult r = runProcess("/usr/bin/ffprobe", {"-v", "error", "-show_entries",
                                                            "format=duration:stream=sample_rate:format_tags=title",
                                                            "-of", "default=noprint_wrappers=1", path});
    Reference ref;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        const std::size_t eq = line.find('=');
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "sample_rate" && ref.sampleRate == 0)
            ref.sampleRate = std::stoi(value);
        else if (key == "duration" && value != "N/A")
            ref.duration = std::stod(value);
        else if (key == "TAG:title")
            ref.title = value;
    }
    return ref;
}

} // namespace

TEST(ExtendedTags, TagsOfOtherTaggersAreRead)
{
    TempDir dir;
    const std::string cover = dir.write("cover.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(600, 'p'));
    const struct {
        std::string name;
        std::function<void(const std::string&)> tag;
        std::string title, artist, album, year, comment;
        int genre;
        int track;
    } cases[] = {
        {"v24-utf8.mp3",
         [&](const std::string& f) {
             run("/usr/bin/eyeD3", {"--quiet",
                                    "--to-v2.4",
                                    "--encoding",
                                    "utf8",
                                    "-t",
                                    "Заголовок",
                                    "-a",
                                    "Артист",
                                    "-A",
                                    "Альбом",
                                    "--recording-date",
                                    "2001",
                                    "-G",
                                    "Rock",
                                    "-n",
                                    "7",
                                    "-c",
                                    "комментарий",
                                    "--add-image",
                                    cover + ":FRONT_COVER",
                                    f});
         },
         "Заголовок", "Артист", "Альбом", "2001", "комментарий", 17, 7},
        {"v23-utf16.mp3",
         [&](const std::string& f) {
             run("/usr/bin/eyeD3", {"--quiet", "--to-v2.3", "--encoding", "utf16", "-t", "日本語の歌", "-a", "Art",
                                    "-G", "Trip-Hop", "-n", "3", "-N", "12", f});
         },
         "日本語の歌", "Art", "", "", "", 27, 3},
        {"mutagen.mp3",
         [&](const std::string& f) {
             run("/usr/bin/mid3v2", {"-t", "Mutagen title", "-a", "M", "-g", "Chillwave", "-T", "2", f});
         },
         "Mutagen title", "M", "", "", "", 255, 2},
        {"id3v2-tool.mp3",
         [&](const std::string& f) {
             run("/usr/bin/id3v2", {"-2", "-t", "Tool title", "-y", "1999", "-g", "8", f});
         },
         "Tool title", "", "", "1999", "", 8, 0},
    };
    for (const auto& c : cases) {
        const std::string file = encode(dir, c.name);
        c.tag(file);
        const CollectionItem r = probe(file);
        EXPECT_EQ(r.Name, c.title) << c.name;
        EXPECT_EQ(r.Artist, c.artist) << c.name;
        EXPECT_EQ(r.Album, c.album) << c.name;
        EXPECT_EQ(r.Year, c.year) << c.name;
        EXPECT_EQ(r.Comment, c.comment) << c.name;
        EXPECT_EQ(r.Genre, c.genre) << c.name;
        EXPECT_EQ(r.Track, c.track) << c.name;
        EXPECT_EQ(r.Frequency, 44100) << c.name;
        EXPECT_EQ(r.Duration, 2) << c.name;
        // Without ID3v2 the name stays the file's.
        EXPECT_EQ(probe(file, false).Name, c.name) << c.name;
    }
    EXPECT_EQ(probe(dir / "mutagen.mp3").GenreText, "Chillwave");
    // Written by hand: an unsynchronised ID3v2.3 tag without padding (0xFF 0xFE in the text
    // stored as 0xFF 0x00 0xFE), before the audio.
    const std::string plain = encode(dir, "unsync-src.mp3");
    const std::string text = std::string("\x01\xFF\xFE", 3) + std::string("S\0y\0n\0c\0", 8); // UTF-16 "Sync"
    const std::string frame = std::string("TIT2\0\0\0", 7) + char(text.size()) + std::string("\0\0", 2) + text;
    std::string stored;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        stored += frame[i];
        if (static_cast<unsigned char>(frame[i]) == 0xFF)
            stored += '\0';
    }
    const std::string header = std::string("ID3\x03\x00\x80\0\0\0", 9) + char(stored.size());
    const std::string unsync = dir.write("unsync.mp3", header + stored + readAll(plain));
    EXPECT_EQ(probe(unsync).Name, "Sync");
    EXPECT_EQ(probe(unsync).Duration, 2);
    // Both tags: each field from ID3v2 when it has one, else from ID3v1.
    const std::string both = encode(dir, "both.mp3", {"--add-id3v2", "--tt", "Version two"});
    run("/usr/bin/id3v2", {"-1", "-a", "Artist", both});
    const CollectionItem r = probe(both);
    EXPECT_EQ(r.Name, "Version two");
    EXPECT_EQ(r.Artist, "Artist");
}

TEST(ExtendedTags, OddShapesAgreeWithFfprobe)
{
    const std::string data = std::string(CANTOREL_SOURCE_DIR) + "/../shared/testdata/taglib/";
    if (!std::filesystem::is_directory(data))
        GTEST_SKIP() << "no " << data;
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data)) {
        if (entry.path().extension() != ".mp3")
            continue;
        const std::string name = entry.path().filename().string();
        const Reference ref = ffprobe(entry.path().string());
        if (ref.sampleRate == 0 || ref.duration < 0.5)
            continue; // too short or too broken for ffprobe to say
        const CollectionItem r = probe(entry.path().string());
        EXPECT_EQ(r.Frequency, ref.sampleRate) << name;
        EXPECT_NEAR(static_cast<double>(r.Duration), ref.duration, 1.0) << name;
        if (!ref.title.empty()) {
            EXPECT_EQ(r.Name, ref.title.substr(0, 63)) << name;
        }
        ++checked;
    }
    EXPECT_GT(checked, 10);
}

TEST(ExtendedTags, SavesUpdateTheID3v2TagInItsVersionAndKeepTheAudio)
{
    TempDir dir;
    const std::string cover = dir.write("cover.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(600, 'p'));
    const struct {
        std::string name;
        std::string version; // eyeD3's option
        std::string encoding;
    } cases[] = {{"v24.mp3", "--to-v2.4", "utf8"}, {"v23.mp3", "--to-v2.3", "utf16"}};
    for (const auto& c : cases) {
        const std::string file = encode(dir, c.name, {"--add-id3v2", "--tt", "Old", "--tn", "5"});
        run("/usr/bin/eyeD3", {"--quiet", c.version, "--add-image", cover + ":FRONT_COVER", file});
        const std::string pcm = runProcess("/usr/bin/mpg123", {"-q", "-s", file}).out;
        CollectionItem item = probe(file);
        item.Name = "Новое название";
        item.Artist = "Someone";
        item.Genre = 8;
        ASSERT_TRUE(WriteTag(item, ansi()).ok()) << c.name;
        // Another reader sees the new texts in the tag's own version and encoding, the
        // picture and the track number stay, and not one sample changed.
        const ProcessResult check = runProcess(
            "/usr/bin/python3", {"-c",
                                 "import sys, mutagen.id3 as m; t = m.ID3(sys.argv[1]); "
                                 "print(t.version[1], t['TIT2'].text[0], int(t['TIT2'].encoding), t['TPE1'].text[0], "
                                 "t['TCON'].text[0], t['TRCK'].text[0], len(t.getall('APIC')))",
                                 file});
        const std::string encoding = c.encoding == "utf8" ? "3" : "1"; // mutagen's numbers of UTF-8 and UTF-16
        EXPECT_EQ(check.out,
                  std::string(c.name == "v24.mp3" ? "4" : "3") + " Новое название " + encoding + " Someone Jazz 5 1\n")
            << c.name << check.err;
        EXPECT_EQ(runProcess("/usr/bin/mpg123", {"-q", "-s", file}).out, pcm) << c.name;
        EXPECT_EQ(ffprobe(file).title, "Новое название") << c.name;
        const CollectionItem back = probe(file);
        EXPECT_EQ(back.Name, "Новое название") << c.name;
        EXPECT_EQ(back.Track, 5) << c.name;
    }
}
