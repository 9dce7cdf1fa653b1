#pragma once

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cantorel {

// A single-byte code page as a pair of tables built once from ICU: each byte decodes to
// one character, and encoding uses the exact inverse, so no fallback mappings ever apply.
// Bytes 0x00-0x7F always map to themselves. Code page 65001 is UTF-8 itself: it holds
// every character.
class CodePage {
public:
    static constexpr int Utf8 = 65001;

    // The code page with this number (437, 850, 866, 1251, ...); nullptr when ICU does not
    // know it or it is not a single-byte page. Tables are built once and then shared.
    static const CodePage* byNumber(int number);

    int number() const { return number_; }
    bool isUtf8() const { return utf8_; }

    // Code page bytes to UTF-8.
    std::string decode(std::string_view bytes) const;
    // UTF-8 to code page bytes; a character without a counterpart becomes "?".
    std::string encode(std::string_view utf8) const;
    // True when every character of the UTF-8 text has a counterpart.
    bool canEncode(std::string_view utf8) const;
    // The characters of the text without a counterpart, each once, separated by blanks
    // (U+FFFD for bytes that are not UTF-8); "" when it can be encoded.
    std::string unencodable(std::string_view utf8) const;

private:
    CodePage(int number, const std::array<char32_t, 256>& toUnicode);

    int number_;
    bool utf8_ = false;
    std::array<char32_t, 256> toUnicode_;
    std::unordered_map<char32_t, unsigned char> fromUnicode_;
};

} // namespace cantorel
