#include "support/Mp3Fixture.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace cantorel::test;

namespace {
ProcessResult cli(const std::vector<std::string>& args)
{
    return runProcess(builtProgram("cantorel-cli"), args, {"LC_ALL=C"});
}

// The same with a journal of its own in `state`, for tests that undo the newest save.
ProcessResult cliWithState(const std::string& state, const std::vector<std::string>& args)
{
    return runProcess(builtProgram("cantorel-cli"), args, {"LC_ALL=C", "XDG_STATE_HOME=" + state});
}
} // namespace

TEST(Cli, ConfigAsJson)
{
    TempDir dir;
    dir.makeDir("music");
    dir.write("c.ini", "WindowTitle = Tom \"Q\" Jones\nMP3RootDir = music\nAllowEdit = yes\nString3 = h\n"
                       "genre017 = Rock\ngenre-01 = None\nOEMCodePage = 866\n");
    const ProcessResult r = cli({"--config", dir / "c.ini", "--json", "config"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("\"WindowTitle\": \"Tom \\\"Q\\\" Jones\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"MP3RootDir\": \"" + dir.path() + "music/\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"AllowEdit\": true"), std::string::npos);
    EXPECT_NE(r.out.find("\"TXTCodePage\": \"oem\""), std::string::npos);
    EXPECT_NE(r.out.find("\"TAGCodePage\": \"ansi\""), std::string::npos);
    EXPECT_NE(r.out.find("\"OEMCodePage\": 866"), std::string::npos);
    EXPECT_NE(r.out.find("\"ANSICodePage\": 1252"), std::string::npos);
    EXPECT_NE(r.out.find("\"UIStrings\": [\n    \"String1\",\n    \"String2\",\n    \"h\","), std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find(
            "\"String50\",\n    \"Track: \",\n    \"Rescan\",\n    \"Volume\",\n    \"Playing stopped: "
            "\",\n    \"Track (n/m)\",\n    \"Disc (n/m)\",\n    \"Album artist\",\n    \"Set cover from "
            "file...\",\n    \"Remove cover\",\n    \"&Edit\",\n    \"&Undo last save\",\n    \"Find "
            "(Ctrl+F)\",\n    \"No match\",\n    \"More matches: type more to see them\",\n    \"&Repair text...\",\n  "
            "  \"Written in code page:\",\n    \"&Apply\",\n    \"Nothing in this folder needs repair.\",\n    "
            "\"Reading the "
            "collection: \",\n    \"Offline: \",\n    \"Too many folders to watch: changes in the others are "
            "found by a check every few minutes (raise fs.inotify.max_user_watches to watch them all)\"\n  ]"),
        std::string::npos);
    EXPECT_NE(r.out.find("\"Number\": 17,\n      \"GenreName\": \"Rock\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"Number\": 255,\n      \"GenreName\": \"None\""), std::string::npos);
}

TEST(Cli, StatusAndMessages)
{
    TempDir dir;
    dir.write("bad.ini", "\nAllowEdit = perhaps\n");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string outContains;
        std::string err;
    } cases[] = {
        {{"--config", dir / "bad.ini", "config"}, 2, "", "Invalid parameter value in line 2\n"},
        {{"--config", dir / "none.ini", "config"}, 2, "", "Unable to open file " + dir.path() + "none.ini\n"},
        {{"--help"}, 0, "Usage: cantorel-cli", ""},
        {{"version"}, 0, "cantorel-cli ", ""},
        {{"--json", "version"}, 0, "\"version\": ", ""},
        {{"--config", dir / "bad.ini", "version"}, 0, "cantorel-cli ", ""},
        {{"-h"}, 0, "Usage: cantorel-cli", ""},
        {{"--version"}, 0, "cantorel-cli ", ""},
        {{"version", "--json"}, 0, "\"version\": ", ""}, // global options also after the command
    };
    for (const auto& c : cases) {
        const ProcessResult r = cli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.back();
        EXPECT_NE(r.out.find(c.outContains), std::string::npos) << r.out;
        EXPECT_EQ(r.err, c.err);
    }
    const ProcessResult unknown = cli({"frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown command 'frobnicate'"), std::string::npos);
    EXPECT_EQ(cli({}).status, 2);
}

