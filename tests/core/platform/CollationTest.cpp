#include "core/platform/Collation.h"

#include "core/platform/CodePage.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

using cantorel::CodePage;
using cantorel::Collation;

TEST(Collation, SortsCaseInsensitivelyWithTiesByBytes)
{
    const struct {
        const char* locale;
        std::vector<std::string> in;
        std::vector<std::string> sorted;
    } cases[] = {
        {"C", {"b", "B", "a", "A"}, {"A", "a", "B", "b"}},
        {"POSIX", {"beta", "Alpha", "alpha2"}, {"Alpha", "alpha2", "beta"}},
        {"en_US.UTF-8", {"Zebra", "apple", "Éclair", "eclair"}, {"apple", "eclair", "Éclair", "Zebra"}},
        {"ru_RU.UTF-8", {"ёж", "Жук", "абв", "Яблоко"}, {"абв", "ёж", "Жук", "Яблоко"}},
        {"sv_SE.UTF-8", {"ö", "z", "a"}, {"a", "z", "ö"}},
    };
    for (const auto& c : cases) {
        const Collation collation(c.locale, CodePage::byNumber(1252));
        std::vector<std::string> v = c.in;
        std::sort(v.begin(), v.end(), [&](const auto& a, const auto& b) { return collation.less(a, b); });
        EXPECT_EQ(v, c.sorted) << c.locale;
    }
}

TEST(Collation, InvalidUtf8NamesSortAsTheAnsiPageShowsThem)
{
    const Collation collation("C", CodePage::byNumber(1252));
    // "\xE9t\xE9" is "été" in CP1252; it sorts between "a" and "f".
    EXPECT_LT(collation.compare("a", "\xE9t\xE9"), 0);
    EXPECT_LT(collation.compare("\xE9t\xE9", "f"), 0);
    EXPECT_NE(collation.compare("\xE9t\xE9", "été"), 0); // equal text, different bytes
}
