#include "core/platform/CodePage.h"

#include "core/platform/TextRules.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

namespace cantorel {

namespace {

std::string icuName(int number)
{
    if (number >= 1250 && number <= 1258)
        return "windows-" + std::to_string(number);
    return "ibm-" + std::to_string(number);
}

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

// Reads the 256-entry table of a single-byte converter; nothing when it cannot be opened
// or is not single-byte.
std::optional<std::array<char32_t, 256>> readTable(int number)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, ConverterCloser> cnv(ucnv_open(icuName(number).c_str(), &status));
    if (U_FAILURE(status) || !cnv || ucnv_getMaxCharSize(cnv.get()) != 1)
        return std::nullopt;
    ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    std::array<char32_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
        table[b] = static_cast<char32_t>(b);
        if (b < 0x80)
            continue;
        const char in = static_cast<char>(b);
        UChar out[4];
        status = U_ZERO_ERROR;
        ucnv_reset(cnv.get());
        const int32_t n = ucnv_toUChars(cnv.get(), out, 4, &in, 1, &status);
        // A byte the page leaves undefined keeps the C1 control of its own value, as the
        // Windows tables do, so that every byte survives a round trip.
        if (U_SUCCESS(status) && n == 1)
            table[b] = out[0];
    }
    return table;
}

} // namespace

CodePage::CodePage(int number, const std::array<char32_t, 256>& toUnicode) : number_(number), toUnicode_(toUnicode)
{
    for (int b = 255; b >= 0; --b)
        fromUnicode_[toUnicode_[b]] = static_cast<unsigned char>(b);
}

const CodePage* CodePage::byNumber(int number)
{
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<CodePage>> pages;
    std::lock_guard lock(mutex);
    if (auto it = pages.find(number); it != pages.end())
        return it->second.get();
    std::unique_ptr<CodePage> page;
    if (number == Utf8) {
        page.reset(new CodePage(Utf8, {}));
        page->utf8_ = true;
    } else if (auto table = readTable(number)) {
        page.reset(new CodePage(number, *table));
    }
    return pages.emplace(number, std::move(page)).first->second.get();
}

std::string CodePage::decode(std::string_view bytes) const
{
    std::string out;
    out.reserve(bytes.size());
    if (utf8_) {
        // Bytes that are not UTF-8 each stand for the replacement character.
        for (std::size_t pos = 0; pos < bytes.size();) {
            const std::size_t start = pos;
            bool valid = true;
            text::nextCodePoint(bytes, pos, &valid);
            if (valid)
                out.append(bytes.substr(start, pos - start));
            else
                text::appendUtf8(out, U'\uFFFD');
        }
        return out;
    }
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out += c;
        else
            text::appendUtf8(out, toUnicode_[b]);
    }
    return out;
}

std::string CodePage::encode(std::string_view utf8) const
{
    if (utf8_)
        return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = text::nextCodePoint(utf8, pos);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        const auto it = fromUnicode_.find(cp);
        out += it == fromUnicode_.end() ? '?' : static_cast<char>(it->second);
    }
    return out;
}

bool CodePage::canEncode(std::string_view utf8) const { return unencodable(utf8).empty(); }

std::string CodePage::unencodable(std::string_view utf8) const
{
    std::string missing;
    if (utf8_)
        return missing;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t start = pos;
        bool valid = true;
        const char32_t cp = text::nextCodePoint(utf8, pos, &valid);
        if (valid && (cp < 0x80 || fromUnicode_.contains(cp)))
            continue;
        const std::string character =
            valid ? std::string(utf8.substr(start, pos - start)) : std::string("\xEF\xBF\xBD");
        if (missing.find(character) == std::string::npos)
            missing += (missing.empty() ? "" : " ") + character;
    }
    return missing;
}

} // namespace cantorel
