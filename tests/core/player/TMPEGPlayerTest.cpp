#include "core/player/TMPEGPlayer.h"

#include "support/FakeMpeg.h"
#include "support/ManualTimer.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

class PlayerTest : public ::testing::Test {
protected:
    PlayerTest() : player(ManualTimer::factory(timer))
    {
        player.PathToDLL = FakeMpeg::directory();
        player.setTimerFreq(250);
        player.UseTimer = true;
        player.OnPosUpdate = [this](std::int32_t pos, std::int32_t len) { reports.push_back({pos, len}); };
        player.OnPlayEnd = [this](TMPEGPlayer*) { ++ends; };
    }
    // Loads the fake and forgets the calls loading made.
    void load()
    {
        player.LoadDLL();
        fake.reset();
    }
    void expectError(const std::function<void()>& f, int code, const std::string& message)
    {
        try {
            f();
            ADD_FAILURE() << "no error, expected code " << code;
        } catch (const TMPEGError& e) {
            EXPECT_EQ(e.ErrorCode, code);
            EXPECT_EQ(std::string(e.what()), message);
        }
    }

    ManualTimer* timer = nullptr;
    TMPEGPlayer player;
    FakeMpeg fake;
    std::vector<std::pair<int, int>> reports;
    int ends = 0;
};

} // namespace

TEST_F(PlayerTest, InitialValuesAndPriorityMapping)
{
    TMPEGPlayer fresh([] { return std::make_unique<ManualTimer>(); });
    EXPECT_EQ(fresh.PlayerPriority(), TPlayPriority::Normal);
    EXPECT_FALSE(fresh.UseTimer);
    EXPECT_EQ(fresh.TimerFreq(), 0);
    EXPECT_EQ(fresh.OutputDevice(), TOutputDevice::wavemapper);
    EXPECT_EQ(fresh.PlayedXTimes(), 0);
    EXPECT_FALSE(fresh.DLLLoaded());
    const std::pair<TPlayPriority, int> mapping[] = {{TPlayPriority::Idle, -15},       {TPlayPriority::Lowest, -2},
                                                     {TPlayPriority::BelowNormal, -1}, {TPlayPriority::Normal, 0},
                                                     {TPlayPriority::AboveNormal, 1},  {TPlayPriority::Highest, 2},
                                                     {TPlayPriority::TimeCritical, 15}};
    for (const auto& [priority, value] : mapping) {
        fresh.setPlayerPriority(priority); // no library: the value waits for the first start
        EXPECT_EQ(fresh.ThreadPriority(), value);
        EXPECT_EQ(TMPEGPlayer::playPriorityOf(value), priority);
    }
    EXPECT_EQ(TMPEGPlayer::playPriorityOf(7), TPlayPriority::Normal);
    fresh.setTimerFreq(0);
    fresh.UseTimer = true;
    fresh.setTimerFreq(0);
    EXPECT_FALSE(fresh.UseTimer);
}

TEST_F(PlayerTest, LoadingFailures)
{
    player.PathToDLL = "/nonexistent";
    expectError([&] { player.LoadDLL(); }, 0, "Can't load MPEG library");
    player.PathToDLL = FakeMpeg::incompleteDirectory();
    expectError([&] { player.LoadDLL(); }, 0, "MPEG library not loaded");
    EXPECT_FALSE(player.DLLLoaded());
    player.PathToDLL = FakeMpeg::directory();
    ::setenv("FAKE_MPEG_INIT_FAILS", "1", 1);
    expectError([&] { player.LoadDLL(); }, 1, "Internal decoder error");
    ::unsetenv("FAKE_MPEG_INIT_FAILS");
    EXPECT_FALSE(player.DLLLoaded());
    EXPECT_EQ(player.LastErrorCode(), 1);
    // Without a library every operation but StopPlay's mode test reports code 0.
    expectError([&] { player.OpenStream(); }, 0, "MPEG library not loaded");
    expectError([&] { player.StopPlay(); }, 2, "Incorrect mode");
    expectError([&] { player.SeekTo(5); }, 0, "MPEG library not loaded");
}

