// Saves under failure: a full file system, a read-only one, files replaced or removed
// after the scan, and a process killed in the middle of a save. After each, the track's
// audio and every line of the description file are as they were.

#include "core/collection/CollectionBuilder.h"
#include "core/collection/DescriptionWriter.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"
#include "core/platform/Collation.h"

#include "support/Mp3Fixture.h"
#include "support/Namespace.h"
#include "support/Outcomes.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

const CodePage& oem() { return *CodePage::byNumber(437); }
const CodePage& ansi() { return *CodePage::byNumber(1252); }
const Collation& collation()
{
    static const Collation c("C", &ansi());
    return c;
}

std::string saveDescription(const std::string& path, const std::string& text)
{
    CollectionItem item;
    item.Path = path;
    item.Description = text;
    return test::errorOf(WriteDescription(item, DescriptionFormat{"files.bbs", oem(), ansi(), collation(), "/"}));
}

std::string saveTitle(const std::string& path, const std::string& title)
{
    CollectionItem item;
    item.Path = path;
    item.Name = title;
    item.Genre = 255;
    return test::outcomeOf(WriteTag(item, ansi()));
}

// The names in a directory, to see that no temporary file was left behind.
std::vector<std::string> namesIn(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

#define CHILD_CHECK(condition, code)                                                                                   \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            fprintf(stderr, "check failed (%d): %s\n", code, #condition);                                              \
            return code;                                                                                               \
        }                                                                                                              \
    } while (0)

const std::string Lines = "\xC9\xCD\xBB keep this line\r\nother.mp3 Other description\r\n";

// Forks a child that runs `save` for ever, lets it run `minUs` plus a random part of
// `spanUs` microseconds, and kills it, whatever it is doing then.
void killedDuring(std::mt19937& random, unsigned minUs, unsigned spanUs, const std::function<void(int)>& save)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (int i = 0;; ++i)
            save(i);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(minUs + random() % spanUs));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

} // namespace

TEST(FaultInjection, FullFileSystem)
{
    TempDir dir;
    const std::string root = dir.makeDir("full");
    const std::string audio = fakeTrack("\xFF\xFB\x90\x44", 20480); // whole pages: an append needs a new one
    const int status = inFileSystem(
        root, 64 * 1024, false,
        [&] {
            std::ofstream(root + "/t.mp3", std::ios::binary) << audio;
            std::ofstream(root + "/files.bbs", std::ios::binary) << Lines;
            std::ofstream filler(root + "/filler", std::ios::binary);
            const std::string page(4096, 'f');
            while (filler.write(page.data(), page.size()) && filler.flush()) {
            }
        },
        [&] {
            const std::vector<std::string> before = namesIn(root);
            CHILD_CHECK(saveTitle(root + "/t.mp3", "Title") == "failed", 1);
            CHILD_CHECK(readAll(root + "/t.mp3") == audio, 2);
            CHILD_CHECK(saveDescription(root + "/t.mp3", "New") == "Error while saving file " + root + "/files.bbs", 3);
            CHILD_CHECK(readAll(root + "/files.bbs") == Lines, 4);
            CHILD_CHECK(namesIn(root) == before, 5);
            return 0;
        });
    if (status == 77)
        GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(status, 0);
}

TEST(FaultInjection, ReadOnlyFileSystem)
{
    TempDir dir;
    const std::string root = dir.makeDir("ro");
    const std::string track = fakeTrack("\xFF\xFB\x90\x44", 5000, id3v1("Old"));
    const int status = inFileSystem(
        root, 1 << 20, true,
        [&] {
            std::ofstream(root + "/t.mp3", std::ios::binary) << track;
            std::ofstream(root + "/files.bbs", std::ios::binary) << Lines;
        },
        [&] {
            CHILD_CHECK(saveTitle(root + "/t.mp3", "Title") == "failed", 1);
            CHILD_CHECK(readAll(root + "/t.mp3") == track, 2);
            CHILD_CHECK(saveDescription(root + "/t.mp3", "New") == "Error while saving file " + root + "/files.bbs", 3);
            CHILD_CHECK(readAll(root + "/files.bbs") == Lines, 4);
            return 0;
        });
    if (status == 77)
        GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(status, 0);
}

