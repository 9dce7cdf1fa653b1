#include "core/info/TrackInfo.h"

#include "core/collection/CollectionItem.h"
#include "core/platform/CodePage.h"

#include "support/Mp3Fixture.h"
#include "support/Outcomes.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

const CodePage& cp(int n) { return *CodePage::byNumber(n); }

CollectionItem trackAt(const std::string& path)
{
    CollectionItem item;
    item.Path = path;
    item.Name = "file name";
    item.Genre = 255;
    return item;
}

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST(ReadTrackInfo, FrameHeaderAndPlayingTime)
{
    const struct {
        std::string header;
        std::size_t size;
        bool ok;
        int bitrate, frequency;
        std::int64_t duration;
    } cases[] = {
        {"\xFF\xFB\x90\x44", 4'000'000, true, 128, 44100, 250}, {"\xFF\xF3\x64\x00", 300'000, true, 48, 24000, 50},
        {"\xFF\xFB\x90\x44", 31'999, true, 128, 44100, 1},      {"\xFF\xFB\x90\x44", 15'999, true, 128, 44100, 0},
        {"\xFF\xFB\xE0\x44", 1'000'000, true, 320, 44100, 25}, // index 14, Layer III
        {"\xFF\xFD\x90\x44", 200'000, true, 160, 44100, 10},   // MPEG-1 Layer II, index 9
        {"\xFF\xFF\x90\x44", 288'000, true, 288, 44100, 8},    // MPEG-1 Layer I, index 9
        {"\xFF\xF7\x90\x00", 80'000, true, 144, 22050, 4},     // MPEG-2 Layer I, index 9
        {"\xFF\xF5\xE0\x00", 160'000, true, 160, 22050, 8},    // MPEG-2 Layer II, index 14
        {"\xFF\xE3\x80\x00", 80'000, true, 64, 11025, 10},     // MPEG-2.5 Layer III, index 8
        {"\xFF\xE3\x88\x00", 80'000, true, 64, 8000, 10},      // MPEG-2.5 at frequency index 2
        {"\xFF\xFB\x18\x44", 4'000, true, 32, 32000, 1},       // frequency index 2
        {"\xFF\xFB\x00\x44", 4'000'000, false, 0, 44100, 0},   // free format
        {"\xFF\xFB\xF0\x44", 4'000'000, false, 0, 44100, 0},   // forbidden index
        {"\xFF\xF9\x90\x44", 4'000'000, false, 0, 44100, 0},   // reserved layer
        {"\xFF\xFB\x9C\x44", 4'000, true, 128, 0, 0},          // reserved frequency: no table entry
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.write("t.mp3", fakeTrack(c.header, c.size));
        CollectionItem item = trackAt(path);
        EXPECT_EQ(ReadTrackInfo(item, cp(1252)).ok(), c.ok) << c.size;
        EXPECT_EQ(item.Bitrate, c.bitrate);
        EXPECT_EQ(item.Frequency, c.frequency);
        EXPECT_EQ(item.FileSize, static_cast<std::int64_t>(c.size));
        EXPECT_EQ(item.Duration, c.duration) << c.size;
    }
}

TEST(ReadTrackInfo, FailuresChangeOnlyWhatWasReadBefore)
{
    TempDir dir;
    const std::string tag = id3v1("Title");
    // Bit-rate index 0: the tag is not read even though the file has one.
    CollectionItem free = trackAt(dir.write("free.mp3", fakeTrack("\xFF\xFB\x00\x44", 10'000, tag)));
    EXPECT_FALSE(ReadTrackInfo(free, cp(1252)));
    EXPECT_EQ(free.Name, "file name");
    EXPECT_EQ(free.Duration, 0);
    EXPECT_EQ(free.Genre, 255);
    // Shorter than 128 bytes: playing time stored, tag untouched.
    CollectionItem small = trackAt(dir.write("small.mp3", fakeTrack("\xFF\xFB\x90\x44", 100)));
    EXPECT_FALSE(ReadTrackInfo(small, cp(1252)));
    EXPECT_EQ(small.FileSize, 100);
    EXPECT_EQ(small.Bitrate, 128);
    // Missing, shorter than 4 bytes, a directory, a FIFO: nothing changes.
    ::mkfifo((dir / "fifo.mp3").c_str(), 0644);
    for (const std::string& path :
         {dir / "none.mp3", dir.write("three.mp3", "\xFF\xFB\x90"), dir.makeDir("dir.mp3"), dir / "fifo.mp3"}) {
        CollectionItem item = trackAt(path);
        EXPECT_FALSE(ReadTrackInfo(item, cp(1252))) << path;
        EXPECT_EQ(item.Bitrate, 0);
        EXPECT_EQ(item.FileSize, 0);
    }
}

TEST(ReadTrackInfo, TagFields)
{
    const struct {
        std::string tag;
        std::string name, artist, year, comment;
        int genre;
    } cases[] = {
        {id3v1("Hello", "", "", "", "", 17, '\0'), "Hello", "", "", "", 17},
        {id3v1("", "Artist", "", "", "", 255), "file name", "Artist", "", "", 255},
        {id3v1("   Leading", "  \t x  ", "", "1999", "c"), "Leading", "x", "1999", "c", 255},
        {id3v1(std::string(30, 'T'), "", "", "2001"), std::string(30, 'T'), "", "2001", "", 255},
        // ID3v1.1: a track number after a NUL is not part of the comment.
        {id3v1("t", "", "", "", std::string("Comment\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x07", 29), 3, '\0'), "t",
         "", "", "Comment", 3},
        // Text after a NUL inside a field is not shown.
        {id3v1(std::string("Ab\0cd", 5), "", "", "", "", 0, '\0'), "Ab", "", "", "", 0},
    };
    TempDir dir;
    for (const auto& c : cases) {
        CollectionItem item = trackAt(dir.write("t.mp3", fakeTrack("\xFF\xFB\x90\x44", 4000, c.tag)));
        item.Artist = "";
        EXPECT_TRUE(ReadTrackInfo(item, cp(1252)));
        EXPECT_EQ(item.Name, c.name);
        EXPECT_EQ(item.Artist, c.artist);
        EXPECT_EQ(item.Year, c.year);
        EXPECT_EQ(item.Comment, c.comment);
        EXPECT_EQ(item.Genre, c.genre);
    }
}

TEST(ReadTrackInfo, Id3v2TagIsSkipped)
{
    TempDir dir;
    // A 1000-byte tag body, then a 128 kbit/s header.
    std::string id3 = std::string("ID3\x03\x00\x00\x00\x00\x07\x68", 10) + std::string(1000, 'x');
    std::string data = id3 + fakeTrack("\xFF\xFB\x90\x44", 160'000 + 128, id3v1("After"));
    CollectionItem item = trackAt(dir.write("v2.mp3", data));
    EXPECT_TRUE(ReadTrackInfo(item, cp(1252)));
    EXPECT_EQ(item.Bitrate, 128);
    EXPECT_EQ(item.Frequency, 44100);
    EXPECT_EQ(item.Duration, 10);
    EXPECT_EQ(item.FileSize, static_cast<std::int64_t>(data.size()));
    EXPECT_EQ(item.Name, "After");
    // A tag larger than the first read, with a footer.
    std::string big = std::string("ID3\x04\x00\x10\x00\x01\x00\x00", 10) + std::string(16384 + 10, 'y');
    CollectionItem large = trackAt(dir.write("big.mp3", big + fakeTrack("\xFF\xF3\x64\x00", 60'000)));
    EXPECT_TRUE(ReadTrackInfo(large, cp(1252)));
    EXPECT_EQ(large.Bitrate, 48);
    EXPECT_EQ(large.Duration, 10);
    // A size that points past the end: probe at offset 0 (as the bytes "ID3" decode).
    CollectionItem past =
        trackAt(dir.write("past.mp3", std::string("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10) + std::string(2000, '\0')));
    EXPECT_TRUE(ReadTrackInfo(past, cp(1252)));
    EXPECT_EQ(past.Bitrate, 24);
    EXPECT_EQ(past.Frequency, 11025); // "ID" has both version bits clear: MPEG-2.5
}

TEST(ReadTrackInfo, XingAndVbriFrameCounts)
{
    TempDir dir;
    // MPEG-1 Layer III stereo: the Xing header follows 32 bytes of side info.
    std::string frame = fakeTrack("\xFF\xFB\x90\x44", 417);
    frame.replace(36, 16,
                  std::string("Xing\x00\x00\x00\x03\x00\x00\x03\xE8\x00\x03\x0D\x40", 16)); // 1000 frames, 200000 bytes
    CollectionItem xing = trackAt(dir.write("xing.mp3", frame + std::string(200'000, '\0')));
    EXPECT_TRUE(ReadTrackInfo(xing, cp(1252)));
    EXPECT_EQ(xing.Duration, 26); // 1000 x 1152 / 44100 = 26.12
    EXPECT_EQ(xing.Bitrate, 61);  // (200000 - 417) bytes over 26.12 s
    // Behind an ID3v2 tag of any size, the first read's end cutting the frame or not.
    for (const std::size_t tagSize : {1000, 3680, 4049, 4070, 4092, 4093, 9000}) {
        std::string tag = std::string("ID3\x03\x00\x00", 6);
        for (int shift = 21; shift >= 0; shift -= 7)
            tag += static_cast<char>(((tagSize - 10) >> shift) & 0x7F);
        tag += std::string(tagSize - 10, 'x');
        CollectionItem tagged = trackAt(dir.write("tagged.mp3", tag + frame + std::string(200'000, '\0')));
        EXPECT_TRUE(ReadTrackInfo(tagged, cp(1252))) << tagSize;
        EXPECT_EQ(tagged.Duration, 26) << tagSize;
        EXPECT_EQ(tagged.Bitrate, 61) << tagSize;
    }
    // VBRI at offset 36: frames 500 at 1152 samples, MPEG-1 48 kHz.
    std::string vbriFrame = fakeTrack("\xFF\xFB\x94\x44", 417);
    vbriFrame.replace(36, 18, std::string("VBRI\x00\x01\x00\x00\x00\x00\x00\x01\x86\xA0\x00\x00\x01\xF4", 18));
    CollectionItem vbri = trackAt(dir.write("vbri.mp3", vbriFrame + std::string(100'000, '\0')));
    EXPECT_TRUE(ReadTrackInfo(vbri, cp(1252)));
    EXPECT_EQ(vbri.Duration, 12); // 500 x 1152 / 48000
    // A frame count of 0 falls back to the size rule.
    std::string zero = fakeTrack("\xFF\xFB\x90\x44", 417);
    zero.replace(36, 12, std::string("Xing\x00\x00\x00\x01\x00\x00\x00\x00", 12));
    CollectionItem fallback = trackAt(dir.write("zero.mp3", zero + std::string(32'000 - 417, '\0')));
    EXPECT_TRUE(ReadTrackInfo(fallback, cp(1252)));
    EXPECT_EQ(fallback.Duration, 2);
    EXPECT_EQ(fallback.Bitrate, 128);
}

TEST(WriteTag, WritesAppendsAndOverwrites)
{
    TempDir dir;
    const std::string audio = fakeTrack("\xFF\xFB\x90\x44", 5000);
    const std::string path = dir.write("t.mp3", audio);
    CollectionItem item = trackAt(path);
    item.Name = std::string(40, 'N');
    item.Artist = "Artist";
    item.Year = "2001x";
    item.Comment = "c";
    item.Genre = 17;
    ASSERT_TRUE(WriteTag(item, cp(1252)).ok());
    std::string data = readAll(path);
    ASSERT_EQ(data.size(), audio.size() + 128);
    EXPECT_EQ(data.substr(0, audio.size()), audio);
    EXPECT_EQ(data.substr(audio.size()), id3v1(std::string(30, 'N'), "Artist", "", "2001", "c", 17));
    item.Name = "Short";
    ASSERT_TRUE(WriteTag(item, cp(1252)).ok());
    data = readAll(path);
    ASSERT_EQ(data.size(), audio.size() + 128);
    EXPECT_EQ(data.substr(0, audio.size()), audio);
    EXPECT_EQ(data.substr(audio.size(), 33), "TAGShort" + std::string(25, ' '));
}

TEST(WriteTag, OemTagsRoundTrip)
{
    TempDir dir;
    const std::string path = dir.write("t.mp3", fakeTrack("\xFF\xFB\x90\x44", 5000));
    CollectionItem item = trackAt(path);
    item.Name = "Привет, мир ╔═╗";
    item.Artist = "Ёжик";
    ASSERT_TRUE(WriteTag(item, cp(866)).ok());
    EXPECT_EQ(readAll(path).substr(5000 + 3, 5), "\x8F\xE0\xA8\xA2\xA5");
    CollectionItem back = trackAt(path);
    ASSERT_TRUE(ReadTrackInfo(back, cp(866)));
    EXPECT_EQ(back.Name, "Привет, мир ╔═╗");
    EXPECT_EQ(back.Artist, "Ёжик");
    // Characters without a counterpart are never written as "?": without ID3v2 the save is
    // refused.
    const std::string before = readAll(path);
    item.Name = "日本";
    item.Comment = "ü";
    const Result<> refused = WriteTag(item, cp(866), {}, false);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.failure().code, TagTextUnencodable);
    EXPECT_EQ(refused.error(), "The tag was not saved: its code page 866 cannot hold these characters (the title holds "
                               "日 本; the comment holds ü).");
    EXPECT_EQ(readAll(path), before);
}

TEST(WriteTag, KeepsTheTrackNumberWhenTheCommentLeavesRoom)
{
    TempDir dir;
    const std::string v11 =
        id3v1("t", "", "", "", std::string("old\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x05", 30), 2, '\0');
    const std::string path = dir.write("t.mp3", fakeTrack("\xFF\xFB\x90\x44", 5000, v11));
    CollectionItem item = trackAt(path);
    item.Comment = "new comment";
    ASSERT_TRUE(WriteTag(item, cp(1252)).ok());
    std::string block = readAll(path).substr(5000 - 128);
    EXPECT_EQ(block[125], '\0');
    EXPECT_EQ(block[126], '\x05');
    EXPECT_EQ(block.substr(97, 28), "new comment" + std::string(17, ' '));
    item.Comment = std::string(29, 'x'); // no room: the number goes
    ASSERT_TRUE(WriteTag(item, cp(1252)).ok());
    block = readAll(path).substr(5000 - 128);
    EXPECT_EQ(block.substr(97, 30), std::string(29, 'x') + " ");
}

TEST(WriteTag, ReadOnlyFileIsWrittenAndStaysReadOnly)
{
    // Run without privileges, so that the missing write permission really stands in the way.
    TempDir dir;
    const std::string path = dir.write("ro.mp3", fakeTrack("\xFF\xFB\x90\x44", 5000));
    dir.shareWithUnprivileged();
    ::chmod(path.c_str(), 0444);
    const int status = asUnprivileged([&] {
        CollectionItem item = trackAt(path);
        item.Name = "Written";
        return WriteTag(item, cp(1252)).ok() ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(modeOf(path), 0444u);
    EXPECT_EQ(readAll(path).substr(5000, 10), "TAGWritten");
}

TEST(WriteTag, FailuresLeaveTheFileAsItWas)
{
    TempDir dir;
    const std::string tagged = fakeTrack("\xFF\xFB\x90\x44", 5000, id3v1("Old"));
    const struct {
        std::string name;
        std::function<std::string()> make;
        std::string expected;
    } cases[] = {
        {"missing", [&] { return dir / "missing.mp3"; }, "failed"},
        {"short", [&] { return dir.write("short.mp3", std::string(127, 'x')); }, "failed"},
        {"directory", [&] { return dir.makeDir("d.mp3"); }, "failed"},
        {"active", [&] { return dir.write("active.mp3", tagged); }, "refused"},
    };
    for (const auto& c : cases) {
        const std::string path = c.make();
        const std::string before = readAll(path);
        const mode_t mode = modeOf(path);
        CollectionItem item = trackAt(path);
        item.Name = "New";
        const std::string result =
            outcomeOf(WriteTag(item, cp(1252), [](const std::string& p) { return p.ends_with("active.mp3"); }));
        EXPECT_EQ(result, c.expected) << c.name;
        if (result != "written") {
            EXPECT_EQ(readAll(path), before) << c.name;
            EXPECT_EQ(modeOf(path), mode) << c.name;
        }
    }
}