TEST(Cli, WithoutConfigTheLookupOrderDecides)
{
    TempDir dir;
    const std::vector<std::string> env{"LC_ALL=C", "XDG_CONFIG_HOME=" + dir / "home", "XDG_CONFIG_DIRS=" + dir / "sys"};
    const std::string cli = builtProgram("cantorel-cli");
    // The build tree holds no cantorel.ini beside cantorel-cli: the message names every place.
    ProcessResult r = runProcess(cli, {"config"}, env);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "No configuration file was found. Looked at:\n" + std::string(CANTOREL_BIN_DIR) +
                         "/cantorel.ini\n" + dir.path() + "home/cantorel/cantorel.ini\n" + dir.path() +
                         "sys/cantorel/cantorel.ini\n");
    dir.write("sys/cantorel/cantorel.ini", "WindowTitle = System\n");
    EXPECT_NE(runProcess(cli, {"config"}, env).out.find("WindowTitle = System"), std::string::npos);
    dir.write("home/cantorel/cantorel.ini", "WindowTitle = User\nMP3RootDir = /music\n");
    dir.makeDir("elsewhere");
    r = runProcess(cli, {"config", "--root", dir / "elsewhere"}, env);
    EXPECT_NE(r.out.find("WindowTitle = User"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("MP3RootDir = " + dir.path() + "elsewhere/"), std::string::npos) << r.out;
}

namespace {

// A configuration in `dir` whose collection is `dir` itself.
std::string configIn(const TempDir& dir, const std::string& extra = {})
{
    return dir.write("cantorel.ini", "MP3RootDir = .\nOEMCodePage = 437\nANSICodePage = 1252\n" + extra);
}

} // namespace

TEST(Cli, ProbeReportsEachFile)
{
    TempDir dir;
    const std::string ini = configIn(dir);
    dir.write("a.mp3", fakeTrack("\xFF\xFB\x90\x44", 4'000'000, id3v1("Title", "Artist", "", "", "", 17)));
    dir.write("free.mp3", fakeTrack("\xFF\xFB\x00\x44", 1000));
    const ProcessResult r =
        cli({"--config", ini, "--json", "probe", dir / "a.mp3", dir / "free.mp3", dir / "none.mp3"});
    EXPECT_EQ(r.status, 1) << r.err; // two files could not be probed
    EXPECT_EQ(cli({"--config", ini, "probe", dir / "a.mp3"}).status, 0);
    const std::string expectedFirst =
        "    \"ok\": true,\n    \"record\": {\n      \"Path\": \"" + dir.path() +
        "a.mp3\",\n      \"Name\": \"Title\",\n      \"Artist\": \"Artist\",\n      \"Album\": \"\",\n"
        "      \"Year\": \"\",\n      \"Comment\": \"\",\n      \"Genre\": 17,\n      \"GenreText\": \"\",\n"
        "      \"Track\": 0,\n      \"Disc\": 0,\n      \"AlbumArtist\": \"\",\n      "
        "\"FileSize\": 4000000,\n"
        "      \"Bitrate\": 128,\n      \"Frequency\": 44100,\n      \"Duration\": 250,\n      \"Description\": \"\",\n"
        "      \"PicturePath\": \"\",\n      \"TextPath\": \"\"\n    }";
    EXPECT_NE(r.out.find(expectedFirst), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"ok\": false,\n    \"record\": {\n      \"Path\": \"" + dir.path() +
                         "free.mp3\",\n      \"Name\": \"free.mp3\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("none.mp3\",\n    \"ok\": false"), std::string::npos);
}

