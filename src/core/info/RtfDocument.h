#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cantorel {

class CodePage;

// Rich text as our reader understands it: paragraphs of formatted runs. Built from RTF
// by parse(); the window turns it into a QTextDocument.
struct RtfDocument {
    enum class Alignment { Left, Center, Right, Justify };
    struct Run {
        std::string text; // UTF-8; "\n" for \line, "\t" for \tab
        bool bold = false;
        bool italic = false;
        bool underline = false;
        bool strike = false;
        int halfPoints = 24;
        int font = -1;                          // index into fonts; -1: none
        std::optional<std::uint32_t> color;     // 0xRRGGBB
        std::optional<std::uint32_t> highlight; // 0xRRGGBB
        bool operator==(const Run&) const = default;
    };
    struct Paragraph {
        Alignment alignment = Alignment::Left;
        int leftTwips = 0;
        int rightTwips = 0;
        int firstTwips = 0;
        std::vector<Run> runs;
    };
    // The most paragraphs, runs and groups a document is read with.
    static constexpr std::size_t MaxElements = 400'000;

    std::vector<Paragraph> paragraphs;
    // The text went on past MaxElements: it is cut there.
    bool truncated = false;
    // The font names, each once; runs refer to them by index.
    std::vector<std::string> fonts;

    // The font name of a run, "" for none.
    const std::string& fontOf(const Run& run) const;

    // Reads RTF; bytes written as \'hh are decoded from the document's \ansicpg, else
    // from `fallback`. Bad input never fails: what can be read is kept.
    static RtfDocument parse(std::string_view rtf, const CodePage& fallback);
    static bool isRtf(std::string_view data) { return data.starts_with("{\\rtf"); }

    // All text, paragraphs separated by "\n".
    std::string plainText() const;
};

} // namespace cantorel
