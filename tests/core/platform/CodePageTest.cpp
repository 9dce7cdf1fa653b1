#include "core/platform/CodePage.h"

#include <gtest/gtest.h>

using cantorel::CodePage;

namespace {
const CodePage& page(int number)
{
    const CodePage* p = CodePage::byNumber(number);
    if (!p)
        throw std::runtime_error("no code page " + std::to_string(number));
    return *p;
}
} // namespace

TEST(CodePage, EverySupportedPageRoundTripsAllBytes)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    for (int number : {437, 850, 852, 866, 1250, 1251, 1252}) {
        const CodePage& p = page(number);
        const std::string text = p.decode(all);
        EXPECT_EQ(p.encode(text), all) << number;
        // The ASCII half maps to itself, 0x1A, 0x1C and 0x7F included.
        EXPECT_EQ(text.substr(0, 128), all.substr(0, 128)) << number;
    }
}

TEST(CodePage, RealBytes)
{
    const struct {
        int page;
        std::string bytes;
        std::string text;
    } cases[] = {
        {437, "\xC9\xCD\xBB\xBA\xC8\xBC", "╔═╗║╚╝"},
        {437, "\x82\x81\xE1", "éüß"},
        {866, "\xC9\xCD\xBB", "╔═╗"},
        {866, "\x8F\xE0\xA8\xA2\xA5\xE2", "Привет"},
        {850, "\x90\xA5", "ÉÑ"},
        {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},
        {1252, "\x80\xE9\x9F", "€éŸ"},
        {1250, "\x8A\xE8", "Šč"},
        {852, "\xE6\x9F", "Šč"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(page(c.page).decode(c.bytes), c.text) << c.page;
        EXPECT_EQ(page(c.page).encode(c.text), c.bytes) << c.page;
    }
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks)
{
    EXPECT_EQ(page(437).encode("Привет"), "??????");
    EXPECT_EQ(page(1252).encode("a╔b"), "a?b");
    EXPECT_EQ(page(866).encode("€"), "?");
    EXPECT_EQ(page(1251).encode("🎵"), "?");
    EXPECT_FALSE(page(437).canEncode("Ж"));
    EXPECT_TRUE(page(866).canEncode("Ж╔"));
}

TEST(CodePage, UnknownAndMultiByteNumbersAreRefusedButUtf8HoldsEverything)
{
    EXPECT_EQ(CodePage::byNumber(932), nullptr); // Shift-JIS: multi-byte
    EXPECT_EQ(CodePage::byNumber(4242), nullptr);
    const CodePage& utf8 = *CodePage::byNumber(65001);
    EXPECT_TRUE(utf8.isUtf8());
    EXPECT_EQ(utf8.encode("Жук 日本"), "Жук 日本");
    EXPECT_EQ(utf8.unencodable("Жук 日本"), "");
    EXPECT_EQ(utf8.decode("caf\xC3\xA9 \xFF!"), "café \uFFFD!");
}
