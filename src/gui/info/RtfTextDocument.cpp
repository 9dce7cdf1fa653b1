#include "gui/info/RtfTextDocument.h"

#include "core/info/RtfDocument.h"

#include <QColor>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace cantorel {

namespace {

// Twips (1/1440 inch) at 96 pixels per inch.
qreal pixels(int twips) { return twips / 15.0; }

Qt::Alignment alignmentOf(RtfDocument::Alignment a)
{
    switch (a) {
    case RtfDocument::Alignment::Center: return Qt::AlignHCenter;
    case RtfDocument::Alignment::Right: return Qt::AlignRight;
    case RtfDocument::Alignment::Justify: return Qt::AlignJustify;
    case RtfDocument::Alignment::Left: break;
    }
    return Qt::AlignLeft;
}

QTextCharFormat charFormat(const RtfDocument& rtf, const RtfDocument::Run& run)
{
    QTextCharFormat f;
    f.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(run.italic);
    f.setFontUnderline(run.underline);
    f.setFontStrikeOut(run.strike);
    f.setFontPointSize(run.halfPoints / 2.0);
    if (const std::string& font = rtf.fontOf(run); !font.empty())
        f.setFontFamilies({QString::fromStdString(font)});
    if (run.color)
        f.setForeground(QColor::fromRgb(*run.color));
    if (run.highlight)
        f.setBackground(QColor::fromRgb(*run.highlight));
    return f;
}

} // namespace

void RtfTextDocument::fill(QTextDocument* doc, const RtfDocument& rtf)
{
    doc->clear();
    QTextCursor cursor(doc);
    // One edit block: the layout hears of the whole text once, not of every run.
    cursor.beginEditBlock();
    std::size_t shownRuns = 0;
    std::size_t shownParagraphs = 0;
    bool first = true;
    const auto cutHere = [&cursor] {
        cursor.insertBlock(QTextBlockFormat());
        cursor.insertText(QStringLiteral("[The rest of this page is not shown: it holds too many format "
                                         "changes.]"),
                          QTextCharFormat());
        cursor.endEditBlock();
    };
    for (const RtfDocument::Paragraph& p : rtf.paragraphs) {
        // A paragraph is a block of the layout: empty ones cost it too.
        if (shownParagraphs++ == MaxParagraphs)
            return cutHere();
        QTextBlockFormat block;
        block.setAlignment(alignmentOf(p.alignment));
        block.setLeftMargin(pixels(p.leftTwips));
        block.setRightMargin(pixels(p.rightTwips));
        block.setTextIndent(pixels(p.firstTwips));
        if (first)
            cursor.setBlockFormat(block);
        else
            cursor.insertBlock(block);
        first = false;
        for (std::size_t r = 0; r < p.runs.size(); ++r) {
            if (shownRuns++ == MaxRuns)
                return cutHere();
            // Laying out a block costs the square of its format changes: a paragraph
            // with very many goes on in a new block.
            if (r > 0 && r % MaxRunsPerBlock == 0)
                cursor.insertBlock(block);
            QString text = QString::fromStdString(p.runs[r].text);
            text.replace('\n', QChar::LineSeparator);
            cursor.insertText(text, charFormat(rtf, p.runs[r]));
        }
    }
    if (rtf.truncated)
        return cutHere();
    cursor.endEditBlock();
}

} // namespace cantorel