TEST(FaultInjection, FilesReplacedOrRemovedAfterTheScan)
{
    TempDir dir;
    dir.write("music/a.mp3", fakeTrack("\xFF\xFB\x90\x44", 5000));
    dir.write("music/b.mp3", fakeTrack("\xFF\xFB\x90\x44", 5000));
    dir.write("music/sub/c.mp3", fakeTrack("\xFF\xFB\x90\x44", 5000));
    dir.write("music/sub/files.bbs", Lines);
    CollectionTree tree;
    BuildSettings settings = BuildSettings::forRoot(dir / "music/", collation(), trackProber(ansi()), oem(), ansi());
    settings.rootName.clear();
    CollectionBuilder(tree, settings).BuildTree();
    ASSERT_EQ(tree.NodeCount(), 4);
    const auto record = [&](const std::string& caption) -> CollectionItem {
        for (NodeId n : tree.Nodes) {
            if (tree.caption(n) == caption)
                return *tree.record(n);
        }
        throw std::runtime_error(caption);
    };
    std::filesystem::remove(dir / "music/a.mp3");
    std::filesystem::create_directory(dir / "music/a.mp3");
    std::filesystem::remove(dir / "music/b.mp3");
    EXPECT_EQ(test::outcomeOf(WriteTag(record("a.mp3"), ansi())), "failed");
    EXPECT_EQ(test::outcomeOf(WriteTag(record("b.mp3"), ansi())), "failed");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "music/a.mp3"));
    EXPECT_FALSE(std::filesystem::exists(dir / "music/b.mp3"));
    std::filesystem::remove(dir / "music/sub/files.bbs");
    std::filesystem::create_directory(dir / "music/sub/files.bbs");
    CollectionItem c = record("c.mp3");
    c.Description = "New";
    EXPECT_EQ(test::errorOf(WriteDescription(c, DescriptionFormat{"files.bbs", oem(), ansi(), collation(), "/"})),
              "Error while saving file " + dir.path() + "music/sub/files.bbs");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "music/sub/files.bbs"));
}

TEST(FaultInjection, KilledInTheMiddleOfASave)
{
    TempDir dir;
    std::string lines;
    for (int i = 0; i < 40'000; ++i)
        lines += "line" + std::to_string(i) + ".mp3 something to keep " + std::to_string(i) + "\r\n";
    const std::string bbs = dir.write("files.bbs", lines);
    const std::string audio = fakeTrack("\xFF\xFB\x90\x44", 100'000);
    const std::string track = dir.write("t.mp3", audio);
    const std::string first = "t.mp3           first\r\n";
    const std::string second = "t.mp3           second\r\n";
    std::mt19937 random(12345);
    for (int round = 0; round < 25; ++round) {
        killedDuring(random, 2000, 30000, [&](int i) {
            saveDescription(track, i % 2 ? "second" : "first");
            saveTitle(track, i % 2 ? "Second" : "First");
        });
        const std::string now = readAll(bbs);
        EXPECT_TRUE(now == lines || now == lines + first || now == lines + second)
            << "round " << round << ": " << now.size();
        const std::string data = readAll(track);
        EXPECT_EQ(data.substr(0, audio.size()), audio) << round;
        EXPECT_TRUE(data.size() == audio.size() || data.size() == audio.size() + 128) << round;
        if (data.size() > audio.size()) {
            const std::string tag = data.substr(audio.size());
            EXPECT_TRUE(tag == id3v1("First") || tag == id3v1("Second")) << round;
        }
    }
}

TEST(FaultInjection, KilledSavesLeaveNoCopiesBehindAndTheNextSaveClearsThem)
{
    TempDir dir;
    const std::string audio = fakeTrack("\xFF\xFB\x90\x44", 100'000);
    const std::string track = dir.write("t.mp3", audio);
    dir.write("files.bbs", std::string(4 << 20, 'x') + "\r\n");
    std::mt19937 random(777);
    for (int round = 0; round < 10; ++round) {
        killedDuring(random, 1000, 20000, [&](int i) { saveDescription(track, i % 2 ? "second" : "first"); });
    }
    // A leftover of an older version's pattern goes too; a file of another pattern stays.
    dir.write(".files.bbs.tmp999999-1", "stale");
    dir.write(".files.bbs.keep", "mine");
    ASSERT_EQ(saveDescription(track, "last"), "");
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{".files.bbs.keep", "files.bbs", "t.mp3"}));
    // Temporary names stay short whatever the description file's name.
    const std::string longName(244, 'n');
    CollectionItem item;
    item.Path = track;
    item.Description = "long";
    EXPECT_EQ(errorOf(WriteDescription(item, DescriptionFormat{longName, oem(), ansi(), collation(), "/"})), "");
    EXPECT_TRUE(std::filesystem::exists(dir / longName));
}

TEST(FaultInjection, ParallelSavesInOneDirectoryKeepEveryLine)
{
    TempDir dir;
    constexpr int Writers = 8;
    for (int round = 0; round < 10; ++round) {
        std::filesystem::remove(dir / "files.bbs");
        std::vector<pid_t> children;
        for (int w = 0; w < Writers; ++w) {
            const std::string track = dir.write("t" + std::to_string(w) + ".mp3", "x");
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0)
                ::_exit(saveDescription(track, "by writer " + std::to_string(w)).empty() ? 0 : 1);
            children.push_back(pid);
        }
        for (const pid_t pid : children) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << round;
        }
        const std::string lines = readAll(dir / "files.bbs");
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), Writers) << round << ":\n" << lines;
    }
}

