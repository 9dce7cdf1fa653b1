#include "core/config/Configuration.h"
#include "core/platform/ProcessPriority.h"
#include "core/player/PlaybackController.h"
#include "core/player/StreamVolume.h"
#include "core/player/TMPEGPlayer.h"

#include "gui/Controls.h"
#include "gui/TestWindow.h"
#include "gui/app/TMainForm.h"
#include "gui/common/CantorelApplication.h"
#include "gui/common/ErrorBox.h"
#include "gui/info/InfoPages.h"
#include "gui/player/TPosTracker.h"
#include "gui/tray/FakeTrayShell.h"
#include "gui/tray/TTrayIcon.h"

#include "support/FakeMpeg.h"
#include "support/Mp3Fixture.h"
#include "support/Outcomes.h"
#include "support/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QToolButton>
#include <QTreeView>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.write("music/A/t1.mp3", fakeTrack("\xFF\xFB\x90\x44", 16000, id3v1("One", "", "Album")));
        dir.write("music/A/t2.mp3", fakeTrack("\xFF\xFB\x90\x44", 16000, id3v1("Two", "Artist")));
        dir.write("music/t3.mp3", fakeTrack("\xFF\xFB\x90\x44", 16000));
        dir.write("music/p.m3u", "A/t2.mp3\nt3.mp3\n");
        fake.reset();
        fake.set(201'000, 0, 1, 0);
    }
    std::unique_ptr<TMainForm> open(bool withTray = true)
    {
        config = configurationOf("MP3RootDir = music\nWindowTitle = Panel test\n"
                                 "String18 = 'Now: '\nString31 = Play\nString32 = Pause\n",
                                 dir.path());
        auto shell = std::make_unique<FakeTrayShell>();
        shell->available = withTray;
        tray = shell.get();
        auto form = std::make_unique<test::TestWindow>(config, std::make_shared<ErrorBox>(),
                                                       FakeMpeg::directory() + "/", std::move(shell));
        form->InitialFill(nullptr);
        fake.reset();
        fake.set(201'000, 0, 1, 0);
        return form;
    }
    NodeId node(const TMainForm& f, const std::string& caption, int occurrence = 0) const
    {
        for (NodeId n : f.session().tree().Nodes) {
            if (f.session().tree().caption(n) == caption && occurrence-- == 0)
                return n;
        }
        throw std::runtime_error("no node " + caption);
    }

    TempDir dir;
    Configuration config;
    FakeMpeg fake;
    FakeTrayShell* tray = nullptr;
};

} // namespace

TEST_F(PanelTest, FirstTrackActiveAfterStartUp)
{
    auto f = open();
    EXPECT_EQ(f->session().playback().activeNode(), node(*f, "One"));
    EXPECT_FALSE(f->session().playback().isPlaying());
    EXPECT_FALSE(control<QToolButton>(*f, "plPrev")->isEnabled());
    EXPECT_FALSE(control<QAction>(*f, "miPrev")->isEnabled());
    EXPECT_TRUE(control<QToolButton>(*f, "plNext")->isEnabled());
    EXPECT_TRUE(control<QAction>(*f, "miNext")->isEnabled());
    EXPECT_EQ(control<QLabel>(*f, "plLenView")->text(), "0:03:21");
    EXPECT_EQ(control<TPosTracker>(*f, "plPos")->maximum(), 201);
    EXPECT_EQ(control<TPosTracker>(*f, "plPos")->tickInterval(), 30);
    EXPECT_EQ(control<QLabel>(*f, "plATView")->text(), "Now: \nOne\nAlbum");
    EXPECT_EQ(f->activeHint(), ". One. Album");
    EXPECT_EQ(f->trayIcon()->Hint(), ". One. Album");
    EXPECT_EQ(tray->tip, ". One. Album");
}

