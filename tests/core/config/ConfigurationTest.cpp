#include "core/config/Configuration.h"

#include "core/config/ConfigurationReader.h"

#include "support/TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace cantorel;
using cantorel::test::TempDir;

namespace {

// What the last load read; the tests read it through the names the program uses.
Configuration loaded;
const SettingsRecord& Settings = loaded.Settings;
const std::vector<GenreEntry>& GenreTable = loaded.GenreTable;
std::string GetUIString(int id) { return loaded.GetUIString(id); }
int GenreCount() { return loaded.GenreCount(); }

// "" on success, else the message.
std::string loadFile(const std::string& file, const std::string& programDirectory)
{
    const Result<> result = LoadConfiguration(loaded, file, programDirectory);
    return result ? std::string() : result.error();
}

// Loads `contents` as a configuration file of a program living in `dir`.
std::string load(const TempDir& dir, const std::string& contents)
{
    return loadFile(dir.write("cantorel.ini", contents), dir.path());
}

} // namespace

TEST(Configuration, DefaultsWhenOnlyBlankAndUnknownLines)
{
    TempDir dir;
    ASSERT_EQ(load(dir, "\n\n  \nsomething else\n[Section]\nIcon\nIcon   \n"), "");
    EXPECT_EQ(Settings.WindowTitle, "MP3 Audio Library");
    EXPECT_EQ(Settings.Icon, "");
    EXPECT_EQ(Settings.MP3RootName, "");
    EXPECT_EQ(Settings.MP3RootDir, dir.path());
    EXPECT_EQ(Settings.FilesBBS, "files.bbs");
    EXPECT_EQ(Settings.DirInfoTXT, "dirinfo.");
    EXPECT_EQ(Settings.DirInfoRTF, "dirinfo.rtf");
    EXPECT_EQ(Settings.DirInfoBMP, "dirinfo.bmp");
    EXPECT_TRUE(Settings.TXTCodePage);
    EXPECT_FALSE(Settings.TAGCodePage);
    EXPECT_FALSE(Settings.AllowEdit);
    EXPECT_EQ(GetUIString(1), "String1");
    EXPECT_EQ(GetUIString(50), "String50");
    EXPECT_EQ(GenreCount(), 0);
}