TEST(FaultInjection, AKilledTagWriteNeverLeavesAReadOnlyTrackWritable)
{
    TempDir dir;
    const std::string audio = fakeTrack("\xFF\xFB\x90\x44", 2'000'000);
    const std::string track = dir.write("ro.mp3", audio);
    dir.shareWithUnprivileged();
    ::chmod(track.c_str(), 0444);
    const int status = asUnprivileged([&] {
        std::mt19937 random(99);
        for (int round = 0; round < 20; ++round) {
            killedDuring(random, 1000, 20000, [&](int i) { saveTitle(track, i % 2 ? "Second" : "First"); });
            struct stat st {};
            CHILD_CHECK(::stat(track.c_str(), &st) == 0 && (st.st_mode & 07777) == 0444, 1);
            const std::string data = readAll(track);
            CHILD_CHECK(data.substr(0, audio.size()) == audio, 2);
        }
        return 0;
    });
    EXPECT_EQ(status, 0);
}

TEST(FaultInjection, PlayingToAFileReportsWhatFailed)
{
    TempDir dir;
    const std::string wav = dir.write("tone.wav", sineWav(440, 3));
    ASSERT_EQ(runProcess("/usr/bin/lame", {"--quiet", wav, dir / "tone.mp3"}).status, 0);
    const std::string mp3 = readAll(dir / "tone.mp3");
    // The output of a full disk: exit 1, the reason, and no WAV that claims what it lacks.
    const std::string root = dir.makeDir("full");
    const int status = inFileSystem(
        root, 128 * 1024, false, [&] { std::ofstream(root + "/in.mp3", std::ios::binary) << mp3; },
        [&] {
            const ProcessResult r =
                runProcess(builtProgram("cantorel-cli"), {"play", root + "/in.mp3", "--out", root + "/out.wav"});
            CHILD_CHECK(r.status == 1, 1);
            CHILD_CHECK(r.err == "5 Output device failure: " + root + "/out.wav (removed)\n", 2);
            CHILD_CHECK(!std::filesystem::exists(root + "/out.wav"), 3);
            CHILD_CHECK(readAll(root + "/in.mp3") == mp3, 4);
            return 0;
        });
    if (status == 77)
        GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(status, 0);
    // The track as its own output, and a FIFO in place of a track, are refused at once.
    const std::string track = dir.write("s.mp3", mp3);
    ProcessResult r = runProcess(builtProgram("cantorel-cli"), {"play", track, "--out", track});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("the output file is the track itself: " + track), std::string::npos) << r.err;
    EXPECT_EQ(readAll(track), mp3);
    ASSERT_EQ(::mkfifo((dir / "fifo.mp3").c_str(), 0600), 0);
    r = runProcess(builtProgram("cantorel-cli"), {"play", dir / "fifo.mp3", "--out", dir / "f.wav"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "3 Input stream error: " + dir.path() + "fifo.mp3: not a regular file\n");
}

TEST(FaultInjection, ID3v2SavesKilledOrOnAFullDiskKeepTheAudioAndOneWholeTag)
{
    TempDir dir;
    const std::string wav = dir.write("tone.wav", sineWav(440, 2));
    ASSERT_EQ(runProcess("/usr/bin/lame", {"--quiet", "--add-id3v2", "--tt", "Old", wav, dir / "t.mp3"}).status, 0);
    const std::string track = dir / "t.mp3";
    const std::string original = readAll(track);
    const std::string pcm = runProcess("/usr/bin/mpg123", {"-q", "-s", track}).out;
    ASSERT_FALSE(pcm.empty());
    const auto title = [&] {
        CollectionItem item;
        item.Path = track;
        (void)ReadTrackInfo(item, ansi());
        return item.Name;
    };
    std::mt19937 random(4242);
    // CANTOREL_CRASH_ROUNDS=200 makes the long run.
    const int rounds = std::getenv("CANTOREL_CRASH_ROUNDS") ? std::atoi(std::getenv("CANTOREL_CRASH_ROUNDS")) : 12;
    for (int round = 0; round < rounds; ++round) {
        killedDuring(random, 2000, 40000, [&](int i) { saveTitle(track, i % 2 ? "Second" : "First"); });
        const std::string now = title();
        EXPECT_TRUE(now == "Old" || now == "First" || now == "Second") << round << ": " << now;
        EXPECT_EQ(runProcess("/usr/bin/mpg123", {"-q", "-s", track}).out, pcm) << round;
    }
    // A full disk: the save fails and the file is as it was.
    const std::string root = dir.makeDir("full");
    const int status = inFileSystem(
        root, 96 * 1024, false,
        [&] {
            std::ofstream(root + "/t.mp3", std::ios::binary) << original;
            std::ofstream filler(root + "/filler", std::ios::binary);
            const std::string page(4096, 'f');
            while (filler.write(page.data(), page.size()) && filler.flush()) {
            }
        },
        [&] {
            CHILD_CHECK(saveTitle(root + "/t.mp3", "Title") == "failed", 1);
            CHILD_CHECK(readAll(root + "/t.mp3") == original, 2);
            return 0;
        });
    if (status == 77)
        GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(status, 0);
}
