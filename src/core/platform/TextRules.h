#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Text rules shared by every subsystem. Internal text is UTF-8; the folding of A-Z and
// the trimming of codes 0-32 work on bytes, so they are safe on any byte string.
namespace cantorel::text {

// Removes all leading and trailing bytes with codes 0 to 32.
std::string_view trim(std::string_view s);
std::string trimmed(std::string_view s);

// Lowers the letters A-Z and nothing else.
std::string foldAZ(std::string_view s);
char foldAZ(char c);

bool equalsFolded(std::string_view a, std::string_view b);
bool startsWithFolded(std::string_view s, std::string_view prefix);

bool isValidUtf8(std::string_view s);

// Hash and equality of byte strings with A-Z folded, for look-up tables that must not
// copy their keys.
struct FoldedHash {
    std::size_t operator()(std::string_view s) const;
};
struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const { return equalsFolded(a, b); }
};
// Byte order with A-Z folded.
bool lessFolded(std::string_view a, std::string_view b);

// Number of characters (code points) in UTF-8 text; a byte that does not start a valid
// sequence counts as one character.
std::size_t charCount(std::string_view s);

// The first `maxChars` characters of UTF-8 text; never splits a character.
std::string cutChars(std::string_view s, std::size_t maxChars);
// The same, as a part of `s`.
std::string_view charPrefix(std::string_view s, std::size_t maxChars);

// The first `maxBytes` bytes of UTF-8 text, shortened so that no character is split.
std::string cutBytes(std::string_view s, std::size_t maxBytes);

// Appends the UTF-8 encoding of a code point.
void appendUtf8(std::string& out, char32_t cp);

// Decodes one code point at `pos` and advances it; a malformed sequence yields the single
// byte's value with the high bit kept (0x80-0xFF) and advances by one.
char32_t nextCodePoint(std::string_view s, std::size_t& pos, bool* valid = nullptr);

// Splits text into lines that end at CR LF, a lone CR or a lone LF; a last line without
// an end counts, an end at the very end adds no empty line.
std::vector<std::string_view> splitLines(std::string_view data);

} // namespace cantorel::text
