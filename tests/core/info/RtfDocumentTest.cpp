#include "core/info/RtfDocument.h"

#include "core/platform/CodePage.h"

#include <chrono>
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
        runs += "[" + r.text + (r.italic ? "|i" : "") + (r.underline ? "|u" : "") + (r.bold ? "|b" : "") + "|" +
                doc.fontOf(r);
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

TEST(RtfDocument, HostileFontsAndGroupsStaySmallAndFast)
{
    // A 1 MB font name, 4,000 format changes and 1,000,000 empty groups: the name is cut
    // and stored once, whatever the runs and groups that use it.
    std::string rtf = "{\\rtf1{\\fonttbl{\\f0 " + std::string(1 << 20, 'F') + ";}}\\f0 ";
    for (int i = 0; i < 4000; ++i)
        rtf += i % 2 ? "\\i0 b" : "\\i a";
    for (int i = 0; i < 1'000'000; ++i)
        rtf += "{}";
    rtf += "}";
    const auto start = std::chrono::steady_clock::now();
    const RtfDocument doc = parse(rtf);
    // Generous: about 0.1 s here, ten times that under the sanitizers.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    ASSERT_EQ(doc.fonts.size(), 1u);
    EXPECT_EQ(doc.fonts[0], std::string(256, 'F'));
    ASSERT_EQ(doc.paragraphs.size(), 1u);
    EXPECT_EQ(doc.paragraphs[0].runs.size(), 4000u);
    EXPECT_EQ(doc.fontOf(doc.paragraphs[0].runs.back()), doc.fonts[0]);
}
