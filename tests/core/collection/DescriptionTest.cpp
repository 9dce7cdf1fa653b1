#include "core/collection/CollectionItem.h"
#include "core/collection/DescriptionList.h"
#include "core/collection/DescriptionWriter.h"
#include "core/platform/CodePage.h"
#include "core/platform/Collation.h"

#include "support/Outcomes.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

const CodePage& oem() { return *CodePage::byNumber(437); }
const CodePage& ansi() { return *CodePage::byNumber(1252); }

// The descriptions that a file's lines give the entries, in the scan's order, read from a
// copy of the list that outlives the list read.
std::vector<std::string> descriptionsFor(const std::string& fileBytes, const std::vector<std::string>& names)
{
    TempDir dir;
    DescriptionList list;
    {
        const DescriptionList read = DescriptionList::ReadDescriptions(dir.write("files.bbs", fileBytes), oem());
        list = read;
    }
    const std::vector<int> taken = list.assign(names);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < names.size(); ++i)
        out.emplace_back(taken[i] < 0 ? "<none>"
                                      : DescriptionList::descriptionOf(list.lines()[taken[i]].text, names[i]));
    return out;
}

class DescriptionWriterTest : public ::testing::Test {
protected:
    std::string write(const std::string& entry, const std::string& description,
                      const std::string& fileName = "files.bbs")
    {
        CollectionItem item;
        item.Path = dir.path() + entry;
        item.Description = description;
        return test::errorOf(WriteDescription(item, DescriptionFormat{fileName, oem(), ansi(), collation, dir.path()}));
    }
    TempDir dir;
    Collation collation{"C", &ansi()};
};

} // namespace

