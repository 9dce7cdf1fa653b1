#include "core/info/CodePageRepair.h"

#include "core/platform/CodePage.h"

#include "support/Mp3Fixture.h"
#include "support/Outcomes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

// `utf8` in the code page ICU knows as `page`.
std::string encoded(const std::string& utf8, const char* page)
{
    UErrorCode status = U_ZERO_ERROR;
    char out[256];
    const int32_t n =
        ucnv_convert(page, "UTF-8", out, sizeof out, utf8.data(), static_cast<int32_t>(utf8.size()), &status);
    EXPECT_TRUE(U_SUCCESS(status)) << page;
    return std::string(out, static_cast<std::size_t>(std::max(n, 0)));
}

// An ID3v2.3 tag whose TIT2 frame is UTF-16 holding the single bytes `bytes` (as a tagger
// that took them for ISO-8859-1 writes them), before an MPEG frame.
std::string utf16Track(const std::string& bytes)
{
    std::string body = "\x01\xFF\xFE";
    for (const char c : bytes)
        body += std::string{c, '\0'};
    const std::string frame = "TIT2" + std::string{'\0', '\0', '\0', static_cast<char>(body.size()), '\0', '\0'} + body;
    const std::string tag =
        "ID3\x03" + std::string{'\0', '\0', '\0', '\0', '\0', static_cast<char>(frame.size())} + frame;
    return tag + fakeTrack("\xFF\xFB\x90\x44", 4000);
}

struct Folder {
    const char* name;
    const char* page; // the texts' code page
    std::vector<std::string> titles;
    std::string artist;
};

} // namespace

TEST(CodePageRepair, EachFolderGetsTheCodePageItWasWrittenIn)
{
    const Folder folders[] = {
        {"cyrillic-1251", "windows-1251", {"Песня о тревоге", "Группа крови", "Кукушка"}, "Кино"},
        {"cyrillic-koi8", "KOI8-R", {"Песня о тревоге", "Группа крови", "Кукушка"}, "Кино"},
        {"cyrillic-866", "IBM866", {"Песня о тревоге", "Группа крови", "Кукушка"}, "Кино"},
        {"mixed", "windows-1251", {"Intro", "Звезда по имени Солнце", "Live in Moscow"}, "Кино"},
        {"greek", "ISO-8859-7", {"Τα παιδιά του Πειραιά", "Ένα το χελιδόνι"}, "Μάνος Χατζιδάκις"},
        {"central", "windows-1250", {"Příliš žluťoučký kůň", "Úpěl ďábelské ódy", "Řeka"}, "Karel Gott"},
        {"japanese", "Shift_JIS", {"さくらさくら", "東京の夜", "夢の中へ"}, "井上陽水"},
        {"chinese", "GB18030", {"月亮代表我的心", "甜蜜蜜", "我只在乎你"}, "邓丽君"},
    };
    TempDir dir;
    const CodePageRepair::Settings settings{*CodePage::byNumber(1252), *CodePage::byNumber(437)};
    for (const Folder& f : folders) {
        SCOPED_TRACE(f.name);
        dir.makeDir(f.name);
        for (std::size_t i = 0; i < f.titles.size(); ++i)
            dir.write(
                std::string(f.name) + "/" + std::to_string(i) + ".mp3",
                fakeTrack("\xFF\xFB\x90\x44", 4000, id3v1(encoded(f.titles[i], f.page), encoded(f.artist, f.page))));
        const std::string folder = dir / f.name;
        const std::optional<RepairProposal> p =
            CodePageRepair::propose(folder, CodePageRepair::suspects(folder, settings));
        ASSERT_TRUE(p.has_value());
        // Greek in ISO-8859-7 and in 1253 are the same letters: what counts is the text.
        for (const RepairField& field : p->fields) {
            const bool title = field.name == "ID3v1 title";
            const std::string& expected =
                title ? f.titles[std::stoul(field.path.substr(field.path.rfind('/') + 1))] : f.artist;
            EXPECT_EQ(field.repaired, expected) << field.name << " " << field.shown;
        }
        EXPECT_GT(p->confidence, 0);
    }
    // UTF-16 frames that hold single bytes.
    dir.makeDir("utf16");
    dir.write("utf16/a.mp3", utf16Track(encoded("Песня о тревоге", "windows-1251")));
    dir.write("utf16/b.mp3", utf16Track(encoded("Группа крови", "windows-1251")));
    const std::optional<RepairProposal> wide =
        CodePageRepair::propose(dir / "utf16", CodePageRepair::suspects(dir / "utf16", settings));
    ASSERT_TRUE(wide.has_value());
    ASSERT_EQ(wide->fields.size(), 2u);
    EXPECT_EQ(wide->fields[0].name, "TIT2");
    EXPECT_EQ(wide->fields[0].repaired, "Песня о тревоге");
    // Genuine Latin-1 text, and plain ASCII: nothing to repair.
    dir.makeDir("latin");
    for (const char* title : {"Café de la Paix", "Ärger im Paradies", "Señorita", "Größer"})
        dir.write(std::string("latin/") + title + ".mp3",
                  fakeTrack("\xFF\xFB\x90\x44", 4000,
                            id3v1(encoded(title, "ISO-8859-1"), encoded("Die Ärzte", "ISO-8859-1"))));
    const std::string latin = dir / "latin";
    EXPECT_FALSE(CodePageRepair::propose(latin, CodePageRepair::suspects(latin, settings)).has_value());
    dir.makeDir("ascii");
    dir.write("ascii/a.mp3", fakeTrack("\xFF\xFB\x90\x44", 4000, id3v1("Plain", "Text")));
    EXPECT_TRUE(CodePageRepair::suspects(dir / "ascii", settings).empty());
}

