// The one tag save, checked with mutagen as the independent reader: only what a save sets
// changes, the ID3v1 block never keeps a stale value and is never invented, and a save
// that would separate hard links or change a file's owner is refused.

#include "core/info/TagWriter.h"

#include "core/collection/Journal.h"
#include "core/platform/CodePage.h"

#include "support/Mp3Fixture.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

const CodePage& ansi() { return *CodePage::byNumber(1252); }

// Two seconds of tone encoded by lame, without tags.
std::string encode(const TempDir& dir, const std::string& name)
{
    const std::string wav = dir.write(name + ".wav", sineWav(440, 2));
    if (runProcess("/usr/bin/lame", {"--quiet", "-b", "128", wav, dir / name}).status != 0)
        throw std::runtime_error("lame failed");
    return dir / name;
}

void mid3v2(const std::vector<std::string>& args)
{
    if (const ProcessResult r = runProcess("/usr/bin/mid3v2", args); r.status != 0)
        throw std::runtime_error("mid3v2: " + r.err);
}

// Every ID3v2 frame as mutagen reads it, as stored (not made ID3v2.4), one line each, in a
// stable order.
std::string frames(const std::string& path)
{
    return runProcess("/usr/bin/python3", {"-c",
                                           "import sys, mutagen.id3 as m\n"
                                           "try: t = m.ID3(sys.argv[1], translate=False)\n"
                                           "except m.ID3NoHeaderError: sys.exit(0)\n"
                                           "for k in sorted(t.keys()): print(k, repr(t[k]))",
                                           path})
        .out;
}

std::string withoutLines(std::string text, const std::vector<std::string>& prefixes)
{
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        if (std::none_of(prefixes.begin(), prefixes.end(), [&](const std::string& p) { return line.starts_with(p); }))
            out += line + "\n";
        at = end + 1;
    }
    return out;
}

std::string lastBytes(const std::string& path, std::size_t n)
{
    const std::string data = readAll(path);
    return data.substr(data.size() - std::min(n, data.size()));
}

Result<> save(const std::string& path, const TagChange& change, Journal* journal = nullptr)
{
    TagWriteOptions options(ansi());
    options.journal = journal;
    return TagWriter::save(path, change, options);
}

TagChange title(const std::string& value)
{
    TagChange change;
    change.title = value;
    return change;
}

} // namespace

