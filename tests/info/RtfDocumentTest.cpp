#include "info/RtfDocument.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

using namespace cantorel;

namespace {
RtfDocument parse(const std::string& rtf) { return RtfDocument::parse(rtf, *CodePage::byNumber(1252)); }
} // namespace

TEST(RtfDocument, TextAndEscapes)
{
    const struct {
        std::string rtf;
        std::string text;
    } cases[] = {
        {"{\\rtf1 Hello}", "Hello"},
        {"{\\rtf1\\ansi\\ansicpg1252 Caf\\'e9}", "Café"},
        {"{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}", "Привет"},
        {"{\\rtf1 \\u1055?\\u1088?\\u-3913?}", "Пр\xEF\x82\xB7"},
        {"{\\rtf1\\uc2 \\u8364\\'80\\'80 x}", "€ x"},
        {"{\\rtf1 a\\par b\\line c\\tab d}", "a\nb\nc\td"},
        {"{\\rtf1 \\{braces\\} and \\\\}", "{braces} and \\"},
        {"{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}{\\*\\generator x;}{\\info{\\title "
         "T}}Body}",
         "Body"},
        {"{\\rtf1{\\*\\unknown skipped}{\\pict 0102}shown}", "shown"},
        {"{\\rtf1 one}}} two", "one two"},       // unbalanced closing braces
        {"{\\rtf1 open {\\b bold", "open bold"}, // truncated
        {"{\\rtf1 x\\'", "x"},
        {"{\\rtf1 \\u", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse(c.rtf).plainText(), c.text) << c.rtf;
    }
}

TEST(RtfDocument, FormattingRuns)
{
    const RtfDocument doc =
        parse("{\\rtf1{\\fonttbl{\\f0\\fswiss Arial;}{\\f1 Courier New;}}"
              "{\\colortbl;\\red0\\green0\\blue160;\\red255\\green255\\blue0;}"
              "\\pard\\qc\\b\\fs28 Title\\b0\\par"
              "\\pard\\li720\\fi-360 plain {\\i italic} \\ul under\\ulnone  \\f1 mono \\cf1 blue\\cf0 "
              "\\highlight2 marked\\plain  reset\\par}");
    ASSERT_EQ(doc.paragraphs.size(), 2u);
    const RtfDocument::Paragraph& title = doc.paragraphs[0];
    EXPECT_EQ(title.alignment, RtfDocument::Alignment::Center);
    ASSERT_EQ(title.runs.size(), 1u);
    EXPECT_TRUE(title.runs[0].bold);
    EXPECT_EQ(title.runs[0].halfPoints, 28);
    const RtfDocument::Paragraph& body = doc.paragraphs[1];
    EXPECT_EQ(body.alignment, RtfDocument::Alignment::Left);
    EXPECT_EQ(body.leftTwips, 720);
    EXPECT_EQ(body.firstTwips, -360);
    std::string runs;
    for (const RtfDocument::Run& r : body.runs) {
        runs += "[" + r.text + (r.italic ? "|i" : "") + (r.underline ? "|u" : "") + (r.bold ? "|b" : "") + "|" + r.font;
        if (r.color)
            runs += "|c" + std::to_string(*r.color);
        if (r.highlight)
            runs += "|h" + std::to_string(*r.highlight);
        runs += "]";
    }
    // \plain goes back to the default font (font 0).
    EXPECT_EQ(runs, "[plain |][italic|i|][ |][under|u|][ |][mono |Courier New][blue|Courier New|c160]"
                    "[marked|Courier New|h16776960][ reset|Arial]");
}

TEST(RtfDocument, DeepNestingIsCapped)
{
    std::string deep = "{\\rtf1 ";
    for (int i = 0; i < 5000; ++i)
        deep += "{\\b ";
    deep += "x";
    for (int i = 0; i < 5000; ++i)
        deep += "}";
    deep += " after}";
    EXPECT_EQ(parse(deep).plainText(), "x after");
}