TEST_F(PlayerTest, FirstStartSendsItsCallsInOrder)
{
    load();
    EXPECT_EQ(timer->interval(), 250);
    EXPECT_FALSE(timer->enabled());
    fake.set(10'000, 1234, 3, 0);
    player.setStreamName("/music/a.mp3");
    player.setOutputDevice(TOutputDevice::pcmfile);
    player.OutFilename = "/tmp/out.wav";
    player.WaveDeviceNum = -1;
    player.StartPos = 500;
    player.EndPos = 9000;
    player.setPlayerPriority(TPlayPriority::AboveNormal);
    fake.reset();
    fake.set(10'000, 1234, 3, 0);
    player.StartPlay();
    EXPECT_EQ(fake.calls(), "Open(/music/a.mp3,0);GetLength;SetPriority(1);SetOutputDevice(2,/tmp/out.wav);"
                            "SetSndDevice(-1);Play(500,9000);GetCurrentPos;");
    EXPECT_TRUE(player.Playing());
    EXPECT_EQ(player.PlayedXTimes(), 2);
    EXPECT_EQ(player.LengthMs(), 10'000);
    EXPECT_TRUE(timer->enabled());
    EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{1234, 10'000}}));
}

TEST_F(PlayerTest, PauseStopAndRestart)
{
    load();
    fake.set(10'000, 0, 3, 0);
    player.setStreamName("/a.mp3");
    expectError([&] { player.SetPaused(true); }, 2, "Incorrect mode");
    player.SetPaused(false); // not playing: only clears the flag
    player.StartPlay();
    player.StartPlay(); // playing: nothing
    player.SetPaused(true);
    EXPECT_TRUE(player.Paused());
    player.StartPlay(); // paused: resumes
    EXPECT_FALSE(player.Paused());
    player.StopPlay();
    expectError([&] { player.StopPlay(); }, 2, "Incorrect mode");
    player.StartPos = 777;
    player.StartPlay(); // after a stop: restart, no new start position
    EXPECT_EQ(fake.calls(), "Open(/a.mp3,0);GetLength;SetPriority(0);SetOutputDevice(0,);SetSndDevice(0);Play(0,0);"
                            "GetCurrentPos;Pause(0);Pause(1);Stop;Restart;GetCurrentPos;");
    EXPECT_EQ(player.PlayedXTimes(), 3);
}

TEST_F(PlayerTest, EndOfPlayAndPositionReports)
{
    load();
    fake.set(5000, 6000, 3, 0);
    player.setStreamName("/a.mp3");
    player.StartPlay();
    EXPECT_EQ(reports.back(), std::make_pair(0, 5000)); // a position above the length reads 0
    fake.set(5000, 4000, 3, 0);
    timer->tick();
    EXPECT_EQ(reports.back(), std::make_pair(4000, 5000));
    EXPECT_EQ(ends, 0);
    fake.end();
    timer->tick();
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(player.Playing());
    EXPECT_FALSE(timer->enabled());
    fake.reset();
    player.StartPlay(); // after the end: restart
    EXPECT_EQ(fake.calls(), "Restart;GetCurrentPos;");
    // Without an end handler the flag stays set.
    player.OnPlayEnd = nullptr;
    fake.end();
    timer->tick();
    EXPECT_FALSE(player.Playing());
    expectError([&] { player.SetPaused(true); }, 2, "Incorrect mode");
}

TEST_F(PlayerTest, TimerSettings)
{
    load();
    player.setTimerFreq(100); // after LoadDLL: the interval stays
    EXPECT_EQ(timer->interval(), 250);
    player.setTimerFreq(0);
    EXPECT_FALSE(player.UseTimer);
    player.setStreamName("/a.mp3");
    player.StartPlay();
    EXPECT_FALSE(timer->enabled());
    EXPECT_TRUE(reports.empty());
    fake.end();
    timer->tick();
    EXPECT_EQ(ends, 0);
}

TEST_F(PlayerTest, StreamNamesAndErrors)
{
    load();
    expectError([&] { player.OpenStream(); }, 254, "Can't play non-specified stream");
    player.setStreamName("/a.mp3");
    player.OpenStream();
    player.setStreamName("/b.mp3"); // closes the open stream
    EXPECT_FALSE(player.Opened());
    EXPECT_EQ(player.PlayedXTimes(), 0);
    fake.fail("Open", 3);
    expectError([&] { player.StartPlay(); }, 3, "Input stream error");
    EXPECT_FALSE(player.Opened());
    fake.reset();
    fake.fail("Play", 5);
    expectError([&] { player.StartPlay(); }, 5, "Output device failure");
    EXPECT_FALSE(player.Playing());
    EXPECT_EQ(player.PlayedXTimes(), 1);
    fake.reset();
    fake.set(0, 0, 0, 1); // a nonzero result without a code
    expectError([&] { player.StartPlay(); }, 0, "MPEG library not loaded");
    fake.set(0, 0, 0, 0);
    player.StartPlay(); // the first start is repeated
    EXPECT_NE(fake.calls().find("Play(0,0);GetCurrentPos;"), std::string::npos);
    fake.fail("GetPlayerMode", 42);
    expectError([&] { player.PlayerMode(); }, 42, "Unknown decoder error 42");
}

TEST_F(PlayerTest, StreamModeAndUnloading)
{
    load();
    player.FromStream = true;
    player.OpenStream();
    EXPECT_EQ(fake.calls(), "Open(null,1,user);GetLength;");
    fake.reset();
    player.UnloadDLL();
    EXPECT_EQ(fake.calls(), "Close;deinit;");
    EXPECT_FALSE(player.DLLLoaded());
    player.UnloadDLL(); // nothing loaded: nothing happens
}
