#include "core/platform/TextRules.h"

#include <gtest/gtest.h>

using namespace cantorel::text;

TEST(TextRules, TrimRemovesCodesZeroToThirtyTwoOnly)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"  abc  ", "abc"},
        {std::string("\0\t\r\n x \x1F", 8), "x"},
        {"\x7F"
         "a\x7F",
         "\x7F"
         "a\x7F"}, // DEL is not trimmed
        {"\xC2\xA0"
         "a",
         "\xC2\xA0"
         "a"}, // nor a no-break space
        {"   ", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trimmed(c.in), c.out) << c.in;
}

TEST(TextRules, FoldingTouchesOnlyAToZ)
{
    EXPECT_EQ(foldAZ("ABC xyz ÄÖ Ж [@]"), "abc xyz ÄÖ Ж [@]");
    EXPECT_TRUE(equalsFolded("Song.MP3", "song.mp3"));
    EXPECT_FALSE(equalsFolded("Жук", "жук"));
    EXPECT_TRUE(startsWithFolded("WindowTitle=x", "windowtitle"));
    EXPECT_FALSE(startsWithFolded("Win", "window"));
}

TEST(TextRules, CutsCountCharactersAndNeverSplitOne)
{
    const std::string cyrillic = "Привет"; // 6 characters, 12 bytes
    EXPECT_EQ(charCount(cyrillic), 6u);
    EXPECT_EQ(cutChars(cyrillic, 3), "При");
    EXPECT_EQ(cutChars(cyrillic, 63), cyrillic);
    EXPECT_EQ(cutBytes(cyrillic, 5), "Пр");
    EXPECT_EQ(cutChars(std::string(300, 'a'), 255).size(), 255u);
    // A malformed byte counts as one character and is kept.
    EXPECT_EQ(charCount("a\xFF"
                        "b"),
              3u);
    EXPECT_EQ(cutChars("a\xFF"
                       "b",
                       2),
              "a\xFF");
}

TEST(TextRules, Utf8Validation)
{
    EXPECT_TRUE(isValidUtf8("plain ascii"));
    EXPECT_TRUE(isValidUtf8("Привет ♫ 🎵"));
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));     // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80")); // surrogate
    EXPECT_FALSE(isValidUtf8("caf\xE9"));      // Latin-1 byte
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));     // cut short
}
