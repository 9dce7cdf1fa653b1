#include "core/platform/Paths.h"

#include <gtest/gtest.h>

using namespace cantorel::paths;

TEST(Paths, LexicalExpansion)
{
    const struct {
        std::string base;
        std::string path;
        bool backslashes;
        std::string expected;
    } cases[] = {
        {"/music", "Rock/a.mp3", false, "/music/Rock/a.mp3"},
        {"/music/", "./a//b/./c", false, "/music/a/b/c"},
        {"/music/list", "../Rock/a.mp3", false, "/music/Rock/a.mp3"},
        {"/music", "../../../../x", false, "/x"},
        {"/music", "/abs/./x/..", false, "/abs"},
        {"/music", "", false, "/music"},
        {"/music", "..\\Rock\\a.mp3", true, "/Rock/a.mp3"},
        {"/music", "..\\Rock\\a.mp3", false, "/music/..\\Rock\\a.mp3"},
        {"/music", "~/x", false, "/music/~/x"},
        {"/", "..", false, "/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(expand(c.base, c.path, c.backslashes), c.expected) << c.base << " + " << c.path;
}

TEST(Paths, Parts)
{
    EXPECT_EQ(directoryOf("/a/b/c.mp3"), "/a/b/");
    EXPECT_EQ(fileNameOf("/a/b/c.mp3"), "c.mp3");
    EXPECT_EQ(withTrailingSlash("/a"), "/a/");
    EXPECT_EQ(withTrailingSlash("/a/"), "/a/");
    EXPECT_EQ(withoutTrailingSlash("/a//"), "/a");
    EXPECT_EQ(withoutTrailingSlash("/"), "/");
    EXPECT_EQ(namePartOfSetting("C:\\x\\index.txt"), "index.txt");
    EXPECT_EQ(namePartOfSetting("D:files.bbs"), "files.bbs");
    EXPECT_EQ(namePartOfSetting("/etc/x.bbs"), "x.bbs");
    EXPECT_EQ(foldedExtension("/a/Song.MP3"), ".mp3");
    EXPECT_EQ(foldedExtension("/a.b/Song"), "");
}
