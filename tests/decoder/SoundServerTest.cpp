#include "core/platform/DynamicLibrary.h"
#include "core/player/TMPEGPlayer.h"

#include "decoder/mpeg.h"

#include "support/ManualTimer.h"
#include "support/Mp3Fixture.h"
#include "support/PrivatePulse.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace cantorel;
using namespace cantorel::test;

namespace {

using Clock = std::chrono::steady_clock;

// How long a call from the window thread may wait on a stalled server: the 300 ms the
// player allows, and some for a sanitizer build.
constexpr auto CallLimit = std::chrono::milliseconds(400);

std::chrono::milliseconds since(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

class SoundServerTest : public ::testing::Test {
protected:
    SoundServerTest() : player(ManualTimer::factory(timer))
    {
        // No sound card to fall back on: a server that is gone is an output failure.
        ::setenv("ALSA_CONFIG_PATH", dir.write("empty.conf", "").c_str(), 1);
        // The sound card's output module keeps what it allocates for the life of the
        // process; it stays loaded, so that the leak check knows it (tests/lsan.supp).
        (void)::dlopen(CANTOREL_OUT123_ALSA_MODULE, RTLD_NOW | RTLD_NODELETE);
        player.PathToDLL = CANTOREL_BIN_DIR;
        player.setTimerFreq(250);
        player.UseTimer = true;
        player.OnPlayEnd = [this](TMPEGPlayer*) { ended = true; };
        player.LoadDLL();
    }
    ~SoundServerTest() override
    {
        pulse.resume();
        player.UnloadDLL();
    }
    void SetUp() override
    {
        if (!PrivatePulse::available())
            GTEST_SKIP() << "no PulseAudio server to start";
    }
    // Ticks the player's timer for `time`, or until the end of play.
    void tickFor(std::chrono::milliseconds time)
    {
        for (const auto end = Clock::now() + time; Clock::now() < end && !ended;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            timer->tick();
        }
    }
    // The code of the TMPEGError that `call` raises, 0 for none.
    template <typename F>
    static int errorOf(F call)
    {
        try {
            call();
        } catch (const TMPEGError& e) {
            return e.ErrorCode;
        }
        return 0;
    }

    TempDir dir;
    PrivatePulse pulse;
    ManualTimer* timer = nullptr;
    TMPEGPlayer player;
    bool ended = false;
};

} // namespace

TEST_F(SoundServerTest, AStalledServerHoldsNoCallLong)
{
    player.setStreamName(encodeTone(dir, "a.mp3", 440, 10));
    player.StartPlay();
    tickFor(std::chrono::milliseconds(700));
    pulse.stall();
    // The player fills what the server had asked for, then waits for it in a write.
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const struct {
        const char* name;
        std::function<void()> call;
    } calls[] = {
        {"Seek", [&] { player.SeekTo(4000); }},
        {"Pause", [&] { (void)errorOf([&] { player.SetPaused(true); }); }},
        {"Resume", [&] { (void)errorOf([&] { player.SetPaused(false); }); }},
        {"Stop", [&] { (void)errorOf([&] { player.StopPlay(); }); }},
        {"Close", [&] { (void)errorOf([&] { player.CloseStream(); }); }},
    };
    for (const auto& c : calls) {
        const auto start = Clock::now();
        c.call();
        EXPECT_LT(since(start), CallLimit) << c.name;
    }
    // A Play into the stalled server gives up in time too, with an output failure.
    const auto start = Clock::now();
    EXPECT_EQ(errorOf([&] { player.StartPlay(); }), 5);
    EXPECT_LT(since(start), CallLimit) << "Play";
}

TEST_F(SoundServerTest, AKilledServerEndsTheStreamWithAnOutputFailureAndIsFoundAgain)
{
    const std::string track = encodeTone(dir, "a.mp3", 440, 10);
    player.setStreamName(track);
    player.StartPlay();
    tickFor(std::chrono::milliseconds(700));
    pulse.kill();
    const auto killed = Clock::now();
    tickFor(std::chrono::seconds(3));
    ASSERT_TRUE(ended);
    EXPECT_LT(since(killed), std::chrono::milliseconds(1000));
    EXPECT_EQ(errorOf([&] { player.CloseStream(); }), 5);
    // Nothing to play into now ...
    player.setStreamName(track);
    EXPECT_EQ(errorOf([&] { player.StartPlay(); }), 5);
    // ... and once the server is back, the next Play plays.
    pulse.restart();
    ended = false;
    EXPECT_EQ(errorOf([&] { player.StartPlay(); }), 0);
    tickFor(std::chrono::milliseconds(800));
    EXPECT_FALSE(ended);
    EXPECT_GT(player.CurrentPos(), 200);
}

TEST_F(SoundServerTest, TheCommandLinePlayerStopsOnTheTrackWhoseOutputFailed)
{
    const std::string a = encodeTone(dir, "a.mp3", 440, 3);
    const std::string b = encodeTone(dir, "b.mp3", 660, 3);
    ProcessResult r;
    Clock::time_point exited;
    std::thread player([&] {
        r = runProcess(builtProgram("cantorel-cli"), {"play", a, b, a}, {"ASAN_OPTIONS=detect_leaks=0"});
        exited = Clock::now();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    pulse.kill();
    const auto killed = Clock::now();
    player.join();
    EXPECT_LT(exited - killed, std::chrono::milliseconds(1000));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "5 Output device failure\n");
    EXPECT_EQ(r.out.find("end"), std::string::npos) << r.out;
}

TEST_F(SoundServerTest, PositionsNeverGoBackAndTheEndsOfTracksAreKept)
{
    // Two tracks in a row; the second starts while the first's end still plays, and is
    // paused and stopped at once, during that end.
    const std::string a = encodeTone(dir, "a.mp3", 440, 2);
    const std::string b = encodeTone(dir, "b.mp3", 660, 2);
    player.setStreamName(a);
    player.StartPlay();
    std::vector<std::int32_t> positions;
    const auto track = [&](std::chrono::milliseconds time) {
        for (const auto end = Clock::now() + time; Clock::now() < end && !ended;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            positions.push_back(player.CurrentPos());
            timer->tick();
        }
    };
    const auto monotonic = [](const std::vector<std::int32_t>& reports) {
        for (std::size_t i = 1; i < reports.size(); ++i) {
            if (reports[i] < 0 || reports[i] < reports[i - 1])
                return ::testing::AssertionFailure()
                       << "report " << i << ": " << reports[i] << " after " << reports[i - 1];
        }
        return ::testing::AssertionSuccess();
    };
    track(std::chrono::seconds(5));
    ASSERT_TRUE(ended);
    const auto endFlagged = Clock::now();
    // The end is signalled when the last sample is handed over, about a second before it
    // is heard (the next track follows without a gap).
    EXPECT_LT(player.CurrentPos(), 2000);
    EXPECT_TRUE(monotonic(positions));
    ended = false;
    player.setStreamName(b);
    player.StartPlay();
    EXPECT_EQ(player.CurrentPos(), 0); // the first one's end still plays
    player.SetPaused(true);
    player.SetPaused(false);
    player.StopPlay();
    player.StartPlay();
    positions.clear();
    track(std::chrono::seconds(5));
    ASSERT_TRUE(ended);
    EXPECT_TRUE(monotonic(positions));
    // The second track's end flag comes when all of it is handed over: after the rest of
    // the first one and the second's two seconds, less the second the server holds. Had
    // the pause or the stop thrown the first one's end away, it would come a second early.
    EXPECT_GT(Clock::now() - endFlagged, std::chrono::milliseconds(1800));
}

TEST(MpegLibraryEntries, RestartWithoutPlayIsTheWrongMode)
{
    TempDir dir;
    DynamicLibrary library;
    ASSERT_TRUE(library.load(std::string(CANTOREL_BIN_DIR) + "/mpeg.so"));
    const auto entry = [&](const char* name) { return library.symbol(name); };
    ASSERT_NE(reinterpret_cast<decltype(&init)>(entry("init"))(), 0);
    const std::string track = encodeTone(dir, "a.mp3", 440, 1);
    reinterpret_cast<decltype(&Open)>(entry("Open"))(track.c_str(), 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                     nullptr, nullptr);
    ASSERT_EQ(reinterpret_cast<decltype(&LastError)>(entry("LastError"))(), MPEG_OK);
    EXPECT_EQ(reinterpret_cast<decltype(&Restart)>(entry("Restart"))(), MPEG_ERR_MODE);
    EXPECT_EQ(reinterpret_cast<decltype(&GetPlayerMode)>(entry("GetPlayerMode"))(), MPEG_MODE_STOPPED);
    reinterpret_cast<decltype(&deinit)>(entry("deinit"))();
}
