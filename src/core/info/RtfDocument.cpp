#include "core/info/RtfDocument.h"

#include "core/platform/CodePage.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <map>
#include <utility>

namespace cantorel {

namespace {

constexpr int MaxDepth = 256;
// Longer font names are cut: no font has such a name, and runs must stay small.
constexpr std::size_t MaxFontName = 256;

enum class Destination { Text, Skip, FontTable, ColorTable };

// Groups whose text is not part of the document.
constexpr std::array<std::string_view, 24> SkippedDestinations = {
    "stylesheet",   "info",      "pict",     "header",    "headerl",
    "headerr",      "headerf",   "footer",   "footerl",   "footerr",
    "footerf",      "object",    "fldinst",  "themedata", "colorschememapping",
    "latentstyles", "datastore", "xmlnstbl", "listtable", "listoverridetable",
    "rsidtbl",      "generator", "footnote", "filetbl",
};

struct GroupState {
    RtfDocument::Run format;
    int font = -1;
    int color = 0;
    int highlight = 0;
    int skipAfterUnicode = 1;
    Destination destination = Destination::Text;
    RtfDocument::Paragraph paragraph; // its properties only
};

bool sameFormat(const RtfDocument::Run& a, const RtfDocument::Run& b)
{
    return a.bold == b.bold && a.italic == b.italic && a.underline == b.underline && a.strike == b.strike &&
           a.halfPoints == b.halfPoints && a.font == b.font && a.color == b.color && a.highlight == b.highlight;
}

class Parser {
public:
    Parser(std::string_view rtf, const CodePage& fallback) : in_(rtf), page_(&fallback) {}

    RtfDocument run()
    {
        doc_.paragraphs.emplace_back();
        while (pos_ < in_.size()) {
            const char c = in_[pos_++];
            if (c == '{')
                openGroup();
            else if (c == '}')
                closeGroup();
            else if (c == '\\')
                control();
            else if (c != '\r' && c != '\n')
                byte(static_cast<unsigned char>(c));
        }
        flushFontName();
        if (doc_.paragraphs.size() > 1 && doc_.paragraphs.back().runs.empty())
            doc_.paragraphs.pop_back();
        return std::move(doc_);
    }

private:
    // Paragraphs, runs and groups each cost the reader and the page: a document of more
    // is read up to the cap and marked cut.
    bool spend()
    {
        if (++spent_ <= RtfDocument::MaxElements)
            return true;
        doc_.truncated = true;
        pos_ = in_.size();
        return false;
    }

    void openGroup()
    {
        if (!spend())
            return;
        if (stack_.size() >= MaxDepth) {
            ++overflow_;
            return;
        }
        stack_.push_back(state_);
    }

    void closeGroup()
    {
        if (overflow_ > 0) {
            --overflow_;
            return;
        }
        if (state_.destination == Destination::FontTable)
            flushFontName();
        if (stack_.empty())
            return; // an unbalanced closing brace is passed over
        state_ = stack_.back();
        stack_.pop_back();
    }

    void control()
    {
        if (pos_ >= in_.size())
            return;
        const char c = in_[pos_];
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            ++pos_;
            symbol(c);
            return;
        }
        const std::size_t start = pos_;
        while (pos_ < in_.size() && pos_ - start < 32 && std::isalpha(static_cast<unsigned char>(in_[pos_])))
            ++pos_;
        const std::string_view word = in_.substr(start, pos_ - start);
        std::optional<int> param;
        const std::size_t numberStart = pos_;
        if (pos_ < in_.size() && in_[pos_] == '-')
            ++pos_;
        while (pos_ < in_.size() && pos_ - numberStart < 11 && std::isdigit(static_cast<unsigned char>(in_[pos_])))
            ++pos_;
        if (pos_ > numberStart) {
            long value = 0;
            std::from_chars(in_.data() + numberStart, in_.data() + pos_, value);
            param = static_cast<int>(std::clamp<long>(value, -1'000'000'000, 1'000'000'000));
        }
        if (pos_ < in_.size() && in_[pos_] == ' ')
            ++pos_;
        keyword(word, param);
    }