TEST_F(PanelTest, PlayNextAndPreviousKeepThePlayingState)
{
    auto f = open();
    f->plPlayClick();
    EXPECT_TRUE(f->session().playback().isPlaying());
    EXPECT_EQ(control<QAction>(*f, "miPlay")->text(), "Pause");
    EXPECT_NE(fake.calls().find("Play(0,201000)"), std::string::npos);
    fake.reset();
    fake.set(200'000, 0, 3, 0);
    f->plNextClick();
    EXPECT_EQ(f->session().playback().activeNode(), node(*f, "Two"));
    EXPECT_TRUE(f->session().playback().isPlaying());
    const std::string calls = fake.calls();
    EXPECT_NE(calls.find("Stop;Close;Open(" + dir.path() + "music/A/t2.mp3,0)"), std::string::npos) << calls;
    EXPECT_NE(calls.find("Play(0,200000)"), std::string::npos) << calls;
    EXPECT_EQ(control<TPosTracker>(*f, "plPos")->tickInterval(), 10);
    f->plPlayClick();
    EXPECT_FALSE(f->session().playback().isPlaying());
    EXPECT_EQ(control<QAction>(*f, "miPlay")->text(), "Play");
    f->plPrevClick();
    EXPECT_EQ(f->session().playback().activeNode(), node(*f, "One"));
    EXPECT_FALSE(f->session().playback().isPlaying());
}

TEST_F(PanelTest, EndOfTrackMovesOnThroughThePlaylistsAndStopsAfterTheLast)
{
    auto f = open();
    f->session().playback().MakeActiveTrack(node(*f, "t3.mp3"));
    f->session().playback().SetPlaying(true);
    fake.end();
    f->session().player().TimerTick();
    EXPECT_EQ(f->session().playback().activeNode(), node(*f, "Two", 1)); // the first playlist entry
    EXPECT_TRUE(f->session().playback().isPlaying());
    f->plNextClick();
    const NodeId last = node(*f, "t3.mp3", 1);
    EXPECT_EQ(f->session().playback().activeNode(), last);
    EXPECT_FALSE(control<QToolButton>(*f, "plNext")->isEnabled());
    fake.end();
    f->session().player().TimerTick();
    EXPECT_EQ(f->session().playback().activeNode(), last);
    EXPECT_FALSE(f->session().playback().isPlaying());
}

TEST_F(PanelTest, RescanKeepsSelectionActiveTrackAndPlaying)
{
    auto f = open();
    f->session().playback().MakeActiveTrack(node(*f, "Two"));
    f->session().playback().SetPlaying(true);
    f->selectNode(node(*f, "t3.mp3"));
    // A track appears, and the tray menu offers the rescan.
    dir.write("music/A/t0.mp3", fakeTrack("\xFF\xFB\x90\x44", 16000, id3v1("Zero")));
    fake.reset();
    fake.set(201'000, 5'000, 3, 0);
    EXPECT_EQ(control<QAction>(*f, "miRescan")->text(), "Rescan");
    control<QAction>(*f, "miRescan")->trigger();
    EXPECT_NO_THROW(node(*f, "Zero"));
    EXPECT_EQ(f->session().playback().activeNode(), node(*f, "Two"));
    EXPECT_EQ(f->selectedNode(), node(*f, "t3.mp3"));
    EXPECT_TRUE(f->session().playback().isPlaying());
    EXPECT_EQ(fake.calls().find("Stop"), std::string::npos) << fake.calls();
    EXPECT_EQ(fake.calls().find("Close"), std::string::npos) << fake.calls();
    EXPECT_TRUE(control<QToolButton>(*f, "plNext")->isEnabled());
    // The active track gone: the player stops and the first track is active.
    std::filesystem::remove(dir / "music/A/t2.mp3");
    dir.write("music/p.m3u", "t3.mp3\n");
    f->Rescan();
    EXPECT_FALSE(f->session().playback().isPlaying());
    EXPECT_EQ(f->session().playback().activeNode(), node(*f, "Zero"));
}

TEST_F(PanelTest, DoubleClickOnANodeThatIsNoTrack)
{
    auto f = open();
    f->selectNode(node(*f, "A"));
    f->TreeViewDblClick();
    EXPECT_EQ(f->session().playback().activeNode(), node(*f, "A"));
    EXPECT_TRUE(control<QToolButton>(*f, "plPlay")->isEnabled());
    EXPECT_EQ(control<TPosTracker>(*f, "plPos")->maximum(), 201); // the length of the stream opened last
    // The start reopens the stream opened last and plays it.
    EXPECT_NE(fake.calls().find("Open(" + dir.path() + "music/A/t1.mp3,0)"), std::string::npos) << fake.calls();
    EXPECT_TRUE(f->session().playback().isPlaying());
    // Enter in the tree does the same as a double click.
    f->selectNode(node(*f, "Two"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(f->treeView(), &enter);
    EXPECT_EQ(f->session().playback().activeNode(), node(*f, "Two"));
}

TEST_F(PanelTest, SliderDroppedWhileStoppedGivesTheFirstStartItsPosition)
{
    auto f = open();
    control<TPosTracker>(*f, "plPos")->setValue(50);
    emit control<TPosTracker>(*f, "plPos")->mouseDown();
    EXPECT_FALSE(f->session().playback().trackingEnabled());
    f->session().playback().PlayerPosUpdate(10'000, 201'000); // held: the report does not move it
    EXPECT_EQ(control<TPosTracker>(*f, "plPos")->value(), 50);
    emit control<TPosTracker>(*f, "plPos")->mouseUp(); // stopped (mode 1): nothing is sought
    EXPECT_TRUE(f->session().playback().trackingEnabled());
    EXPECT_EQ(fake.calls().find("Seek"), std::string::npos);
    f->plPlayClick();
    EXPECT_NE(fake.calls().find("Play(50000,201000)"), std::string::npos) << fake.calls();
    // Playing: a drop at the end seeks one millisecond before the end of a whole-second length.
    fake.set(201'000, 200'999, 3, 0);
    control<TPosTracker>(*f, "plPos")->setValue(201);
    emit control<TPosTracker>(*f, "plPos")->mouseUp();
    EXPECT_NE(fake.calls().find("Seek(200999)"), std::string::npos) << fake.calls();
    f->session().playback().PlayerPosUpdate(3725'000, 201'000);
    EXPECT_EQ(control<QLabel>(*f, "plPosView")->text(), "1:02:05");
}

TEST_F(PanelTest, PrioritySelector)
{
    auto f = open();
    const int before = ProcessPriority::current();
    emit control<QComboBox>(*f, "cbPriority")->activated(2);
    EXPECT_NE(fake.calls().find("SetPriority(1);SetPriority(1);"), std::string::npos) << fake.calls();
    if (::getuid() == 0) {
        EXPECT_EQ(ProcessPriority::current(), -10);
        emit control<QComboBox>(*f, "cbPriority")->activated(1);
        EXPECT_EQ(ProcessPriority::current(), 0);
    }
    ProcessPriority::setClass(static_cast<ProcessPriority::Class>(before));
}

TEST_F(PanelTest, MinimizingIntoTheIconAndRestoring)
{
    auto f = open();
    f->show();
    f->showMinimized();
    QApplication::processEvents();
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(tray->attached, control<QMenu>(*f, "TrayMenu"));
    tray->onMessage(TrayEvent::LeftDoubleClick);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(tray->attached, nullptr);
    // The tray menu plays and quits.
    control<QAction>(*f, "miPlay")->trigger();
    EXPECT_TRUE(f->session().playback().isPlaying());
    control<QAction>(*f, "N2")->trigger();
    EXPECT_FALSE(f->isVisible());
}

TEST_F(PanelTest, ExitAndTerminationSignalsEndTheProgramFromTheNotificationArea)
{
    auto* app = static_cast<CantorelApplication*>(QCoreApplication::instance());
    // Runs the event loop, in which `action` runs first, until the program would end; a
    // program that keeps running fails by the test's time-out.
    const auto endsTheLoop = [](const std::function<void()>& action) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), action, Qt::QueuedConnection);
        const bool ended = QCoreApplication::exec() == 0;
        // What the closing scheduled for deletion, the ended loop has not deleted yet.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return ended;
    };
    {
        // A signal before the event loop runs (the start-up build) is noted and closes nothing.
        auto starting = open();
        starting->show();
        app->closeOnTerminationSignals(starting.get());
        ::raise(SIGTERM);
        QApplication::processEvents();
        EXPECT_TRUE(app->terminationRequested());
        EXPECT_TRUE(starting->isVisible());
    }
    const std::function<void(TMainForm&)> ends[] = {
        [](TMainForm& f) { control<QAction>(f, "N2")->trigger(); },
        [](TMainForm&) { ::raise(SIGTERM); },
        [](TMainForm&) { ::raise(SIGHUP); },
    };
    for (const auto& end : ends) {
        auto f = open();
        app->closeOnTerminationSignals(f.get());
        f->show();
        f->showMinimized();
        QApplication::processEvents();
        ASSERT_FALSE(f->isVisible());
        EXPECT_TRUE(endsTheLoop([&] { end(*f); }));
    }
}

