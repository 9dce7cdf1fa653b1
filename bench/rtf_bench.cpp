// How long a rich-text page takes from its bytes to a laid-out document, for pages that
// defeat naive readers: many format toggles in one paragraph, and a huge font name
// followed by many format changes and groups.
//   rtf_bench [KILOBYTES...]   (default 90 180 900)

#include "core/info/RtfDocument.h"
#include "core/platform/CodePage.h"

#include "gui/info/RtfTextDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QTextDocument>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace cantorel;

namespace {

std::string toggles(std::size_t bytes)
{
    std::string rtf = "{\\rtf1\\ansi ";
    for (bool bold = true; rtf.size() < bytes; bold = !bold)
        rtf += bold ? "\\b x" : "\\b0 y";
    return rtf + "}";
}

std::string hugeFont(std::size_t bytes)
{
    std::string rtf = "{\\rtf1{\\fonttbl{\\f0 " + std::string(bytes, 'F') + ";}}\\f0 ";
    for (int i = 0; i < 4000; ++i)
        rtf += i % 2 ? "\\i0 b" : "\\i a";
    for (int i = 0; i < 100'000; ++i)
        rtf += "{}";
    return rtf + "}";
}

double since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Reading, filling the document and laying it out, each timed.
std::string timesFor(const std::string& rtf)
{
    auto start = std::chrono::steady_clock::now();
    const RtfDocument parsed = RtfDocument::parse(rtf, *CodePage::byNumber(1252));
    const double parse = since(start);
    start = std::chrono::steady_clock::now();
    QTextDocument doc;
    RtfTextDocument::fill(&doc, parsed);
    const double fill = since(start);
    start = std::chrono::steady_clock::now();
    doc.setTextWidth(400);
    (void)doc.documentLayout()->documentSize();
    const double layout = since(start);
    char line[128];
    std::snprintf(line, sizeof line, "%.3f s (read %.3f, fill %.3f, layout %.3f)", parse + fill + layout, parse, fill,
                  layout);
    return line;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<std::size_t> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::stoul(argv[i]) * 1024);
    if (sizes.empty())
        sizes = {90 * 1024, 180 * 1024, 900 * 1024};
    for (const std::size_t size : sizes) {
        const std::string page = toggles(size);
        std::printf("rtf: %zu KB of bold toggles in one paragraph: %s\n", page.size() / 1024, timesFor(page).c_str());
    }
    const std::string font = hugeFont(1024 * 1024);
    std::printf("rtf: 1 MB font name, 4,000 format changes, 100,000 groups: %s\n", timesFor(font).c_str());
    return 0;
}
