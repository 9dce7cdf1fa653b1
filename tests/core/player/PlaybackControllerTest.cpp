#include "core/player/PlaybackController.h"

#include "core/player/TMPEGPlayer.h"

#include "support/FakeMpeg.h"
#include "support/ManualTimer.h"
#include "support/TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

// Everything the views hear, in order.
class RecordingListener : public PlaybackListener {
public:
    void activeTrackChanged(const PlaybackController& p) override
    {
        events.push_back("active " + p.lineText() + " | " + p.hint() + " | " + std::to_string(p.lengthSeconds()) +
                         (p.canGoPrevious() ? " prev" : "") + (p.canGoNext() ? " next" : ""));
    }
    void playingChanged(bool playing) override { events.push_back(playing ? "playing" : "stopped"); }
    void positionChanged(std::int32_t position, std::int32_t length) override
    {
        events.push_back("at " + std::to_string(position) + "/" + std::to_string(length));
    }
    void playbackFinished() override { events.push_back("finished"); }
    void playbackFailed(const Failure& failure) override
    {
        events.push_back("failed " + std::to_string(failure.code) + " " + failure.message);
    }
    std::vector<std::string> take() { return std::exchange(events, {}); }

    std::vector<std::string> events;
};

class PlaybackControllerTest : public ::testing::Test {
protected:
    PlaybackControllerTest() : player(ManualTimer::factory(timer))
    {
        player.PathToDLL = FakeMpeg::directory();
        player.setTimerFreq(250);
        player.UseTimer = true;
        player.LoadDLL();
        const NodeId album = addNode(NoNode, "Album", "", KindDirectory);
        first = addNode(album, "One", dir.write("a/1.mp3", "x"), KindTrack);
        second = addNode(album, "Two", dir.write("a/2.mp3", "x"), KindTrack);
        tree.fillNodeTable();
        controller.addListener(&views);
        fake.reset();
        fake.set(200'000, 0, 1, 0);
    }
    NodeId addNode(NodeId parent, const std::string& title, const std::string& path, std::uint8_t kind)
    {
        CollectionItem* r = tree.newRecord();
        r->Path = path;
        r->Name = title;
        r->Album = "Album";
        return tree.addNode(parent, title, r, kind);
    }

    TempDir dir;
    ManualTimer* timer = nullptr;
    ManualTimer* heard = nullptr; // the controller's: the views catch up when the end is heard
    TMPEGPlayer player;
    FakeMpeg fake;
    CollectionTree tree;
    NodeId first = NoNode, second = NoNode;
    std::chrono::steady_clock::time_point now{};
    PlaybackController controller{tree, player, PlaybackTexts{"Now: ", "Idle"}, [this] { return now; },
                                  ManualTimer::factory(heard)};
    RecordingListener views;
};

} // namespace

TEST_F(PlaybackControllerTest, ViewsFollowTheActiveTrackThroughTheEndOfPlay)
{
    controller.activateFirstTrack();
    EXPECT_EQ(controller.activeNode(), first);
    // A directory node is active first: no stream was opened yet, so its length is 0.
    EXPECT_EQ(views.take(), (std::vector<std::string>{"active Now: \rAlbum\rAlbum | . Album. Album | 0 next",
                                                      "active Now: \rOne\rAlbum | . One. Album | 200 next"}));
    controller.playPause();
    timer->tick();
    fake.set(200'000, 200'000, 3, 0); // heard to the end: nothing left in the output
    fake.end();
    timer->tick(); // the end of the first track: the next one plays
    EXPECT_EQ(controller.activeNode(), second);
    EXPECT_TRUE(controller.isPlaying());
    // Each start reports its first position at once; the last report of a track is its end.
    EXPECT_EQ(views.take(), (std::vector<std::string>{"at 0/200000", "playing", "at 0/200000", "at 200000/200000",
                                                      "stopped", "active Now: \rTwo\rAlbum | . Two. Album | 200 prev",
                                                      "at 200000/200000", "playing"}));
    fake.end();
    timer->tick(); // after the last track the panel stops and the track stays active
    EXPECT_EQ(controller.activeNode(), second);
    EXPECT_FALSE(controller.isPlaying());
    EXPECT_EQ(views.take(), (std::vector<std::string>{"at 200000/200000", "stopped", "finished"}));
    controller.MakeActiveTrack(NoNode);
    EXPECT_EQ(controller.hint(), "Idle");
    EXPECT_FALSE(controller.canPlay());
}

