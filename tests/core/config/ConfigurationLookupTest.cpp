#include "core/config/ConfigurationLookup.h"

#include "core/config/Configuration.h"
#include "core/config/FirstRun.h"

#include "support/Outcomes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace cantorel;
using cantorel::test::TempDir;

TEST(ConfigurationLookup, PlacesInOrderAndTheFirstThatExists)
{
    const struct {
        ConfigurationEnvironment env;
        std::vector<std::string> places;
    } cases[] = {
        {{"/home/u", "", ""},
         {"/opt/c/cantorel.ini", "/home/u/.config/cantorel/cantorel.ini", "/etc/xdg/cantorel/cantorel.ini"}},
        {{"/home/u", "/cfg", "/a:relative:/b/"},
         {"/opt/c/cantorel.ini", "/cfg/cantorel/cantorel.ini", "/a/cantorel/cantorel.ini", "/b/cantorel/cantorel.ini"}},
        {{"/home/u", "relative", ""}, // a relative XDG_CONFIG_HOME counts as unset
         {"/opt/c/cantorel.ini", "/home/u/.config/cantorel/cantorel.ini", "/etc/xdg/cantorel/cantorel.ini"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(configurationPlaces("/opt/c/cantorel.ini", c.env), c.places) << c.env.configHome;
    TempDir dir;
    const std::vector<std::string> places{dir / "none.ini", dir / "dir.ini/", dir / "b.ini", dir / "c.ini"};
    dir.makeDir("dir.ini");
    dir.write("b.ini", "");
    dir.write("c.ini", "");
    EXPECT_EQ(firstExisting(places), dir / "b.ini");
    EXPECT_EQ(noConfigurationMessage({"/a.ini", "/b.ini"}),
              "No configuration file was found. Looked at:\n/a.ini\n/b.ini");
}

TEST(ConfigurationLookup, FirstRunFileReadsBackInEnglish)
{
    const Configuration c =
        test::configurationOf(firstRunConfiguration("/home/u/My Music", {"Blues", "Classic Rock"}, {866, 1251}), "/x/");
    EXPECT_EQ(c.Settings.MP3RootDir, "/home/u/My Music/");
    EXPECT_EQ(c.Settings.OEMCodePage, 866);
    EXPECT_EQ(c.Settings.ANSICodePage, 1251);
    EXPECT_TRUE(c.Settings.ComposeDescriptions);
    EXPECT_FALSE(c.Settings.AllowEdit);
    EXPECT_TRUE(c.Settings.ReadID3v2);
    EXPECT_EQ(c.GetUIString(1), " s");
    EXPECT_EQ(c.GetUIString(19), "Playlists");
    EXPECT_EQ(c.GetUIString(39), "Reading the playlists...");
    EXPECT_EQ(c.GetUIString(51), "Track: ");
    for (int n = 1; n <= 39; ++n)
        EXPECT_NE(c.GetUIString(n), "String" + std::to_string(n)) << n;
    ASSERT_EQ(c.GenreCount(), 2);
    EXPECT_EQ(c.GenreTable[1].Number, 1);
    EXPECT_EQ(c.GenreTable[1].GenreName, "Classic Rock");
}