TEST_F(PanelTest, WithoutANotificationAreaTheWindowMinimizesAsUsual)
{
    auto f = open(false);
    EXPECT_EQ(f->trayIcon(), nullptr);
    EXPECT_TRUE(f->setupError().isEmpty());
    f->show();
    f->showMinimized();
    QApplication::processEvents();
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->isMinimized());
}

TEST_F(PanelTest, NothingToPlay)
{
    TempDir empty;
    empty.makeDir("music");
    const Configuration emptyConfig = configurationOf("MP3RootDir = music\n", empty.path());
    test::TestWindow f(emptyConfig, std::make_shared<ErrorBox>(), FakeMpeg::directory() + "/",
                       std::make_unique<FakeTrayShell>());
    f.InitialFill(nullptr);
    EXPECT_EQ(f.session().tree().NodeCount(), 0);
    f.plPlayClick();
    f.plNextClick();
    EXPECT_FALSE(f.session().playback().isPlaying());
    EXPECT_EQ(f.session().playback().activeNode(), NoNode);
    EXPECT_EQ(f.trayIcon()->Hint(), ""); // the tip stays the title given at creation
}

TEST_F(PanelTest, AnotherTrackStartsAtItsBeginningAndFailuresAreShown)
{
    auto f = open();
    f->plPlayClick();
    fake.set(201'000, 5'400, 3, 0);
    f->session().player().TimerTick();
    f->plPlayClick(); // the panel's pause
    fake.reset();
    fake.set(201'000, 0, 1, 0);
    f->selectNode(node(*f, "Two"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(f->treeView(), &enter);
    EXPECT_NE(fake.calls().find("Open(" + dir.path() + "music/A/t2.mp3,0);"), std::string::npos) << fake.calls();
    EXPECT_NE(fake.calls().find("Play(0,201000)"), std::string::npos) << fake.calls();
    // The output fails on the way: the panel stops on the track and says why.
    fake.fail("Close", 5);
    fake.set(201'000, 201'000, 3, 0);
    fake.end();
    f->session().player().TimerTick();
    EXPECT_EQ(f->session().playback().activeNode(), node(*f, "Two"));
    EXPECT_FALSE(f->session().playback().isPlaying());
    EXPECT_EQ(control<QLabel>(*f, "plATView")->text(), "Playing stopped: Output device failure");
    EXPECT_EQ(f->trayIcon()->Hint(), "Playing stopped: Output device failure");
    EXPECT_EQ(control<QAction>(*f, "miPlay")->text(), "Play");
    // The next start shows the track again.
    fake.reset();
    fake.set(201'000, 0, 1, 0);
    f->plPlayClick();
    EXPECT_TRUE(f->session().playback().isPlaying());
    EXPECT_EQ(control<QLabel>(*f, "plATView")->text(), "Now: \nTwo\nArtist");
    EXPECT_EQ(f->trayIcon()->Hint(), ". Two. Artist");
}

TEST_F(PanelTest, TheVolumeSliderSetsAndKeepsTheVolume)
{
    auto f = open();
    auto* slider = control<QSlider>(*f, "plVolume");
    EXPECT_EQ(slider->toolTip(), "Volume");
    slider->setValue(40);
    ASSERT_NE(f->session().volume(), nullptr);
    EXPECT_EQ(f->session().volume()->percent(), 40);
    const std::string kept = std::string(std::getenv("XDG_STATE_HOME")) + "/cantorel/volume";
    EXPECT_EQ(readAll(kept), "40\n");
    f.reset();
    auto again = open(); // the next run starts with it
    EXPECT_EQ(control<QSlider>(*again, "plVolume")->value(), 40);
    std::filesystem::remove(kept);
}