    void symbol(char c)
    {
        switch (c) {
        case '\'': {
            if (pos_ + 2 > in_.size())
                return;
            int value = 0;
            const auto [end, ec] = std::from_chars(in_.data() + pos_, in_.data() + pos_ + 2, value, 16);
            pos_ = static_cast<std::size_t>(end - in_.data());
            if (ec == std::errc())
                byte(static_cast<unsigned char>(value));
            return;
        }
        case '*':
            // An ignorable destination we do not know: skip it (known ones reset this).
            pendingStar_ = true;
            return;
        case '~': return text("\u00A0");
        case '_': return text("\u2011");
        case '-': return; // optional hyphen
        case '\n':
        case '\r': return paragraphBreak();
        default: return text(std::string(1, c)); // \\ \{ \} and anything else literal
        }
    }

    void keyword(std::string_view w, std::optional<int> p)
    {
        RtfDocument::Run& f = state_.format;
        const bool on = !p || *p != 0;
        const bool starred = std::exchange(pendingStar_, false);
        if (w == "fonttbl")
            state_.destination = Destination::FontTable;
        else if (w == "colortbl") {
            state_.destination = Destination::ColorTable;
            colors_.clear();
            color_ = 0;
        } else if (starred || isSkipped(w))
            state_.destination = Destination::Skip;
        else if (w == "par")
            paragraphBreak();
        else if (w == "line")
            text("\n");
        else if (w == "tab")
            text("\t");
        else if (w == "b")
            f.bold = on;
        else if (w == "i")
            f.italic = on;
        else if (w == "ul")
            f.underline = on;
        else if (w == "ulnone")
            f.underline = false;
        else if (w == "strike")
            f.strike = on;
        else if (w == "fs" && p && *p > 0)
            f.halfPoints = std::min(*p, 3200);
        else if (w == "f" && p)
            fontNumber(*p);
        else if (w == "cf" && p)
            state_.color = *p, f.color = colorAt(*p);
        else if ((w == "highlight" || w == "cb") && p)
            state_.highlight = *p, f.highlight = colorAt(*p);
        else if (w == "plain") {
            f = RtfDocument::Run();
            f.font = fontSlot(defaultFont_);
        } else if (w == "pard")
            setParagraph(RtfDocument::Paragraph{});
        else if (w == "ql" || w == "qc" || w == "qr" || w == "qj")
            paragraphProperty([&](RtfDocument::Paragraph& q) {
                q.alignment = w == "qc"   ? RtfDocument::Alignment::Center
                              : w == "qr" ? RtfDocument::Alignment::Right
                              : w == "qj" ? RtfDocument::Alignment::Justify
                                          : RtfDocument::Alignment::Left;
            });
        else if (w == "li" && p)
            paragraphProperty([&](RtfDocument::Paragraph& q) { q.leftTwips = *p; });
        else if (w == "ri" && p)
            paragraphProperty([&](RtfDocument::Paragraph& q) { q.rightTwips = *p; });
        else if (w == "fi" && p)
            paragraphProperty([&](RtfDocument::Paragraph& q) { q.firstTwips = *p; });
        else if (w == "deff" && p)
            defaultFont_ = *p;
        else if (w == "ansicpg" && p) {
            if (const CodePage* page = CodePage::byNumber(*p))
                page_ = page;
        } else if (w == "pc")
            page_ = CodePage::byNumber(437) ? CodePage::byNumber(437) : page_;
        else if (w == "pca")
            page_ = CodePage::byNumber(850) ? CodePage::byNumber(850) : page_;
        else if (w == "uc" && p)
            state_.skipAfterUnicode = std::clamp(*p, 0, 10);
        else if (w == "u" && p)
            unicode(*p);
        else if (state_.destination == Destination::ColorTable)
            colorComponent(w, p);
    }

    static bool isSkipped(std::string_view w)
    {
        for (std::string_view d : SkippedDestinations) {
            if (d == w)
                return true;
        }
        return false;
    }

    void fontNumber(int n)
    {
        if (state_.destination == Destination::FontTable) {
            flushFontName();
            fontIndex_ = n;
            return;
        }
        state_.font = n;
        state_.format.font = fontSlot(n);
    }

    // The document's index of the font that RTF font number `n` names, -1 for none.
    int fontSlot(int n) const
    {
        const auto it = fonts_.find(n);
        return it == fonts_.end() ? -1 : it->second;
    }

    void flushFontName()
    {
        if (fontIndex_ >= 0) {
            std::string name = text::trimmed(fontText_);
            if (!name.empty() && name.back() == ';')
                name.pop_back();
            name = text::trimmed(name);
            if (name.empty()) {
                fonts_.erase(fontIndex_);
            } else {
                fonts_[fontIndex_] = static_cast<int>(doc_.fonts.size());
                doc_.fonts.push_back(std::move(name));
            }
        }
        fontIndex_ = -1;
        fontText_.clear();
    }