TEST(Configuration, KeyValues)
{
    TempDir dir;
    dir.write("icon.png", "x");
    dir.makeDir("Music");
    const struct {
        std::string line;
        std::function<std::string()> field;
        std::string expected;
    } cases[] = {
        {"windowtitle=My music", [] { return Settings.WindowTitle; }, "My music"},
        {"  WINDOWTITLE   =   spaced  ", [] { return Settings.WindowTitle; }, "spaced"},
        {"WindowTitle =", [] { return Settings.WindowTitle; }, ""},
        {"WindowTitle = " + std::string(300, 'x'), [] { return Settings.WindowTitle; }, std::string(255, 'x')},
        {"MP3RootName = Коллекция", [] { return Settings.MP3RootName; }, "Коллекция"},
        {"MP3RootDir = Music", [] { return Settings.MP3RootDir; }, dir.path() + "Music/"},
        {"MP3RootDir = ./Music/../Music//", [] { return Settings.MP3RootDir; }, dir.path() + "Music/"},
        {"MP3RootDir = /srv/music/", [] { return Settings.MP3RootDir; }, "/srv/music/"},
        {"MP3RootDir = /srv/music", [] { return Settings.MP3RootDir; }, "/srv/music/"},
        {"MP3RootDir = ..\\x", [] { return Settings.MP3RootDir; },
         std::filesystem::path(dir.path()).parent_path().parent_path().string() + "/x/"},
        {"FilesBBS = C:\\x\\index.txt", [] { return Settings.FilesBBS; }, "index.txt"},
        {"FilesBBS = /x/descript.ion", [] { return Settings.FilesBBS; }, "descript.ion"},
        {"DirInfoTXT = c:info.txt", [] { return Settings.DirInfoTXT; }, "info.txt"},
        {"DirInfoRTF = a\\b.rtf", [] { return Settings.DirInfoRTF; }, "b.rtf"},
        {"DirInfoBMP = cover.png", [] { return Settings.DirInfoBMP; }, "cover.png"},
        {"TXTCodePage = ANSI", [] { return std::string(Settings.TXTCodePage ? "oem" : "ansi"); }, "ansi"},
        {"TAGCodePage = Oem", [] { return std::string(Settings.TAGCodePage ? "oem" : "ansi"); }, "oem"},
        {"AllowEdit = YES", [] { return std::string(Settings.AllowEdit ? "yes" : "no"); }, "yes"},
        {"OEMCodePage = 866", [] { return std::to_string(Settings.OEMCodePage); }, "866"},
        {"ANSICodePage = 1251", [] { return std::to_string(Settings.ANSICodePage); }, "1251"},
        {"OEMCodePage = 65001", [] { return std::to_string(Settings.OEMCodePage); }, "65001"},
        {"TXTCodePage = 65001", [] { return std::string(Settings.TXTUtf8 ? "utf-8" : "no"); }, "utf-8"},
        {"ReadID3v2 = No", [] { return std::string(Settings.ReadID3v2 ? "yes" : "no"); }, "no"},
        {"", [] { return std::string(Settings.ReadID3v2 ? "yes" : "no"); }, "yes"},
        {"Icon = " + dir.path() + "icon.png", [] { return Settings.Icon; }, dir.path() + "icon.png"},
        {"Iconfile = x", [] { return Settings.Icon; }, ""},
        {"WindowTitle = a\nWindowTitle = b", [] { return Settings.WindowTitle; }, "b"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(load(dir, c.line + "\n"), "") << c.line;
        EXPECT_EQ(c.field(), c.expected) << c.line;
    }
}

TEST(Configuration, ErrorsNameTheLineAndStopReading)
{
    TempDir dir;
    dir.makeDir("adir");
    const struct {
        std::string contents;
        std::string error;
    } cases[] = {
        {"a\nb\nc\nd\ne\nf\nAllowEdit = 1\nWindowTitle = late\n", "Invalid parameter value in line 7"},
        {"TXTCodePage = utf8", "Invalid parameter value in line 1"},
        {"\r\nTAGCodePage = oem \r\n\r\nTAGCodePage=x", "Invalid parameter value in line 4"},
        {"x\rAllowEdit = maybe", "Invalid parameter value in line 2"},
        {"Icon =", "Can't find file (line 1)"},
        {"\nIcon = /no/such/file.ico", "Can't find file (line 2)"},
        {"Icon = " + dir.path() + "adir", "Can't find file (line 1)"},
        {"OEMCodePage = 932", "Invalid parameter value in line 1"},
        {"ANSICodePage = 12x", "Invalid parameter value in line 1"},
        {"OEMCodePage = 99999", "Invalid parameter value in line 1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(load(dir, c.contents), c.error) << c.contents;
    // Values before the error keep their new values, later ones are not read.
    EXPECT_EQ(load(dir, "WindowTitle = early\nAllowEdit = 1\nWindowTitle = late\n"),
              "Invalid parameter value in line 2");
    EXPECT_EQ(Settings.WindowTitle, "early");
}

TEST(Configuration, MissingFileNamesItsFullPath)
{
    TempDir dir;
    EXPECT_EQ(loadFile(dir / "none.ini", dir.path()), "Unable to open file " + dir.path() + "none.ini");
    const std::string cwd = std::filesystem::current_path().string();
    EXPECT_EQ(loadFile("relative-none.ini", dir.path()), "Unable to open file " + cwd + "/relative-none.ini");
}

TEST(Configuration, InterfaceStrings)
{
    TempDir dir;
    ASSERT_EQ(load(dir, "String5 =\nString05 = x\nString3 = 'It''s'\nString4 = a''b''c\n"
                        "String1 = ' sec'\nString12 = twelve\nstring50=fifty\nString62 = no\n"
                        "String2 = 'open\nString7 = close'\n"),
              "");
    EXPECT_EQ(GetUIString(5), "");
    EXPECT_EQ(GetUIString(6), "String6");
    EXPECT_EQ(GetUIString(3), "It's");
    EXPECT_EQ(GetUIString(4), "a'b''c");
    EXPECT_EQ(GetUIString(1), " sec");
    EXPECT_EQ(GetUIString(12), "twelve");
    EXPECT_EQ(GetUIString(50), "fifty");
    EXPECT_EQ(GetUIString(2), "open");
    EXPECT_EQ(GetUIString(7), "close");
    EXPECT_EQ(GetUIString(0), "Invalid String ID 0");
    EXPECT_EQ(GetUIString(51), "Track: "); // later strings have English defaults
    EXPECT_EQ(GetUIString(52), "Rescan");
    EXPECT_EQ(GetUIString(53), "Volume");
    EXPECT_EQ(GetUIString(54), "Playing stopped: ");
    EXPECT_EQ(GetUIString(61), "&Undo last save");
    EXPECT_EQ(GetUIString(63), "No match");
    EXPECT_EQ(GetUIString(64), "More matches: type more to see them");
    EXPECT_EQ(GetUIString(68), "Nothing in this folder needs repair.");
    EXPECT_EQ(GetUIString(70), "Offline: ");
    EXPECT_EQ(GetUIString(72), "Invalid String ID 72");
    EXPECT_EQ(GetUIString(-3), "Invalid String ID -3");
}

TEST(Configuration, GenreLines)
{
    TempDir dir;
    ASSERT_EQ(
        load(dir,
             "genre12 = Rock\ngenre012=Rock\nGENRE013 Pop\ngenre7\ngenre-01 = Minus\n"
             "genre256 = Wrap\ngenre$1F = Hex\ngenre  9 = Blank\ngenre 9 = NotANumber\ngenre = none\ngenreabc = x\n"
             "genre014 = " +
                 std::string(50, 'n') + "\n"),
        "");
    const std::vector<std::pair<int, std::string>> expected = {
        {12, "Rock"}, {13, "Pop"}, {7, ""},      {255, "Minus"},
        {0, "Wrap"},  {31, "Hex"}, {9, "Blank"}, {14, std::string(40, 'n')}};
    ASSERT_EQ(GenreCount(), static_cast<int>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(GenreTable[i].Number, expected[i].first) << i;
        EXPECT_EQ(GenreTable[i].GenreName, expected[i].second) << i;
    }
}

TEST(Configuration, GenreTableHoldsTwoHundred)
{
    TempDir dir;
    std::string contents;
    for (int i = 0; i < 210; ++i)
        contents += "genre" +
                    std::string(i < 10    ? "00"
                                : i < 100 ? "0"
                                          : "") +
                    std::to_string(i % 256) + " = g" + std::to_string(i) + "\n";
    ASSERT_EQ(load(dir, contents), "");
    ASSERT_EQ(GenreCount(), 200);
    EXPECT_EQ(GenreTable.back().GenreName, "g199");
}

TEST(Configuration, TextEncodingsAndLineEnds)
{
    TempDir dir;
    // A byte-order mark is dropped; CR LF, LF and lone CR all end lines.
    ASSERT_EQ(load(dir, "\xEF\xBB\xBFWindowTitle = A\r\nString1 = B\rString2 = C\nAllowEdit = 2"),
              "Invalid parameter value in line 4");
    EXPECT_EQ(Settings.WindowTitle, "A");
    EXPECT_EQ(GetUIString(1), "B");
    EXPECT_EQ(GetUIString(2), "C");
    // A file that is not UTF-8 is read in its ANSI page, which a later line may name.
    ASSERT_EQ(load(dir, "WindowTitle = \xCC\xF3\xE7\xFB\xEA\xE0\nANSICodePage = 1251\n"), "");
    EXPECT_EQ(Settings.WindowTitle, "Музыка");
    ASSERT_EQ(load(dir, "ANSICodePage = 1252\nString9 = Caf\xE9\n"), "");
    EXPECT_EQ(GetUIString(9), "Café");
}

TEST(Configuration, CodePagesFollowTheLocaleWithoutKeys)
{
    TempDir dir;
    const struct {
        const char* lang;
        int oem;
        int ansi;
    } cases[] = {
        {"ru_RU.UTF-8", 866, 1251}, {"uk_UA.UTF-8", 866, 1251}, {"pl_PL.UTF-8", 852, 1250},
        {"cs_CZ", 852, 1250},       {"de_DE.UTF-8", 850, 1252}, {"fr_FR@euro", 850, 1252},
        {"C", 437, 1252},           {"POSIX", 437, 1252},       {"ja_JP.UTF-8", 437, 1252},
    };
    const char* saved = std::getenv("LC_ALL");
    const std::string savedValue = saved ? saved : "";
    for (const auto& c : cases) {
        ::setenv("LC_ALL", c.lang, 1);
        ASSERT_EQ(load(dir, ""), "");
        EXPECT_EQ(Settings.OEMCodePage, c.oem) << c.lang;
        EXPECT_EQ(Settings.ANSICodePage, c.ansi) << c.lang;
    }
    if (saved)
        ::setenv("LC_ALL", savedValue.c_str(), 1);
    else
        ::unsetenv("LC_ALL");
}

TEST(Configuration, ConfigurationFileBesideTheProgram)
{
    EXPECT_EQ(configurationFileFor("/opt/cantorel/cantorel"), "/opt/cantorel/cantorel.ini");
    EXPECT_EQ(configurationFileFor("/opt/c/Cantorel.exe"), "/opt/c/Cantorel.ini");
    EXPECT_EQ(configurationFileFor("/opt/c.d/prog"), "/opt/c.d/prog.ini");
}

TEST(ConfigurationReader, MatchKey)
{
    EXPECT_EQ(ConfigurationReader::matchKey("String1", "String12 = x"), std::nullopt);
    EXPECT_EQ(ConfigurationReader::matchKey("Icon", "Iconfile = x"), std::nullopt);
    EXPECT_EQ(ConfigurationReader::matchKey("Icon", "Icon"), std::nullopt);
    EXPECT_EQ(ConfigurationReader::matchKey("Icon", "ICON   =  a b "), "a b");
    EXPECT_EQ(ConfigurationReader::matchKey("Icon", "icon=="), "=");
}