TEST(DescriptionList, MatchingRules)
{
    const struct {
        std::string file;
        std::vector<std::string> names;
        std::vector<std::string> expected;
    } cases[] = {
        {"Song.mp3   My song\r\n", {"Song.mp3"}, {"My song"}},
        {"\"Song.mp3\"   My song\r\n", {"Song.mp3"}, {"My song"}},
        {"SONG.MP3 My song\r\n", {"Song.mp3"}, {"My song"}},
        {"   Song.mp3 \t\t  My song  \t\r\n", {"Song.mp3"}, {"My song"}},
        {"Song.mp3\r\n", {"Song.mp3"}, {""}},
        {"Other.mp3 x\r\n", {"Song.mp3"}, {"<none>"}},
        // The whole name wins over a prefix, in either order of the lines.
        {"Live.mp3 the track\r\nLive the directory\r\n", {"Live", "Live.mp3"}, {"the directory", "the track"}},
        {"Live the directory\r\nLive.mp3 the track\r\n", {"Live", "Live.mp3"}, {"the directory", "the track"}},
        {"Live.mp3 the track\r\n", {"Live", "Live.mp3"}, {"<none>", "the track"}},
        // A line that only begins with the name still serves it when nothing else does.
        {"Liveliness x\r\n", {"Live"}, {"liness x"}},
        // Letters beyond A-Z must match exactly.
        {"\x8E\x84\xA0 caf\x82\r\n", {"Ääá"}, {"café"}},
        {"\x8E\x84\xA0 x\r\n", {"ääá"}, {"<none>"}},
        // UTF-8 after its byte-order mark.
        {"\xEF\xBB\xBF"
         "Café.mp3 Ωmega\r\nb.mp3 plain\r\n",
         {"Café.mp3", "b.mp3"},
         {"Ωmega", "plain"}},
        // Two lines for one entry: the first wins; each line serves one entry.
        {"a.mp3 first\r\na.mp3 second\r\n", {"a.mp3"}, {"first"}},
        // Lines end at CR LF, lone CR or LF; a NUL ends the text.
        {"a.mp3 one\rb.mp3 two\nc.mp3 three", {"a.mp3", "b.mp3", "c.mp3"}, {"one", "two", "three"}},
        {std::string("a.mp3 one\r\nb.mp3 t\0wo\r\nc.mp3 three\r\n", 35),
         {"a.mp3", "b.mp3", "c.mp3"},
         {"one", "t", "<none>"}},
        // Whole names longer than 63 characters match as a whole.
        {std::string(70, 'n') + ".mp3 long one\r\n", {std::string(70, 'n') + ".mp3"}, {"long one"}},
        {"My Song.mp3 spaced\r\n", {"My Song.mp3"}, {"spaced"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(descriptionsFor(c.file, c.names), c.expected) << c.file;
}

TEST(DescriptionList, CreateEntryTakesTheDescription)
{
    const CollectionItem described = CreateEntry("/m/", "Song.mp3", ansi(), std::string(300, 'd'));
    EXPECT_EQ(described.Path, "/m/Song.mp3");
    EXPECT_EQ(described.Description, std::string(255, 'd'));
    EXPECT_EQ(described.Name, std::string(63, 'd'));
    EXPECT_EQ(described.Genre, 255);
    // A matched line with an empty description leaves the name.
    EXPECT_EQ(CreateEntry("/m/", "Song.mp3", ansi(), std::string()).Name, "Song.mp3");
    EXPECT_EQ(CreateEntry("/m/", std::string(70, 'x'), ansi(), std::nullopt).Name, std::string(63, 'x'));
    EXPECT_EQ(CreateEntry("/m/", std::string(70, 'x'), ansi(), std::nullopt).Path, "/m/" + std::string(70, 'x'));
    EXPECT_EQ(CreateEntry("/m/", "caf\xE9.mp3", ansi(), std::nullopt).Name, "café.mp3");
}

TEST_F(DescriptionWriterTest, LinesAsWritten)
{
    const std::string box = "\xC9\xCD\xCD\xBB header \xB0\xB1\xB2";
    const struct {
        std::string before;
        std::vector<std::string> entries; // files created in the directory
        std::string entry;
        std::string description;
        std::string after;
    } cases[] = {
        {"", {"abcdefghij.mp3"}, "abcdefghij.mp3", "Fourteen", "abcdefghij.mp3  Fourteen\r\n"},
        {"", {"abcdefghijklmnop.mp3"}, "abcdefghijklmnop.mp3", "Twenty", "abcdefghijklmnop.mp3 Twenty\r\n"},
        {"", {"My Song.mp3"}, "My Song.mp3", "Spaced", "\"My Song.mp3\"   Spaced\r\n"},
        {"a.mp3 old\r\n", {"a.mp3"}, "a.mp3", "", "a.mp3           \r\n"},
        {box + "\r\na.mp3 old\r\n" + box + "\r\n",
         {"a.mp3"},
         "a.mp3",
         "new",
         box + "\r\na.mp3           new\r\n" + box + "\r\n"},
        {"x.mp3 keep\r\n\x1A", {"a.mp3"}, "a.mp3", "new", "x.mp3 keep\r\na.mp3           new\r\n\x1A\r\n"},
        {"a.mp3 first\r\na.mp3 second\r\n", {"a.mp3"}, "a.mp3", "new", "a.mp3           new\r\na.mp3 second\r\n"},
        {"one\ntwo\rthree", {"a.mp3"}, "a.mp3", "d", "one\r\ntwo\r\nthree\r\na.mp3           d\r\n"},
        {"Live.mp3 the track\r\n",
         {"Live/", "Live.mp3"},
         "Live",
         "dir",
         "Live.mp3 the track\r\nLive            dir\r\n"},
        {"Live.mp3 the track\r\n", {"Live/", "Live.mp3"}, "Live.mp3", "t", "Live.mp3        t\r\n"},
        // A line that only begins with the name belongs to a longer one: it stays.
        {"Live.txt  Notes\r\n", {"Live/"}, "Live", "dir", "Live.txt  Notes\r\nLive            dir\r\n"},
        {"", {"a.mp3"}, "a.mp3", "Café ╔", "a.mp3           Caf\x82 \xC9\r\n"},
        // A UTF-8 file takes UTF-8 lines, names and descriptions beyond the OEM page included.
        {"Привет.mp3 старое\r\n", {"Привет.mp3"}, "Привет.mp3", "Новое", "Привет.mp3 Новое\r\n"},
        {"\xEF\xBB\xBF"
         "a.mp3 x\r\n",
         {"a.mp3", "日本.mp3"},
         "日本.mp3",
         "歌",
         "\xEF\xBB\xBF"
         "a.mp3 x\r\n日本.mp3      歌\r\n"},
        // Quoted when a blank or another control character is in the name, or it begins with a quote.
        {"", {"a\"b.mp3"}, "a\"b.mp3", "d", "a\"b.mp3         d\r\n"},
        {"", {"\"q.mp3"}, "\"q.mp3", "d", "\"\"q.mp3\"        d\r\n"},
        {"", {"t\tab.mp3"}, "t\tab.mp3", "d", "\"t\tab.mp3\"      d\r\n"},
        {"", {"say \"hi\".mp3"}, "say \"hi\".mp3", "d", "\"say \"hi\".mp3\"  d\r\n"},
        {"", {"a.mp3"}, "a.mp3", "two\r\nlines", "a.mp3           two  lines\r\n"},
        // A new file whose first text the OEM code page cannot hold is UTF-8.
        {"", {"a.mp3"}, "a.mp3", "Кино", "a.mp3           Кино\r\n"},
        {"", {"Álbum.mp3"}, "Álbum.mp3", "d", "Álbum.mp3      d\r\n"}, // 15 bytes, not characters
        {"", {"b.mp3"}, "b.mp3", "日本の歌", "b.mp3           日本の歌\r\n"},
    };
    for (const auto& c : cases) {
        TempDir d;
        for (const std::string& e : c.entries) {
            if (e.ends_with("/"))
                d.makeDir(e);
            else
                d.write(e, "x");
        }
        if (!c.before.empty())
            d.write("files.bbs", c.before);
        CollectionItem item;
        item.Path = d.path() + c.entry;
        item.Description = c.description;
        EXPECT_EQ(test::errorOf(WriteDescription(item, DescriptionFormat{"files.bbs", oem(), ansi(), collation, "/"})),
                  "")
            << c.entry;
        EXPECT_EQ(readAll(d / "files.bbs"), c.after) << c.entry;
    }
}

TEST_F(DescriptionWriterTest, RewritesTheFileFoundIgnoringCaseAndKeepsItsMode)
{
    dir.write("a.mp3", "x");
    const std::string upper = dir.write("FILES.BBS", "a.mp3 old\r\n");
    ::chmod(upper.c_str(), 0640);
    ASSERT_EQ(write("a.mp3", "new"), "");
    EXPECT_EQ(readAll(upper), "a.mp3           new\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "files.bbs"));
    EXPECT_EQ(std::filesystem::status(upper).permissions(), std::filesystem::perms(0640));
}

TEST_F(DescriptionWriterTest, WritesThroughASymbolicLink)
{
    const std::string target = dir.write("store/real.bbs", "keep\r\n");
    std::filesystem::create_symlink(target, dir / "files.bbs");
    ASSERT_EQ(write("a.mp3", "d"), "");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "files.bbs"));
    EXPECT_EQ(readAll(target), "keep\r\na.mp3           d\r\n");
}

TEST_F(DescriptionWriterTest, NothingIsWrittenOutsideTheCollection)
{
    TempDir outside;
    const std::string foreign = outside.write("foreign.bbs", "theirs\n");
    const std::string message = "Error while saving file " + dir.path();
    dir.write("in/a.mp3", "x");
    std::filesystem::create_symlink(foreign, dir / "in/files.bbs");
    EXPECT_EQ(write("in/a.mp3", "d"), message + "in/files.bbs: it is a link to a file outside the collection");
    dir.write("gone/a.mp3", "x");
    std::filesystem::create_symlink(dir / "gone/missing.bbs", dir / "gone/files.bbs");
    EXPECT_EQ(write("gone/a.mp3", "d"), message + "gone/files.bbs: it is a link to a file that does not exist");
    EXPECT_EQ(readAll(foreign), "theirs\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "gone/missing.bbs"));
    // Neither the root nor a path outside it has a line to describe it.
    const DescriptionFormat format{"files.bbs", oem(), ansi(), collation, dir / "in/"};
    for (const std::string& path : {dir / "in", dir / "in/", dir / "a.mp3", outside / "b.mp3"}) {
        CollectionItem item;
        item.Path = path;
        EXPECT_EQ(test::errorOf(WriteDescription(item, format)),
                  "Not in the collection " + dir.path() + "in/: " + path);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "files.bbs"));
}

TEST_F(DescriptionWriterTest, KeepsAOneMegabyteLineByteForByte)
{
    const std::string huge(1 << 20, 'z');
    dir.write("files.bbs", huge + "\r\n");
    ASSERT_EQ(write("a.mp3", "d"), "");
    EXPECT_EQ(readAll(dir / "files.bbs"), huge + "\r\na.mp3           d\r\n");
}

TEST_F(DescriptionWriterTest, FailuresLeaveTheFileUntouched)
{
    const std::string message = "Error while saving file " + dir.path() + "files.bbs";
    const std::string withNul = std::string("a.mp3 one\r\n\0\0junk\r\n", 19);
    const std::string bbs = dir.write("files.bbs", withNul);
    EXPECT_EQ(write("a.mp3", "new"), message);
    EXPECT_EQ(readAll(bbs), withNul);

    dir.write("files.bbs", "ok\r\n");
    EXPECT_EQ(write("日本.mp3", "name without a code-page counterpart"),
              message + ": its code page 437 cannot hold these characters of the name: 日 本");
    EXPECT_EQ(write(" lead.mp3", "a name that trimming changes"),
              message + ": a name that begins or ends with a blank cannot be found again in it");
    EXPECT_EQ(write("a.mp3", "日本 text"),
              "The description was not saved: code page 437 cannot hold these characters of it: 日 本");
    EXPECT_EQ(readAll(bbs), "ok\r\n");

    TempDir other;
    other.makeDir("files.bbs");
    CollectionItem item;
    item.Path = other.path() + "a.mp3";
    EXPECT_EQ(test::errorOf(WriteDescription(item, DescriptionFormat{"files.bbs", oem(), ansi(), collation, "/"})),
              "Error while saving file " + other.path() + "files.bbs");
}

TEST_F(DescriptionWriterTest, PermissionFailuresLeaveTheFileUntouched)
{
    const std::string unreadable = dir.write("closed/files.bbs", "a.mp3 secret\r\n");
    const std::string locked = dir.write("locked/files.bbs", "a.mp3 old\r\n");
    dir.shareWithUnprivileged();
    ::chmod(unreadable.c_str(), 0200);
    ::chmod((dir / "locked").c_str(), 0555);
    const int status = asUnprivileged([&] {
        CollectionItem a;
        a.Path = dir.path() + "closed/a.mp3";
        a.Description = "new";
        CollectionItem b;
        b.Path = dir.path() + "locked/a.mp3";
        b.Description = "new";
        const DescriptionFormat format{"files.bbs", oem(), ansi(), collation, dir.path()};
        const bool first =
            test::errorOf(WriteDescription(a, format)) == "Error while saving file " + dir.path() + "closed/files.bbs";
        const bool second =
            test::errorOf(WriteDescription(b, format)) == "Error while saving file " + dir.path() + "locked/files.bbs";
        return first && second ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    ::chmod(unreadable.c_str(), 0600);
    EXPECT_EQ(readAll(unreadable), "a.mp3 secret\r\n");
    EXPECT_EQ(readAll(locked), "a.mp3 old\r\n");
    EXPECT_EQ(std::filesystem::directory_iterator(dir / "locked")->path().filename(), "files.bbs");
}
