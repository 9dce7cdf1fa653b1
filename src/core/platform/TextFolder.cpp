#include "core/platform/TextFolder.h"

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace cantorel {

namespace {

bool isAscii(std::string_view text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace

TextFolder::TextFolder(bool latin)
{
    UErrorCode status = U_ZERO_ERROR;
    decompose_ = icu::Normalizer2::getNFKDInstance(status);
    if (U_FAILURE(status))
        decompose_ = nullptr;
    if (latin) {
        status = U_ZERO_ERROR;
        transliterator_.reset(icu::Transliterator::createInstance("Any-Latin; Latin-ASCII", UTRANS_FORWARD, status));
        if (U_FAILURE(status))
            transliterator_.reset();
    }
}

TextFolder::~TextFolder() = default;

std::string TextFolder::fold(std::string_view utf8) const
{
    if (isAscii(utf8))
        return lowerAscii(utf8);
    icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    text.foldCase();
    if (decompose_) {
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeString decomposed = decompose_->normalize(text, status);
        if (U_SUCCESS(status))
            text = std::move(decomposed);
    }
    // Without the marks the decomposition split off; folded once more, as a decomposition
    // can give capitals (compatibility forms).
    icu::UnicodeString bare;
    for (int32_t i = 0; i < text.length();) {
        const UChar32 c = text.char32At(i);
        i += U16_LENGTH(c);
        if (u_charType(c) != U_NON_SPACING_MARK)
            bare.append(c);
    }
    bare.foldCase();
    std::string out;
    bare.toUTF8String(out);
    return out;
}

std::string TextFolder::latin(std::string_view folded)
{
    if (!transliterator_ || isAscii(folded))
        return {};
    std::string out;
    out.reserve(folded.size());
    bool changed = false;
    std::size_t start = 0;
    while (start < folded.size()) {
        std::size_t end = folded.find(' ', start);
        if (end == std::string_view::npos)
            end = folded.size();
        const std::string_view word = folded.substr(start, end - start);
        if (isAscii(word)) {
            out += word;
        } else {
            const std::string spelled = transliterate(word);
            changed = changed || spelled != word;
            out += spelled;
        }
        if (end < folded.size())
            out += ' ';
        start = end + 1;
    }
    return changed ? out : std::string();
}

std::string TextFolder::transliterate(std::string_view word)
{
    const std::string key(word);
    if (const auto known = words_.find(key); known != words_.end())
        return known->second;
    icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(word.data(), static_cast<int32_t>(word.size())));
    transliterator_->transliterate(text);
    std::string spelled;
    text.toUTF8String(spelled);
    spelled = fold(spelled);
    // A cache for one build: words repeat across a collection, but not without end.
    if (words_.size() > 200000)
        words_.clear();
    words_.emplace(key, spelled);
    return spelled;
}

} // namespace cantorel