    void colorComponent(std::string_view w, std::optional<int> p)
    {
        const auto v = static_cast<std::uint32_t>(std::clamp(p.value_or(0), 0, 255));
        if (w == "red")
            color_ = (color_ & 0x00FFFF) | (v << 16);
        else if (w == "green")
            color_ = (color_ & 0xFF00FF) | (v << 8);
        else if (w == "blue")
            color_ = (color_ & 0xFFFF00) | v;
    }

    std::optional<std::uint32_t> colorAt(int index) const
    {
        if (index <= 0 || static_cast<std::size_t>(index) >= colors_.size())
            return std::nullopt;
        return colors_[static_cast<std::size_t>(index)];
    }

    template <typename F>
    void paragraphProperty(F change)
    {
        change(state_.paragraph);
        if (doc_.paragraphs.back().runs.empty())
            change(doc_.paragraphs.back());
    }

    void setParagraph(const RtfDocument::Paragraph& properties)
    {
        state_.paragraph = properties;
        if (doc_.paragraphs.back().runs.empty()) {
            RtfDocument::Paragraph& q = doc_.paragraphs.back();
            q.alignment = properties.alignment;
            q.leftTwips = properties.leftTwips;
            q.rightTwips = properties.rightTwips;
            q.firstTwips = properties.firstTwips;
        }
    }

    void paragraphBreak()
    {
        if (state_.destination != Destination::Text)
            return;
        if (!spend())
            return;
        RtfDocument::Paragraph next = state_.paragraph;
        next.runs.clear();
        doc_.paragraphs.push_back(std::move(next));
    }

    void unicode(int value)
    {
        const char32_t cp = static_cast<char32_t>(value < 0 ? value + 65536 : value);
        std::string s;
        text::appendUtf8(s, cp >= 0xD800 && cp <= 0xDFFF ? U'\uFFFD' : cp);
        text(s);
        skip_ = state_.skipAfterUnicode;
    }

    void byte(unsigned char b)
    {
        if (state_.destination == Destination::ColorTable) {
            if (b == ';') {
                colors_.push_back(color_);
                color_ = 0;
            }
            return;
        }
        text(page_->decode(std::string_view(reinterpret_cast<const char*>(&b), 1)));
    }

    void text(const std::string& s)
    {
        if (skip_ > 0) {
            --skip_;
            return;
        }
        if (state_.destination == Destination::FontTable) {
            if (fontText_.size() < MaxFontName)
                fontText_ += s;
            return;
        }
        if (state_.destination != Destination::Text)
            return;
        std::vector<RtfDocument::Run>& runs = doc_.paragraphs.back().runs;
        // Text in the same format grows the last run (compared without copying its text).
        if (!runs.empty() && sameFormat(runs.back(), state_.format)) {
            runs.back().text += s;
            return;
        }
        if (!spend())
            return;
        RtfDocument::Run run = state_.format;
        run.text = s;
        runs.push_back(std::move(run));
    }

    std::string_view in_;
    std::size_t pos_ = 0;
    const CodePage* page_;
    RtfDocument doc_;
    GroupState state_;
    std::vector<GroupState> stack_;
    int overflow_ = 0;
    std::size_t spent_ = 0;
    int skip_ = 0;
    bool pendingStar_ = false;
    std::map<int, int> fonts_; // RTF font number to index into doc_.fonts
    int fontIndex_ = -1;
    std::string fontText_;
    int defaultFont_ = 0;
    std::vector<std::uint32_t> colors_;
    std::uint32_t color_ = 0;
};

} // namespace

RtfDocument RtfDocument::parse(std::string_view rtf, const CodePage& fallback) { return Parser(rtf, fallback).run(); }

const std::string& RtfDocument::fontOf(const Run& run) const
{
    static const std::string none;
    return run.font >= 0 && static_cast<std::size_t>(run.font) < fonts.size()
               ? fonts[static_cast<std::size_t>(run.font)]
               : none;
}

std::string RtfDocument::plainText() const
{
    std::string out;
    for (std::size_t i = 0; i < paragraphs.size(); ++i) {
        if (i > 0)
            out += '\n';
        for (const Run& r : paragraphs[i].runs)
            out += r.text;
    }
    return out;
}

} // namespace cantorel