TEST(Cli, TagRoundTripsThroughProbeAndAnIndependentReader)
{
    TempDir dir;
    const std::string ini = configIn(dir);
    const std::string audio = fakeTrack("\xFF\xFB\x90\x44", 100'000);
    const std::string track = dir.write("t.mp3", audio);
    ProcessResult r = cli({"--config", ini, "tag", track, "--title", "  New title  ", "--artist", "Somebody", "--year",
                           "1999", "--genre", "17"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = cli({"--config", ini, "tag", track, "--comment", std::string(70, 'c')});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string data = readAll(track);
    ASSERT_EQ(data.size(), audio.size() + 128);
    EXPECT_EQ(data.substr(0, audio.size()), audio);
    r = cli({"--config", ini, "--json", "probe", track});
    EXPECT_NE(r.out.find("\"Name\": \"New title\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"Artist\": \"Somebody\""), std::string::npos);
    EXPECT_NE(r.out.find("\"Comment\": \"" + std::string(30, 'c') + "\""), std::string::npos);
    EXPECT_NE(r.out.find("\"Genre\": 17"), std::string::npos);
    const ProcessResult id3 = runProcess("/usr/bin/id3v2", {"-l", track});
    EXPECT_NE(id3.out.find("Title  : New title"), std::string::npos) << id3.out;
    EXPECT_NE(id3.out.find("Artist: Somebody"), std::string::npos) << id3.out;
    EXPECT_NE(id3.out.find("Year: 1999"), std::string::npos) << id3.out;
    EXPECT_NE(id3.out.find("Genre: Rock (17)"), std::string::npos) << id3.out;
}

TEST(Cli, TagFailuresAndUsage)
{
    TempDir dir;
    const std::string ini = configIn(dir);
    const std::string tiny = dir.write("tiny.mp3", "\xFF\xFB\x90\x44");
    const std::string track = dir.write("t.mp3", fakeTrack("\xFF\xFB\x90\x44", 5000, id3v1("Old")));
    const std::string before = readAll(track);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{"tag", tiny, "--title", "x"}, 1, "Unable to write the tag of " + tiny + "\n"},
        {{"tag", dir / "none.mp3", "--title", "x"}, 1, "Unable to write the tag of " + dir.path() + "none.mp3\n"},
        {{"tag", tiny, "--genre", "256"},
         2,
         "cantorel-cli: --genre takes a number from 0 to 255 or a genre name of the configuration\n"
         "Try 'cantorel-cli --help'.\n"},
        {{"tag", tiny, "--title"}, 2, "cantorel-cli: --title needs a value\nTry 'cantorel-cli --help'.\n"},
        {{"tag", tiny, "--bogus", "1"}, 2, "cantorel-cli: unknown option '--bogus'\nTry 'cantorel-cli --help'.\n"},
        {{"tag", track},
         2,
         "cantorel-cli: tag needs at least one field to set (--title, --artist, --album, --year, --comment, "
         "--genre, --track, --disc, --album-artist, --cover, --no-cover)\nTry 'cantorel-cli --help'.\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--config", ini};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = cli(args);
        EXPECT_EQ(r.status, c.status) << c.args[1];
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(readAll(tiny), "\xFF\xFB\x90\x44");
    EXPECT_EQ(readAll(track), before);
    // A title the ID3v1 page cannot hold: refused without ID3v2, else in an ID3v2.4 tag
    // that other readers read, while the ID3v1 block keeps its old title.
    const std::string v1only = dir.write("v1.ini", "MP3RootDir = .\nANSICodePage = 1252\nReadID3v2 = no\n");
    ProcessResult r = cli({"--config", v1only, "tag", track, "--title", "Привет"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err,
        "The tag was not saved: its code page 1252 cannot hold these characters (the title holds П р и в е т).\n");
    EXPECT_EQ(readAll(track), before);
    r = cli({"--config", ini, "tag", track, "--title", "Привет"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(runProcess("/usr/bin/mid3v2", {"-l", track}).out.find("TIT2=Привет"), std::string::npos);
    // The ID3v1 block cannot hold the new title: it holds none rather than the old one.
    EXPECT_EQ(readAll(track).substr(readAll(track).size() - 128, 33), "TAG" + std::string(30, ' '));
    // A genre by its name in the configuration's table.
    const std::string named = configIn(dir, "genre017 = Rock\n");
    ASSERT_EQ(cli({"tag", track, "--genre", "rock", "--config", named}).status, 0);
    EXPECT_EQ(static_cast<unsigned char>(readAll(track).back()), 17);
}

TEST(Cli, DescribeWritesAndClears)
{
    TempDir dir;
    const std::string ini = configIn(dir, "FilesBBS = descript.ion\n");
    dir.write("My Song.mp3", "x");
    dir.makeDir("Live");
    dir.write("Live.mp3", "x"); // takes its own line, so the directory Live gets a new one
    dir.write("descript.ion", "\xC9\xCD\xBB box\r\nLive.mp3 other\r\n");
    ASSERT_EQ(cli({"--config", ini, "describe", dir / "My Song.mp3", "  Sung by nobody  "}).status, 0);
    ASSERT_EQ(cli({"--config", ini, "describe", dir / "Live/", "Concert"}).status, 0);
    EXPECT_EQ(readAll(dir / "descript.ion"),
              "\xC9\xCD\xBB box\r\nLive.mp3 other\r\n\"My Song.mp3\"   Sung by nobody\r\nLive            Concert\r\n");
    ASSERT_EQ(cli({"--config", ini, "describe", dir / "Live"}).status, 0);
    EXPECT_EQ(readAll(dir / "descript.ion"),
              "\xC9\xCD\xBB box\r\nLive.mp3 other\r\n\"My Song.mp3\"   Sung by nobody\r\nLive            \r\n");
    // The root and paths outside the collection are refused, as in the window.
    const std::string root = dir.path().substr(0, dir.path().size() - 1);
    for (const std::string& path : {root, std::string("/tmp/elsewhere.mp3")}) {
        const ProcessResult refused = cli({"--config", ini, "describe", path, "x"});
        EXPECT_EQ(refused.status, 1) << path;
        EXPECT_EQ(refused.err, "Not in the collection " + dir.path() + ": " + path + "\n");
    }
    dir.write("bad/descript.ion", std::string("a\0b", 3));
    const ProcessResult r = cli({"--config", ini, "describe", dir / "bad/a.mp3", "x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error while saving file " + dir.path() + "bad/descript.ion\n");
}

TEST(Cli, PlayNamesTheFileThatCannotBeOpened)
{
    TempDir dir;
    const ProcessResult r = cli({"play", dir / "none.mp3", "--out", dir / "o.wav"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "3 Input stream error: " + dir.path() + "none.mp3: No such file or directory\n");
}

TEST(Cli, TreePrintsTheNodeTable)
{
    TempDir dir;
    dir.write("music/d/a.mp3", fakeTrack("\xFF\xFB\x90\x44", 32000, id3v1("Song")));
    dir.write("music/p.m3u", "d/a.mp3\n");
    const std::string ini = dir.write("c.ini", "MP3RootDir = music\nMP3RootName = Top\nString19 = Lists\n");
    ProcessResult r = cli({"--config", ini, "tree"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "[1] Top\n  [2] d\n    [3] Song\n[5] Lists\n  [4] p.m3u\n    [3] Song\n");
    r = cli({"--config", ini, "tree", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(
                  "\"index\": 2,\n    \"depth\": 2,\n    \"kind\": 3,\n    \"text\": \"Song\",\n    \"record_id\": 2,"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(
                  "\"index\": 5,\n    \"depth\": 2,\n    \"kind\": 3,\n    \"text\": \"Song\",\n    \"record_id\": 2,"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"Duration\": 2,"), std::string::npos);
}

TEST(Cli, TheProbeCacheNeverGivesAStaleRecord)
{
    TempDir dir;
    const auto track = [](const std::string& title, std::size_t size = 32000) {
        return fakeTrack("\xFF\xFB\x90\x44", size, id3v1(title));
    };
    dir.write("music/d/a.mp3", track("Alpha"));
    dir.write("music/d/b.mp3", track("Beta"));
    dir.write("music/e/c.mp3", track("Gamma", 48000));
    const std::string ini = dir.write("c.ini", "MP3RootDir = music\nReadID3v2 = no\n");
    const std::string cache = dir / "cache";
    const std::vector<std::string> env{"LC_ALL=C", "XDG_CACHE_HOME=" + cache};
    const auto tree = [&](bool cached) {
        std::vector<std::string> args{"--config", ini, "--json", "tree"};
        if (!cached)
            args.push_back("--no-cache");
        const ProcessResult r = runProcess(builtProgram("cantorel-cli"), args, env);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    };
    const auto cacheFile = [&] {
        for (const auto& e : std::filesystem::directory_iterator(cache + "/cantorel"))
            if (e.path().extension() == ".sqlite")
                return e.path().string();
        return std::string();
    };
    const auto settle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(150)); };
    const std::string music = dir / "music";
    const struct {
        const char* change;
        std::function<void()> apply;
    } changes[] = {
        {"first run", [] {}},
        {"tag rewritten in place, time stamp restored",
         [&] {
             dir.write("stamp", "");
             runProcess("/usr/bin/touch", {"-r", music + "/d/a.mp3", dir / "stamp"});
             const int fd = ::open((music + "/d/a.mp3").c_str(), O_WRONLY);
             const std::string tag = id3v1("Omega");
             ASSERT_EQ(::pwrite(fd, tag.data(), tag.size(), 32000 - 128), 128);
             ::close(fd);
             runProcess("/usr/bin/touch", {"-r", dir / "stamp", music + "/d/a.mp3"});
         }},
        {"replaced by another file of the same size",
         [&] {
             dir.write("new.mp3", track("Delta"));
             std::filesystem::rename(dir / "new.mp3", music + "/d/b.mp3");
         }},
        {"moved", [&] { std::filesystem::rename(music + "/d/b.mp3", music + "/e/b2.mp3"); }},
        {"directory renamed", [&] { std::filesystem::rename(music + "/e", music + "/f"); }},
        {"cache truncated",
         [&] {
             const std::string file = cacheFile();
             ASSERT_FALSE(file.empty());
             ASSERT_EQ(::truncate(file.c_str(), 3000), 0);
         }},
        {"cache of another version",
         [&] {
             runProcess("/usr/bin/python3",
                        {"-c",
                         "import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.execute('PRAGMA user_version=99'); "
                         "c.commit()",
                         cacheFile()});
         }},
    };
    for (const auto& c : changes) {
        c.apply();
        settle();
        const std::string fresh = tree(false);
        EXPECT_EQ(tree(true), fresh) << c.change;
        EXPECT_EQ(tree(true), fresh) << c.change << ", from the cache";
    }
    EXPECT_NE(tree(false).find("Omega"), std::string::npos);
    // Two programs starting at once: both right, and the cache they leave too.
    dir.write("music/d/z.mp3", track("Zeta"));
    settle();
    const std::string fresh = tree(false);
    std::string first, second;
    std::thread one([&] { first = tree(true); });
    std::thread two([&] { second = tree(true); });
    one.join();
    two.join();
    EXPECT_EQ(first, fresh);
    EXPECT_EQ(second, fresh);
    EXPECT_EQ(tree(true), fresh);
}

TEST(Cli, PictureWritesWhatThePicturePageShows)
{
    TempDir dir;
    const std::string ini = configIn(dir);
    const std::string wav = dir.write("tone.wav", sineWav(440, 1));
    for (const std::string track : {"a/1.mp3", "a/2.mp3", "b/3.mp3"}) {
        dir.makeDir(track.substr(0, 1));
        ASSERT_EQ(runProcess("/usr/bin/lame", {"--quiet", wav, dir / track}).status, 0);
    }
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "EMBEDDED PICTURE";
    const std::string embedded = dir.write("embedded.png", png);
    ASSERT_EQ(
        runProcess("/usr/bin/eyeD3", {"--quiet", "--add-image", embedded + ":FRONT_COVER", dir / "a/1.mp3"}).status, 0);
    dir.write("a/Cover.JPG", "COVER FILE");
    dir.write("b/folder.png", "FOLDER FILE");
    dir.write("b/3.bmp", "OWN PICTURE");
    // The node table: a, 1.mp3, 2.mp3, b, 3.mp3.
    const struct {
        std::string index;
        std::string bytes;
    } cases[] = {{"0", "COVER FILE"}, {"1", png}, {"2", "COVER FILE"}, {"3", "FOLDER FILE"}, {"4", "OWN PICTURE"}};
    TempDir out;
    for (const auto& c : cases) {
        const ProcessResult r = cli({"--config", ini, "picture", c.index, "--out", out / "out.bin"});
        ASSERT_EQ(r.status, 0) << c.index << r.err;
        EXPECT_EQ(readAll(out / "out.bin"), c.bytes) << c.index;
    }
    // Never over a track, another file of the collection, a device or a link.
    const std::string track = readAll(dir / "a/1.mp3");
    std::filesystem::create_symlink(out / "out.bin", out / "link.bin");
    const struct {
        std::string out;
        std::string reason;
    } refused[] = {{dir / "a/1.mp3", "it is a file of the collection"},
                   {dir / "b/new.jpg", "it is a file of the collection"},
                   {"/dev/null", "it is not a regular file"},
                   {out / "link.bin", "it is a link"}};
    for (const auto& r : refused) {
        const ProcessResult p = cli({"--config", ini, "picture", "1", "--out", r.out});
        EXPECT_EQ(p.status, 2) << r.out;
        EXPECT_EQ(p.err, "cantorel-cli: will not write the picture to " + r.out + ": " + r.reason +
                             "\nTry 'cantorel-cli --help'.\n");
    }
    EXPECT_EQ(readAll(dir / "a/1.mp3"), track);
    EXPECT_FALSE(std::filesystem::exists(dir / "b/new.jpg"));
    // A picture file of 3 GB (sparse) is told by its size, never read.
    std::filesystem::resize_file(dir / "a/Cover.JPG", 3LL << 30);
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult large = cli({"--config", ini, "picture", "2", "--out", out / "large.bin"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(large.status, 1);
    EXPECT_EQ(large.err, "Node 2 shows no picture: " + dir.path() + "a/Cover.JPG is larger than 32 MB\n");
    std::filesystem::remove(dir / "a/Cover.JPG");
    const ProcessResult none = cli({"--config", ini, "picture", "2", "--out", out / "none.bin"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "Node 2 has no picture\n");
}

TEST(Cli, PlayingToAFileRemovesOnlyWhatItMade)
{
    TempDir dir;
    const auto encode = [&](const std::string& name, int rate) {
        const std::string wav = dir.write(name + ".wav", sineWav(440, 1, rate));
        if (runProcess("/usr/bin/lame", {"--quiet", wav, dir / name}).status != 0)
            throw std::runtime_error("lame");
        return dir / name;
    };
    const std::string a = encode("a.mp3", 44100);
    const std::string b = encode("b.mp3", 48000);
    // Tracks of two formats for one file: refused before anything is written.
    ProcessResult r = cli({"play", a, b, "--out", dir / "two.wav"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("the tracks differ in format (" + a + ": 44100 Hz stereo, " + b + ": 48000 Hz stereo)"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "two.wav"));
    // A device and a link that were there before the failure stay.
    std::filesystem::create_symlink("/dev/full", dir / "full-link");
    for (const std::string& out : {std::string("/dev/full"), dir / "full-link"}) {
        r = cli({"play", a, "--out", out});
        EXPECT_EQ(r.status, 1) << out;
        EXPECT_EQ(r.err, "5 Output device failure: " + out + " (left in place)\n") << out;
    }
    struct stat st {};
    EXPECT_TRUE(::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "full-link"));
    // A pipe whose reader goes away early: an output failure with its message, not a signal.
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread reader([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);
        char buffer[1000];
        (void)!::read(fd, buffer, sizeof buffer);
        ::close(fd);
    });
    r = cli({"play", a, "--out", fifo});
    reader.join();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "5 Output device failure: " + fifo + " (left in place)\n");
}

TEST(Cli, AProbeCacheThatIsNoFileIsPassedOver)
{
    TempDir dir;
    dir.write("music/a.mp3", fakeTrack("\xFF\xFB\x90\x44", 32000, id3v1("Alpha")));
    const std::string ini = dir.write("c.ini", "MP3RootDir = music\n");
    const std::vector<std::string> env{"LC_ALL=C", "XDG_CACHE_HOME=" + dir.path() + "cache"};
    const std::vector<std::string> args{"--config", ini, "tree"};
    ASSERT_EQ(runProcess(builtProgram("cantorel-cli"), args, env).status, 0);
    std::string file;
    for (const auto& e : std::filesystem::directory_iterator(dir / "cache/cantorel"))
        if (e.path().extension() == ".sqlite")
            file = e.path().string();
    ASSERT_FALSE(file.empty());
    // A pipe in its place: the run goes on without the cache and says so once.
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    const ProcessResult r = runProcess(builtProgram("cantorel-cli"), args, env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "[3] Alpha\n");
    EXPECT_EQ(r.err,
              "cantorel-cli: " + file + " is not a regular file; the collection is read without the probe cache\n");
    struct stat st {};
    EXPECT_TRUE(::stat(file.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

TEST(Cli, BothProgramsAnswerTheirOptionsWithoutADisplay)
{
    TempDir dir;
    const std::string ini = configIn(dir);
    // The window program too: --help and --version need no display, and mistakes end it
    // before it opens one.
    const std::vector<std::string> noDisplay{"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"};
    const struct {
        std::string program;
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } cases[] = {
        {"cantorel", {"--help"}, 0, "Usage: cantorel [--config FILE] [FOLDER]", ""},
        {"cantorel", {"--version"}, 0, "cantorel 0.2.0\n", ""},
        {"cantorel",
         {"--bogus"},
         2,
         "",
         "cantorel: unknown option or a second folder '--bogus'\nTry 'cantorel --help'.\n"},
        {"cantorel",
         {"--config", ini, dir / "none"},
         2,
         "",
         "cantorel: the music folder " + dir.path() + "none is not a folder\n"},
        {"cantorel-cli", {"--version"}, 0, "cantorel-cli 0.2.0\n", ""},
        {"cantorel-cli",
         {"--config", ini, "--root", dir / "none", "tree"},
         2,
         "",
         "cantorel-cli: the music folder " + dir.path() + "none is not a folder\nTry 'cantorel-cli --help'.\n"},
    };
    for (const auto& c : cases) {
        if (!std::filesystem::exists(builtProgram(c.program)))
            continue; // built without the window
        const ProcessResult r = runProcess(builtProgram(c.program), c.args, noDisplay);
        EXPECT_EQ(r.status, c.status) << c.program << ' ' << c.args.front() << r.err;
        EXPECT_TRUE(r.out.starts_with(c.out)) << r.out;
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(Cli, PlayingEndsCleanlyOnABusyMachine)
{
    // Busy cores: the tracks may all be written before the command first looks.
    std::atomic<bool> busy{true};
    std::vector<std::thread> spinners;
    for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
        spinners.emplace_back([&busy] {
            while (busy)
                std::atomic_signal_fence(std::memory_order_seq_cst);
        });
    TempDir dir;
    const std::string track = encodeTone(dir, "a.mp3", 440, 0.3);
    for (int run = 0; run < 5; ++run) {
        const std::string out = dir / ("out" + std::to_string(run) + ".wav");
        const ProcessResult r = cli({"play", track, track, "--out", out});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("end\n"), std::string::npos) << r.out;
    }
    busy = false;
    for (std::thread& t : spinners)
        t.join();
}

TEST(Cli, TheModernFieldsAndUndo)
{
    TempDir dir;
    const std::string ini = configIn(dir);
    const std::string track = encodeTone(dir, "t.mp3", 440, 0.3);
    const std::string original = readAll(track);
    const std::string cover = dir.write("c.png", std::string("\x89PNG\r\n\x1A\n", 8) + std::string(100, 'p'));
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--config", ini});
        return cliWithState(dir / "state", args);
    };
    ASSERT_EQ(run({"tag", track, "--track", "3/12", "--disc", "1/2", "--album-artist", "Various", "--genre", "J-Pop",
                   "--cover", cover})
                  .status,
              0);
    const std::string tags = runProcess("/usr/bin/python3", {"-c",
                                                             "import sys, mutagen.id3 as m\n"
                                                             "t = m.ID3(sys.argv[1])\n"
                                                             "print(t['TRCK'], t['TPOS'], t['TPE2'], t['TCON'], "
                                                             "int(t.getall('APIC')[0].type), t.getall('APIC')[0].mime)",
                                                             track})
                                 .out;
    EXPECT_EQ(tags, "3/12 1/2 Various J-Pop 3 image/png\n");
    const ProcessResult probe = run({"--json", "probe", track});
    for (const char* field :
         {"\"GenreText\": \"J-Pop\"", "\"Disc\": 1", "\"AlbumArtist\": \"Various\"", "\"Track\": 3"})
        EXPECT_NE(probe.out.find(field), std::string::npos) << field << probe.out;
    // Usage errors: bad numbers, a cover that is no picture.
    EXPECT_EQ(run({"tag", track, "--track", "x"}).status, 2);
    EXPECT_EQ(run({"tag", track, "--genre", "300"}).status, 2);
    EXPECT_EQ(run({"tag", track, "--cover", ini}).status, 1);
    // A description made in a new file, then undone: the file is gone again; the tag save
    // undone: the track is byte for byte as it was.
    ASSERT_EQ(run({"describe", track, "Described"}).status, 0);
    ASSERT_TRUE(std::filesystem::exists(dir / "files.bbs"));
    const ProcessResult list = run({"--json", "undo"});
    EXPECT_NE(list.out.find("\"What\": \"description\""), std::string::npos) << list.out;
    const auto newest = [&] {
        const std::string listed = run({"undo"}).out;
        return listed.substr(0, listed.find('\t'));
    };
    // A second description changes the file in place; undone, it is as it was.
    const std::string described = readAll(dir / "files.bbs");
    ASSERT_EQ(run({"describe", ini, "The settings"}).status, 0);
    ASSERT_NE(readAll(dir / "files.bbs").find("The settings"), std::string::npos);
    ASSERT_EQ(run({"undo", newest()}).status, 0);
    EXPECT_TRUE(readAll(dir / "files.bbs") == described);
    ASSERT_EQ(run({"undo", std::to_string(std::stoi(newest()) - 2)}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "files.bbs"));
    const std::string tagSave = std::to_string(std::stoi(newest()) - 4); // before the descriptions and their undos
    ASSERT_EQ(run({"undo", tagSave}).status, 0);
    EXPECT_TRUE(readAll(track) == original);
    // Changed since: refused, nothing written.
    ASSERT_EQ(run({"tag", track, "--title", "Mine"}).status, 0);
    const std::string mine = newest();
    ASSERT_EQ(run({"tag", track, "--title", "Theirs"}).status, 0);
    const std::string theirs = readAll(track);
    const ProcessResult refused = run({"undo", mine});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("changed since save " + mine), std::string::npos) << refused.err;
    EXPECT_TRUE(readAll(track) == theirs);
}

TEST(Cli, SearchPrintsTheMatchingNodes)
{
    TempDir dir;
    dir.makeDir("Кино");
    dir.write("Кино/a.mp3", fakeTrack("\xFF\xFB\x90\x44", 4000, id3v1("Song", "Artist", "", "", "", 17)));
    dir.write("Кино/files.bbs",
              "a.mp3 \xD0\x9F\xD0\xB5\xD1\x81\xD0\xBD\xD1\x8F Caf\xC3\xA9\r\n"); // "Песня Café", UTF-8
    const auto search = [&](const std::string& extra, std::vector<std::string> args) {
        args.insert(args.begin(), {"--config", configIn(dir, extra), "--no-cache", "search"});
        return cli(args);
    };
    const ProcessResult latin = search("", {"kino"});
    EXPECT_EQ(latin.status, 0) << latin.err;
    EXPECT_EQ(latin.out, "0\tКино\t" + dir.path() + "Кино\n");
    // Every word, in any field: the description's two words and the tag's artist.
    const ProcessResult json = search("", {"--json", "CAFE песня artist"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"index\": 1"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"text\": \"Song\""), std::string::npos) << json.out;
    const ProcessResult none = search("SearchLatin = no\n", {"kino"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("no match"), std::string::npos);
    EXPECT_EQ(search("", {}).status, 2);
}

TEST(Cli, RepairShowsWritesAndUndoes)
{
    TempDir dir;
    const std::string ini = configIn(dir);
    dir.makeDir("album");
    const std::string track = dir.write("album/a.mp3", fakeTrack("\xFF\xFB\x90\x44", 4000,
                                                                 id3v1("\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8",
                                                                       "\xCA\xE8\xED\xEE"))); // 1251
    const std::string original = readAll(track);
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--config", ini, "repair"});
        return cliWithState(dir / "state", args);
    };
    const ProcessResult preview = run({dir / "album", "--dry-run"});
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_NE(preview.out.find("windows-1251"), std::string::npos) << preview.out;
    EXPECT_NE(preview.out.find("-> Группа крови"), std::string::npos) << preview.out;
    EXPECT_EQ(readAll(track), original);
    EXPECT_EQ(run({dir / "album", "--from", "Shift_JIS"}).status, 1); // cannot be read so
    EXPECT_EQ(run({dir / "missing"}).status, 2);
    const ProcessResult repaired = run({"--json", dir.path(), "--recursive"});
    EXPECT_EQ(repaired.status, 0) << repaired.err;
    EXPECT_NE(repaired.out.find("\"Written\": 1"), std::string::npos) << repaired.out;
    const std::string tags = runProcess("/usr/bin/python3", {"-c",
                                                             "import sys, mutagen.id3 as m\n"
                                                             "t = m.ID3(sys.argv[1])\n"
                                                             "print(t['TIT2'], t['TPE1'], int(t['TIT2'].encoding))",
                                                             track})
                                 .out;
    EXPECT_EQ(tags, "Группа крови Кино 3\n");
    const std::string listed = cliWithState(dir / "state", {"--config", ini, "undo"}).out;
    ASSERT_EQ(cliWithState(dir / "state", {"--config", ini, "undo", listed.substr(0, listed.find('\t'))}).status, 0);
    EXPECT_TRUE(readAll(track) == original);
}
