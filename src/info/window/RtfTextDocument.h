#pragma once

class QObject;
class QTextDocument;

namespace cantorel {

struct RtfDocument;

// Turns our reader's rich text into a QTextDocument for the text page.
class RtfTextDocument {
public:
    // Replaces the contents of `doc` with the rich text.
    static void fill(QTextDocument* doc, const RtfDocument& rtf);
};

} // namespace cantorel
