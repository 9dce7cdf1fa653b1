#include "core/info/TextPage.h"

#include "core/config/Configuration.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace cantorel;
using cantorel::test::TempDir;

TEST(TextPage, RichOrPlainAndWhichCodePage)
{
    TempDir dir;
    SettingsRecord settings; // TXTCodePage oem: 437 and 1252
    const struct {
        const char* name;
        std::string bytes;
        bool rich;
        std::string plain;
    } cases[] = {
        {"a.rtf", "{\\rtf1 Bold}", true, ""},
        {"bom.txt", "\xEF\xBB\xBF{\\rtf1 Bold}", true, ""},
        {"utf8.txt", "\xEF\xBB\xBF\xC3\xA9t\xC3\xA9", false, "été"},
        {"oem.txt", "\xC9\xCD\xBB", false, "╔═╗"},
        {"plain.rtf.txt", "caf\xE9", false, "café"}, // ".rtf" in the path: the ANSI page
    };
    for (const auto& c : cases) {
        const std::optional<TextPage> page = readTextPage(dir.write(c.name, c.bytes), settings);
        ASSERT_TRUE(page) << c.name;
        EXPECT_EQ(page->rich.has_value(), c.rich) << c.name;
        EXPECT_EQ(page->plain, c.plain) << c.name;
    }
    EXPECT_FALSE(readTextPage(dir / "missing.txt", settings));
}