TEST_F(PlaybackControllerTest, ViewsChangeWhenTheEndIsHeard)
{
    controller.activateFirstTrack();
    controller.playPause();
    views.take();
    // The first track ends while the output still plays 600 ms of it: the next one starts
    // at once, and the views keep the first until its end is heard.
    fake.set(200'000, 199'400, 3, 0);
    fake.end();
    timer->tick();
    EXPECT_EQ(controller.activeNode(), second);
    EXPECT_TRUE(controller.viewsBehind());
    EXPECT_EQ(controller.shownNode(), first);
    EXPECT_EQ(controller.positionMs(), 200'000);
    EXPECT_EQ(views.take(), (std::vector<std::string>{"at 199400/200000"})); // the tick's report, before the end
    ASSERT_TRUE(heard->enabled());
    EXPECT_EQ(heard->interval(), 600);
    fake.set(200'000, 0, 3, 0);
    timer->tick(); // the next track's reports wait
    EXPECT_TRUE(views.take().empty());
    heard->tick();
    EXPECT_FALSE(controller.viewsBehind());
    EXPECT_FALSE(heard->enabled());
    EXPECT_EQ(views.take(),
              (std::vector<std::string>{"at 200000/200000", "stopped",
                                        "active Now: \rTwo\rAlbum | . Two. Album | 200 prev", "playing"}));
    // The last track: the views stop when its end is heard, here by the first report after
    // that time.
    fake.set(200'000, 199'700, 3, 0);
    fake.end();
    timer->tick();
    EXPECT_EQ(views.take(), (std::vector<std::string>{"at 199700/200000"}));
    EXPECT_EQ(heard->interval(), 300);
    now += std::chrono::milliseconds(300);
    controller.PlayerPosUpdate(0, 200'000);
    EXPECT_EQ(views.take(), (std::vector<std::string>{"at 200000/200000", "stopped", "finished", "at 0/200000"}));
    // A button pressed while the views are behind brings them up to date first.
    controller.previous();
    controller.SetPlaying(true);
    fake.set(200'000, 199'700, 3, 0);
    fake.end();
    timer->tick();
    EXPECT_TRUE(controller.viewsBehind());
    views.take();
    controller.SetPlaying(false);
    EXPECT_EQ(views.take(),
              (std::vector<std::string>{"at 200000/200000", "stopped",
                                        "active Now: \rTwo\rAlbum | . Two. Album | 200 prev", "playing", "stopped"}));
}

TEST_F(PlaybackControllerTest, FailuresOnTheWayStopOnTheTrackAndSaySo)
{
    struct Case {
        const char* name;
        std::function<void()> happen;
        std::vector<std::string> views;
    };
    const std::vector<Case> cases = {
        // The sound output failed on the way: the end flag comes, and Close says why.
        {"output failed",
         [&] { fake.fail("Close", 5), fake.end(); },
         {"at 5000/200000", "stopped", "failed 5 Output device failure"}},
        // The track's file went away while it played.
        {"file gone",
         [&] { std::filesystem::remove(tree.record(first)->Path.str()); },
         {"stopped", "failed 3 Input stream error"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake.reset();
        fake.set(200'000, 5'000, 3, 0);
        controller.MakeActiveTrack(first);
        controller.SetPlaying(true);
        views.take();
        c.happen();
        timer->tick();
        EXPECT_EQ(controller.activeNode(), first);
        EXPECT_FALSE(controller.isPlaying());
        EXPECT_EQ(views.take(), c.views);
        EXPECT_EQ(fake.calls().find("2.mp3"), std::string::npos) << fake.calls(); // no later track starts
        controller.MakeActiveTrack(second);
    }
}

TEST_F(PlaybackControllerTest, SeekSettlesWithoutBlocking)
{
    controller.MakeActiveTrack(first);
    controller.SetPlaying(true);
    fake.set(200'000, 10'000, 3, 0); // playing, and not yet where the seek goes
    controller.holdPosition();
    controller.PlayerPosUpdate(10'000, 200'000);
    EXPECT_FALSE(controller.trackingEnabled());
    controller.releasePosition(60);
    EXPECT_NE(fake.calls().find("Seek(60000)"), std::string::npos) << fake.calls();
    views.take();
    // Reports far from the target are held back until the player gets there ...
    controller.PlayerPosUpdate(10'250, 200'000);
    EXPECT_TRUE(views.take().empty());
    controller.PlayerPosUpdate(60'050, 200'000);
    EXPECT_EQ(views.take(), (std::vector<std::string>{"at 60050/200000"}));
    // ... or at most three seconds.
    controller.releasePosition(120);
    controller.PlayerPosUpdate(10'500, 200'000);
    now += std::chrono::seconds(3);
    controller.PlayerPosUpdate(10'750, 200'000);
    EXPECT_EQ(views.take(), (std::vector<std::string>{"at 10750/200000"}));
    EXPECT_TRUE(controller.trackingEnabled());
}

TEST_F(PlaybackControllerTest, FailuresLeaveItNotPlayingAndAreKept)
{
    controller.MakeActiveTrack(first);
    fake.fail("Play", 5);
    controller.playRange(1'000, 2'000);
    EXPECT_FALSE(controller.isPlaying());
    ASSERT_TRUE(controller.lastFailure());
    EXPECT_EQ(controller.lastFailure()->code, 5);
    EXPECT_EQ(controller.lastFailure()->message, "Output device failure");
    EXPECT_NE(fake.calls().find("Play(1000,2000)"), std::string::npos) << fake.calls();
}
