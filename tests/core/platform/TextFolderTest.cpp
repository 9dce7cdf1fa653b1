#include "core/platform/TextFolder.h"

#include <gtest/gtest.h>

using namespace cantorel;

TEST(TextFolder, FoldsCaseAccentsAndFormsInEveryScript)
{
    const TextFolder folder(false);
    const struct {
        const char* text;
        const char* folded;
    } cases[] = {
        {"Café", "cafe"},
        {"ÄRGER", "arger"},
        {"Straße", "strasse"},
        {"Ångström", "angstrom"},
        {"КИНО Ёлка", "кино елка"},      // Cyrillic: case, and the diaeresis of Ё
        {"Ωδή ΣΤΟ", "ωδη στο"},          // Greek: tonos, and final sigma folds as sigma
        {"ｶﾀｶﾅ ＡＢＣ", "カタカナ abc"}, // half- and full-width forms
        {"東京 さくら", "東京 さくら"},  // kanji and kana as typed
        {"plain ascii 42", "plain ascii 42"},
        {"\xFF\xFE", "\xEF\xBF\xBD\xEF\xBF\xBD"}, // invalid bytes: replacement characters
    };
    for (const auto& c : cases)
        EXPECT_EQ(folder.fold(c.text), c.folded) << c.text;
}

TEST(TextFolder, LatinSpellingsOfOtherScripts)
{
    TextFolder folder(true);
    const struct {
        const char* folded;
        const char* latin; // "" when there is none
    } cases[] = {
        {"кино", "kino"},
        {"группа крови", "gruppa krovi"},
        {"ωδη", "ode"},
        {"さくら", "sakura"},
        {"cafe", ""},             // ASCII already
        {"abc кино", "abc kino"}, // each word on its own
    };
    for (const auto& c : cases)
        EXPECT_EQ(folder.latin(c.folded), c.latin) << c.folded;
    EXPECT_EQ(TextFolder(false).latin("кино"), ""); // SearchLatin = no
}