TEST(TagWriter, OnlyWhatIsSetChangesAndNoBlockIsInvented)
{
    TempDir dir;
    const std::string cover = dir.write("c.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(900, 'p'));
    const std::string file = encode(dir, "mid3v2.mp3");
    mid3v2({"-t", "Old title", "-a", "Artist", "-A", "Album", "-y", "1999", "-g", "Jazz", "-c", "A comment", "-T",
            "3/9", "-p", cover + ":Cover:3:image/png", file});
    const std::string before = frames(file);
    const std::string audioBefore = runProcess("/usr/bin/mpg123", {"-q", "-s", file}).out;
    ASSERT_NE(before.find("TPE1"), std::string::npos) << before;
    ASSERT_TRUE(save(file, title("New title")).ok());
    const std::string after = frames(file);
    EXPECT_EQ(withoutLines(after, {"TIT2"}), withoutLines(before, {"TIT2"}));
    EXPECT_NE(after.find("TIT2 TIT2(encoding=<Encoding.UTF8: 3>, text=['New title'])"), std::string::npos) << after;
    EXPECT_NE(lastBytes(file, 128).substr(0, 3), "TAG"); // no ID3v1 block where there was none
    EXPECT_EQ(runProcess("/usr/bin/mpg123", {"-q", "-s", file}).out, audioBefore);

    // A long ID3v2 title beside an ID3v1 block: a new year cuts nothing and takes nothing
    // from the block; the block gets the year.
    const std::string both = encode(dir, "both.mp3");
    mid3v2({"-t", std::string(50, 'T'), "-a", "Long artist of the ID3v2 tag", both});
    ASSERT_EQ(runProcess("/usr/bin/id3v2", {"-1", "-a", "v1 artist", both}).status, 0); // the block alone
    std::string data = readAll(both);
    ASSERT_EQ(data.substr(data.size() - 128, 3), "TAG");
    TagChange year;
    year.year = "2000";
    ASSERT_TRUE(save(both, year).ok());
    const std::string v2 = frames(both);
    EXPECT_NE(v2.find("text=['" + std::string(50, 'T') + "']"), std::string::npos) << v2;
    EXPECT_NE(v2.find("'Long artist of the ID3v2 tag'"), std::string::npos) << v2;
    EXPECT_NE(v2.find("TDRC"), std::string::npos) << v2;
    data = readAll(both);
    EXPECT_EQ(data.substr(data.size() - 128 + 93, 4), "2000");
    EXPECT_EQ(data.substr(data.size() - 128 + 33, 9), "v1 artist");
}

TEST(TagWriter, TheBlockNeverKeepsAStaleValue)
{
    TempDir dir;
    const std::string audio = fakeTrack("\xFF\xFB\x90\x44", 20000);
    // An ID3v1-only file: a Latin title goes into the block alone; a Cyrillic one makes an
    // ID3v2.4 tag that keeps what the block held, and the block loses its old title.
    const std::string file = dir.write("v1.mp3", audio + id3v1("Old", "Artist", "Album", "1987"));
    ASSERT_TRUE(save(file, title("Latin title")).ok());
    EXPECT_EQ(readAll(file).size(), audio.size() + 128);
    EXPECT_EQ(lastBytes(file, 128).substr(3, 11), "Latin title");
    ASSERT_TRUE(save(file, title("Заголовок")).ok());
    const std::string v2 = frames(file);
    EXPECT_NE(v2.find("'Заголовок'"), std::string::npos) << v2;
    EXPECT_NE(v2.find("TPE1 TPE1(encoding=<Encoding.UTF8: 3>, text=['Artist'])"), std::string::npos) << v2;
    EXPECT_NE(v2.find("TALB"), std::string::npos) << v2;
    EXPECT_NE(v2.find("'1987'"), std::string::npos) << v2;
    EXPECT_EQ(lastBytes(file, 128).substr(3, 30), std::string(30, ' '));
    EXPECT_EQ(lastBytes(file, 128).substr(33, 6), "Artist");
    // A title the block can hold comes back into it.
    ASSERT_TRUE(save(file, title("Back")).ok());
    EXPECT_EQ(lastBytes(file, 128).substr(3, 4), "Back");
    // Nothing set: nothing written.
    const std::string now = readAll(file);
    ASSERT_TRUE(save(file, TagChange{}).ok());
    EXPECT_EQ(readAll(file), now);
}

TEST(TagWriter, HardLinksAndOwnersAreKeptOrTheSaveIsRefused)
{
    TempDir dir;
    const std::string file = encode(dir, "linked.mp3");
    mid3v2({"-t", "Old", file});
    const std::string other = dir / "other name.mp3";
    ASSERT_EQ(::link(file.c_str(), other.c_str()), 0);
    // A new title that fits the tag's space is written in place: both names see it.
    ASSERT_TRUE(save(file, title("New")).ok());
    EXPECT_EQ(readAll(file), readAll(other));
    EXPECT_NE(frames(other).find("'New'"), std::string::npos);
    // One that needs a larger tag would separate the names: refused, nothing written.
    const std::string before = readAll(file);
    const Result<> refused = save(file, title(std::string(5000, 'x')));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.failure().code, TagSaveRefused);
    EXPECT_NE(refused.error().find("it has 2 names"), std::string::npos) << refused.error();
    EXPECT_EQ(readAll(file), before);
    if (::geteuid() != 0)
        GTEST_SKIP() << "the owners part needs root";
    // A track of root in a folder everybody may write: another user may edit it in place,
    // and the owner stays; a rewrite would make it theirs, so it is refused.
    TempDir shared;
    const std::string track = encode(shared, "roots.mp3");
    mid3v2({"-t", "Old", track});
    shared.shareWithUnprivileged();
    ASSERT_EQ(::chown(track.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(track.c_str(), 0666), 0);
    const int status = asUnprivileged([&] {
        if (!save(track, title("In place")).ok())
            return 1;
        const Result<> grown = save(track, title(std::string(5000, 'y')));
        if (grown || grown.error().find("it belongs to user root") == std::string::npos)
            return 2;
        return 0;
    });
    EXPECT_EQ(status, 0);
    struct stat st {};
    ASSERT_EQ(::stat(track.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_NE(frames(track).find("'In place'"), std::string::npos);
    // Root's own rewrite gives the copy the owner the file had.
    ASSERT_EQ(::chown(track.c_str(), unprivilegedUid(), 0), 0);
    ASSERT_TRUE(save(track, title(std::string(5000, 'z'))).ok());
    ASSERT_EQ(::stat(track.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, unprivilegedUid());
}

TEST(TagWriter, FramesOfAnOlderVersionStayAsTheyWere)
{
    TempDir dir;
    const std::string file = encode(dir, "v23.mp3");
    // An ID3v2.3 tag with frames 2.4 no longer has (TDAT, RVAD) and a picture.
    ASSERT_EQ(runProcess("/usr/bin/python3",
                         {"-c",
                          "import sys, mutagen.id3 as m\n"
                          "t = m.ID3()\n"
                          "t.add(m.TIT2(encoding=1, text='Old'))\n"
                          "t.add(m.TYER(encoding=0, text='1977'))\n"
                          "t.add(m.TDAT(encoding=0, text='0412'))\n"
                          "t.add(m.RVAD(adjustments=[10, -10], peaks=[1000, 2000]))\n"
                          "t.add(m.APIC(encoding=0, mime='image/png', type=3, desc='', data=b'x' * 3000))\n"
                          "t.save(sys.argv[1], v2_version=3)",
                          file})
                  .status,
              0);
    const std::string before = frames(file);
    ASSERT_NE(before.find("RVAD"), std::string::npos) << before;
    TagChange change = title("Новое");
    change.artist = "Someone";
    ASSERT_TRUE(save(file, change).ok());
    const std::string after = frames(file);
    EXPECT_EQ(withoutLines(after, {"TIT2", "TPE1"}), withoutLines(before, {"TIT2", "TPE1"}));
    EXPECT_NE(after.find("TIT2 TIT2(encoding=<Encoding.UTF16: 1>, text=['Новое'])"), std::string::npos) << after;
    EXPECT_EQ(
        runProcess("/usr/bin/python3", {"-c", "import sys, mutagen.id3 as m; print(m.ID3(sys.argv[1]).version)", file})
            .out,
        "(2, 3, 0)\n");
}

TEST(TagWriter, AnUndoPutsBackEveryByte)
{
    TempDir dir;
    Journal journal(dir / "state/journal.sqlite");
    const std::string file = encode(dir, "undo.mp3");
    mid3v2({"-t", "Old", "-a", "Artist", file});
    const std::string original = readAll(file);
    ASSERT_TRUE(save(file, title("Grown " + std::string(4000, 'g')), &journal).ok()); // a rewrite
    const std::string grown = readAll(file);
    ASSERT_TRUE(save(file, title("In place"), &journal).ok());
    const Result<std::vector<JournalEntry>> saves = journal.list(10);
    ASSERT_TRUE(saves.ok());
    ASSERT_EQ(saves.value().size(), 2u);
    ASSERT_TRUE(journal.undo(saves.value()[0].number).ok());
    EXPECT_EQ(readAll(file), grown);
    ASSERT_TRUE(journal.undo(saves.value()[1].number).ok());
    EXPECT_EQ(readAll(file), original);
}

TEST(TagWriter, TheFieldsOfModernTagsAreReadByOthers)
{
    TempDir dir;
    const std::string png = std::string("\x89PNG\r\n\x1A\n", 8) + std::string(300, 'p');
    const std::string jpeg = "\xFF\xD8\xFF\xE0" + std::string(200, 'j');
    const auto cover = [](const std::string& bytes) {
        return TagChange::Cover{TagChange::Cover::mimeTypeOf(bytes), bytes};
    };
    struct Case {
        const char* name;
        std::function<void(TagChange&)> set;
        std::vector<std::string> present; // lines of frames() that must be there
        std::vector<std::string> absent;  // frame ids that must not be
        std::vector<std::string> ffprobe; // tags another reader names so
    };
    const std::vector<Case> cases = {
        {"album artist",
         [](TagChange& c) { c.albumArtist = "Various Ärtists"; },
         {"TPE2 TPE2(encoding=<Encoding.UTF8: 3>, text=['Various Ärtists'])"},
         {},
         {"TAG:album_artist=Various Ärtists"}},
        {"track of a total",
         [](TagChange& c) {
             c.track = TagChange::Number{3, 12};
         },
         {"TRCK TRCK(encoding=<Encoding.UTF8: 3>, text=['3/12'])"},
         {},
         {"TAG:track=3/12"}},
        {"disc",
         [](TagChange& c) {
             c.disc = TagChange::Number{2, 0};
         },
         {"TPOS TPOS(encoding=<Encoding.UTF8: 3>, text=['2'])"},
         {},
         {"TAG:disc=2"}},
        {"a genre the table does not hold",
         [](TagChange& c) {
             c.genre = TagChange::Genre{255, "J-Pop"};
         },
         {"TCON TCON(encoding=<Encoding.UTF8: 3>, text=['J-Pop'])"},
         {},
         {"TAG:genre=J-Pop"}},
        {"a cover",
         [&](TagChange& c) { c.cover = cover(png); },
         {"APIC:", "mime='image/png', type=<PictureType.COVER_FRONT: 3>"},
         {},
         {}},
        {"another cover", [&](TagChange& c) { c.cover = cover(jpeg); }, {"mime='image/jpeg'"}, {"image/png"}, {}},
        {"no cover", [](TagChange& c) { c.cover = TagChange::Cover{}; }, {}, {"APIC"}, {}},
        {"no track", [](TagChange& c) { c.track = TagChange::Number{}; }, {}, {"TRCK"}, {}},
    };
    // One file through all the cases, each save on top of the last (an ID3v2.4 tag is made
    // by the first, as the file has none).
    const std::string file = encode(dir, "modern.mp3");
    const std::string pcm = runProcess("/usr/bin/mpg123", {"-q", "-s", file}).out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TagChange change;
        c.set(change);
        ASSERT_TRUE(save(file, change).ok());
        const std::string seen = frames(file);
        for (const std::string& line : c.present)
            EXPECT_NE(seen.find(line), std::string::npos) << seen;
        for (const std::string& id : c.absent)
            EXPECT_EQ(seen.find(id), std::string::npos) << seen;
        const std::string probe =
            runProcess("/usr/bin/ffprobe", {"-v", "quiet", "-show_entries", "format_tags", file}).out;
        for (const std::string& tag : c.ffprobe)
            EXPECT_NE(probe.find(tag), std::string::npos) << probe;
    }
    EXPECT_EQ(runProcess("/usr/bin/mpg123", {"-q", "-s", file}).out, pcm); // the audio as it was
    // Numbers are "n" or "n/m".
    for (const char* bad : {"0", "x", "3/", "/4", "1/2/3", "-1", "1000000"})
        EXPECT_FALSE(TagChange::Number::parse(bad)) << bad;
    EXPECT_EQ(TagChange::Number::parse(" 7/9 ")->text(), "7/9");
}

TEST(TagWriter, EverySaveIsUndoneByteForByte)
{
    TempDir dir;
    Journal journal(dir / "state/journal.sqlite");
    const std::string file = encode(dir, "t.mp3");
    dir.write("t.mp3", readAll(file) + std::string("TAG") + std::string(125, '\0')); // an ID3v1 block too
    const std::string original = readAll(file);
    std::vector<std::string> states{original};
    TagChange cover;
    cover.cover = TagChange::Cover{"image/png", std::string("\x89PNG\r\n\x1A\n", 8) + std::string(5000, 'c')};
    TagChange fields;
    fields.track = TagChange::Number{4, 0};
    fields.albumArtist = "Someone";
    TagChange noCover;
    noCover.cover = TagChange::Cover{};
    for (const TagChange* change : {&cover, &fields, &noCover}) {
        ASSERT_TRUE(save(file, *change, &journal).ok());
        states.push_back(readAll(file));
    }
    // Undone newest first, each gives back the file as it was before that save.
    const std::vector<JournalEntry> saves = journal.list(10).value();
    ASSERT_EQ(saves.size(), 3u);
    for (std::size_t i = 0; i < saves.size(); ++i) {
        EXPECT_EQ(journal.lastOf("").value(), saves[i].number) << i; // what Ctrl+Z undoes
        ASSERT_TRUE(journal.undo(saves[i].number).ok()) << i;
        EXPECT_TRUE(readAll(file) == states[states.size() - 2 - i]) << i;
    }
    EXPECT_EQ(journal.lastOf("").value(), 0);
    // Redo is the undo of an undo, and is then what the next undo takes back.
    const std::int64_t redo = journal.undo(journal.list(1).value()[0].number).value();
    EXPECT_TRUE(readAll(file) == states[1]);
    EXPECT_EQ(journal.lastOf("").value(), redo);
    // A file changed since is refused, and stays as it is.
    ASSERT_TRUE(save(file, title("Mine"), &journal).ok());
    const std::int64_t mine = journal.list(1).value()[0].number;
    mid3v2({"-a", "Someone else", file});
    const std::string changed = readAll(file);
    const Result<std::int64_t> refused = journal.undo(mine);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().find("changed since save " + std::to_string(mine)), std::string::npos);
    EXPECT_EQ(readAll(file), changed);
}

TEST(Journal, ASaveKilledOnTheWayIsPutBackAndTheBoundsHold)
{
    TempDir dir;
    Journal journal(dir / "journal.sqlite", JournalBounds{3, 1000});
    const std::string file = dir.write("f.bin", std::string(100, 'a'));
    // Recorded, then killed half way through writing its new bytes in place.
    const Result<std::int64_t> killed =
        journal.record("tag", "/", {{file, 10, std::string(20, 'a'), std::string(20, 'b')}});
    ASSERT_TRUE(killed.ok());
    dir.write("f.bin", std::string(10, 'a') + std::string(8, 'b') + std::string(82, 'a'));
    EXPECT_FALSE(journal.list(1).value()[0].written);
    ASSERT_TRUE(journal.undo(killed.value()).ok());
    EXPECT_EQ(readAll(file), std::string(100, 'a'));
    // Killed before it wrote anything: nothing to put back, and the undo says it is done.
    const Result<std::int64_t> early = journal.record("tag", "/", {{file, 0, std::string(5, 'a'), "zzzzz"}});
    ASSERT_TRUE(journal.undo(early.value()).ok());
    EXPECT_EQ(readAll(file), std::string(100, 'a'));
    // The last three saves, and at most 1000 bytes of old ones, are kept.
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(journal.record("tag", "/", {{file, 0, std::string(100, 'a'), std::string(100, 'c')}}).ok());
    EXPECT_EQ(journal.list(10).value().size(), 3u);
    ASSERT_TRUE(journal.record("tag", "/", {{file, 0, std::string(999, 'a'), std::string(999, 'd')}}).ok());
    EXPECT_EQ(journal.list(10).value().size(), 1u);
}
