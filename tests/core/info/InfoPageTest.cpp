#include "core/info/InfoPage.h"

#include "core/collection/CollectionItem.h"
#include "core/config/Configuration.h"
#include "core/platform/CodePage.h"
#include "core/platform/Collation.h"

#include <clocale>
#include <gtest/gtest.h>

using namespace cantorel;

namespace {

class InfoPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 1; i <= 26; ++i)
            config.UIStrings[static_cast<std::size_t>(i - 1)] = std::string("S").append(std::to_string(i)).append(":");
        config.UIStrings[0] = " s";
        config.UIStrings[1] = " min ";
        config.UIStrings[2] = " h ";
    }
    Configuration config = Configuration::defaults("/");
};

// Built whole rather than field by field: GCC 12's -Wrestrict misfires on assigning
// string literals to the fields of a local at -O3.
CollectionItem track()
{
    return CollectionItem{.Path = "/m/a.mp3",
                          .Name = "Title & more",
                          .Artist = "Artist",
                          .Album = "Album",
                          .Year = "1999",
                          .Comment = "c",
                          .GenreText = "",
                          .Description = "Desc",
                          .PicturePath = "/m/a.bmp",
                          .TextPath = "/m/a.txt",
                          .AlbumArtist = "",
                          .FileSize = 5'000'000,
                          .Duration = 3725,
                          .Track = 0,
                          .TrackTotal = 0,
                          .Bitrate = 128,
                          .Disc = 0,
                          .DiscTotal = 0,
                          .Frequency = 44100,
                          .Genre = 17};
}

} // namespace

TEST_F(InfoPageTest, TrackLayout)
{
    const CollectionItem r = track();
    EXPECT_EQ(DescriptionPageText({r, true, false, "Rock"}, config),
              "\rS4:Title & more\rS5:Album\rS6:Artist\rS24:Rock\rS7:1999\rS25:c\rS8:1 h 2 min 5 s\r\r"
              "S9:/m/a.mp3\rS10:4882 Kb\rS11:44100 Hz\rS12:128000 bit/s (15.6 Kb/s)\r\r"
              "S26:files.bbs : Desc\rS13:/m/a.bmp\rS14:/m/a.txt");
    // A track number from the tags follows the comment, with its own label.
    CollectionItem numbered = r;
    numbered.Track = 7;
    EXPECT_NE(DescriptionPageText({numbered, true, false, "Rock"}, config).find("\rS25:c\rTrack: 7\rS8:"),
              std::string::npos);
    CollectionItem zero;
    EXPECT_EQ(DescriptionPageText({zero, true, false, ""}, config),
              "\rS4:\rS5:\rS6:\rS24:\rS7:\rS25:\rS8:0 min 0 s\r\rS9:\rS10:0 Kb\rS11:0 Hz\rS12:0000 bit/s (0.0 Kb/s)\r\r"
              "S26:files.bbs : \rS13:\rS14:");
}

TEST_F(InfoPageTest, OtherLayouts)
{
    CollectionItem dir;
    dir.Path = "/m/Rock";
    dir.Name = "Rock";
    dir.FileSize = 10'485'760;
    dir.Duration = 59;
    dir.Description = "All rock";
    EXPECT_EQ(DescriptionPageText({dir, false, false, ""}, config),
              "\rS4:Rock\rS15:0 min 59 s\r\rS16:/m/Rock\rS17:10.0 Mb\r\rS26:All rock\rS13:\rS14:");
    CollectionItem list;
    list.Path = "/m/Best.M3U";
    list.Name = "Best";
    list.Duration = 60;
    EXPECT_EQ(DescriptionPageText({list, false, false, ""}, config),
              "\rS4:Best\rS15:1 min 0 s\r\rS9:/m/Best.M3U\r\rS26:\rS13:\rS14:");
    CollectionItem lists;
    lists.Path = "/m/";
    lists.Name = "Playlists";
    EXPECT_EQ(DescriptionPageText({lists, false, true, ""}, config),
              "\rS4:Playlists\rS15:0 min 0 s\r\rS16:/m/\r\rS26:\rS13:\rS14:");
    // A playlist entry is shown as a track: it shares the track's record.
    EXPECT_EQ(DescriptionPageText({track(), true, false, ""}, config).substr(0, 18), "\rS4:Title & more\rS");
}

TEST_F(InfoPageTest, NumbersAndDurations)
{
    const struct {
        std::int64_t seconds;
        std::string text;
    } durations[] = {{0, "0 min 0 s"},
                     {59, "0 min 59 s"},
                     {3600, "1 h 0 min 0 s"},
                     {3725, "1 h 2 min 5 s"},
                     {360000, "100 h 0 min 0 s"}};
    for (const auto& d : durations)
        EXPECT_EQ(FormatDuration(d.seconds, config), d.text);
    // The decimal point stays a point in a locale that writes a comma.
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(oneDecimal(15.625), "15.6");
    EXPECT_EQ(oneDecimal(0), "0.0");
    std::setlocale(LC_ALL, saved.c_str());
    CollectionItem r = track();
    r.Bitrate = 320;
    EXPECT_NE(DescriptionPageText({r, true, false, ""}, config).find("320000 bit/s (39.1 Kb/s)"), std::string::npos);
}

TEST_F(InfoPageTest, GenreNames)
{
    config.GenreTable = {{17, "Rock"}, {17, "Alpha rock"}, {255, "None"}};
    const Collation collation("C", CodePage::byNumber(1252));
    EXPECT_EQ(genreNameOf(17, config.GenreTable, collation), "Alpha rock"); // first in the sorted list
    EXPECT_EQ(genreNameOf(255, config.GenreTable, collation), "None");
    EXPECT_EQ(genreNameOf(3, config.GenreTable, collation), "");
}
