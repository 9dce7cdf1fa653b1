#include "core/platform/TextRules.h"

#include <algorithm>

namespace cantorel::text {

namespace {
bool isTrimmed(unsigned char c) { return c <= 32; }
} // namespace

std::string_view trim(std::string_view s)
{
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && isTrimmed(static_cast<unsigned char>(s[begin])))
        ++begin;
    while (end > begin && isTrimmed(static_cast<unsigned char>(s[end - 1])))
        --end;
    return s.substr(begin, end - begin);
}

std::string trimmed(std::string_view s) { return std::string(trim(s)); }

char foldAZ(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string foldAZ(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = foldAZ(c);
    return out;
}

bool equalsFolded(std::string_view a, std::string_view b) { return a.size() == b.size() && startsWithFolded(a, b); }

bool startsWithFolded(std::string_view s, std::string_view prefix)
{
    if (prefix.size() > s.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (foldAZ(s[i]) != foldAZ(prefix[i]))
            return false;
    }
    return true;
}

std::size_t FoldedHash::operator()(std::string_view s) const
{
    std::size_t h = 1469598103934665603ull; // FNV-1a
    for (char c : s) {
        h ^= static_cast<unsigned char>(foldAZ(c));
        h *= 1099511628211ull;
    }
    return h;
}

bool lessFolded(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(foldAZ(a[i]));
        const auto y = static_cast<unsigned char>(foldAZ(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

char32_t nextCodePoint(std::string_view s, std::size_t& pos, bool* valid)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        if (valid)
            *valid = true;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        cp = lead & 0x07;
        minimum = 0x10000;
    }
    bool ok = length > 0 && pos + length <= s.size();
    for (std::size_t i = 1; ok && i < length; ++i) {
        const unsigned char c = byte(pos + i);
        ok = (c & 0xC0) == 0x80;
        cp = (cp << 6) | (c & 0x3F);
    }
    ok = ok && cp >= minimum && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    if (valid)
        *valid = ok;
    if (!ok) {
        ++pos;
        return lead;
    }
    pos += length;
    return cp;
}

bool isValidUtf8(std::string_view s)
{
    std::size_t pos = 0;
    while (pos < s.size()) {
        bool ok = true;
        nextCodePoint(s, pos, &ok);
        if (!ok)
            return false;
    }
    return true;
}

std::size_t charCount(std::string_view s)
{
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < s.size(); ++count)
        nextCodePoint(s, pos);
    return count;
}

std::string_view charPrefix(std::string_view s, std::size_t maxChars)
{
    // Each character takes a byte at least.
    if (s.size() <= maxChars)
        return s;
    std::size_t pos = 0;
    for (std::size_t n = 0; n < maxChars && pos < s.size(); ++n)
        nextCodePoint(s, pos);
    return s.substr(0, pos);
}

std::string cutChars(std::string_view s, std::size_t maxChars) { return std::string(charPrefix(s, maxChars)); }

std::string cutBytes(std::string_view s, std::size_t maxBytes)
{
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t next = pos;
        nextCodePoint(s, next);
        if (next > maxBytes)
            break;
        pos = next;
    }
    return std::string(s.substr(0, pos));
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::vector<std::string_view> splitLines(std::string_view data)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] != '\r' && data[i] != '\n')
            continue;
        lines.push_back(data.substr(start, i - start));
        if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < data.size())
        lines.push_back(data.substr(start));
    return lines;
}

} // namespace cantorel::text
