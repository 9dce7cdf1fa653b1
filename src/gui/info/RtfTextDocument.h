#pragma once

#include <cstddef>

class QObject;
class QTextDocument;

namespace cantorel {

struct RtfDocument;

// Turns our reader's rich text into a QTextDocument for the text page, in time and
// layout time linear in its size.
class RtfTextDocument {
public:
    // Format changes in one block of the document, in the whole document, and its
    // paragraphs (empty ones too); a page with more, or one its reader cut, is shown up
    // to there, with a note.
    static constexpr std::size_t MaxRunsPerBlock = 250;
    static constexpr std::size_t MaxRuns = 200'000;
    static constexpr std::size_t MaxParagraphs = 200'000;

    // Replaces the contents of `doc` with the rich text.
    static void fill(QTextDocument* doc, const RtfDocument& rtf);
};

} // namespace cantorel
