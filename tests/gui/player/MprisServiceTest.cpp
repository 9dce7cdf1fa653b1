#include "gui/player/MprisService.h"

#include "core/player/PlaybackController.h"

#include "gui/TestWindow.h"

#include "support/FakeMpeg.h"
#include "support/Mp3Fixture.h"
#include "support/Outcomes.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <QDBusObjectPath>
#include <QUrl>

#include <gtest/gtest.h>

using namespace cantorel;
using namespace cantorel::test;

TEST(MprisService, EveryPictureThePageShowsHasAnArtUrl)
{
    TempDir dir;
    const std::string cover = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(600, 'c');
    dir.write("music/A/folder.jpg", "\xFF\xD8 a folder picture");
    dir.write("music/A/1.mp3", fakeTrack("\xFF\xFB\x90\x44", 16000, id3v1("One")));
    const std::string tagged = encodeTone(dir, "music/B/2.mp3", 440, 0.2);
    ASSERT_EQ(
        runProcess("/usr/bin/eyeD3", {"--quiet", "--add-image", dir.write("c.png", cover) + ":FRONT_COVER", tagged})
            .status,
        0);
    TestWindow form(configurationOf("MP3RootDir = music\n", dir.path()), std::make_shared<ErrorBox>(),
                    FakeMpeg::directory() + "/");
    form.InitialFill(nullptr);
    MprisService mpris(form.session());
    const auto artOf = [&](const std::string& file) {
        for (NodeId n : form.session().tree().Nodes) {
            const CollectionItem* r = form.session().tree().record(n);
            if (r && r->Path.str().ends_with(file))
                form.session().playback().MakeActiveTrack(n);
        }
        return QUrl(mpris.metadata().value("mpris:artUrl").toString()).toLocalFile().toStdString();
    };
    EXPECT_EQ(artOf("1.mp3"), dir / "music/A/folder.jpg");
    // A tag's picture is written once into the cache, named by its contents.
    const std::string art = artOf("2.mp3");
    const std::string cache = std::string(std::getenv("XDG_CACHE_HOME")) + "/cantorel/art/";
    ASSERT_EQ(art.substr(0, cache.size()), cache);
    EXPECT_EQ(art.substr(art.size() - 4), ".png");
    EXPECT_EQ(readAll(art), cover);
    EXPECT_EQ(artOf("1.mp3"), dir / "music/A/folder.jpg");
    EXPECT_EQ(artOf("2.mp3"), art);
}