TEST(CodePageRepair, AFolderIsRepairedInOneSaveAndUndoneByteForByte)
{
    TempDir dir;
    Journal journal(dir / "journal.sqlite");
    dir.makeDir("m");
    const std::string track = dir.write(
        "m/a.mp3", fakeTrack("\xFF\xFB\x90\x44", 4000,
                             id3v1(encoded("Группа крови", "windows-1251"), encoded("Кино", "windows-1251"))));
    dir.write("m/b.mp3", fakeTrack("\xFF\xFB\x90\x44", 4000, id3v1(encoded("Кукушка", "windows-1251"))));
    const std::string bbs = dir.write("m/files.bbs", "a.mp3 " + encoded("Песня о войне", "IBM866") + "\r\n");
    const std::string before = readAll(track) + readAll(dir / "m/b.mp3") + readAll(bbs);
    // The tags are 1251 and the description file 866: the folder as a whole is Cyrillic,
    // and each part is read in its own page when forced.
    const CodePageRepair::Settings settings{*CodePage::byNumber(1252), *CodePage::byNumber(437)};
    std::vector<RepairField> fields = CodePageRepair::suspects(dir / "m", settings);
    ASSERT_EQ(fields.size(), 4u);
    std::erase_if(fields, [](const RepairField& f) { return f.name == "description"; });
    const std::optional<RepairProposal> p = CodePageRepair::propose(dir / "m", fields);
    ASSERT_TRUE(p && p->codePage == "windows-1251");
    const Result<int> written = CodePageRepair::apply(*p, settings, &journal, dir.path());
    ASSERT_TRUE(written.ok()) << written.error();
    EXPECT_EQ(written.value(), 2);
    const std::vector<JournalEntry> saves = journal.list(5).value();
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].files.size(), 2u);
    EXPECT_NE(readAll(track).find("Группа крови"), std::string::npos); // an ID3v2.4 frame in UTF-8
    ASSERT_TRUE(journal.undo(saves[0].number).ok());
    EXPECT_TRUE(readAll(track) + readAll(dir / "m/b.mp3") + readAll(bbs) == before);
    // Forced to the description file's page.
    std::vector<RepairField> description = CodePageRepair::suspects(dir / "m", settings);
    std::erase_if(description, [](const RepairField& f) { return f.name != "description"; });
    const std::optional<RepairProposal> forced = CodePageRepair::propose(dir / "m", description, "IBM866");
    ASSERT_TRUE(forced.has_value());
    EXPECT_EQ(forced->fields[0].repaired, "Песня о войне");
    ASSERT_TRUE(CodePageRepair::apply(*forced, settings, &journal, dir.path()).ok());
    EXPECT_EQ(readAll(bbs), "a.mp3 Песня о войне\r\n");
}
