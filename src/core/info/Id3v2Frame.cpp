#include "core/info/Id3v2Frame.h"

#include "core/platform/TextRules.h"

#include <algorithm>
#include <zlib.h>

namespace cantorel {

namespace {

// Text encodings of the encoding byte.
constexpr unsigned char Latin1 = 0;
constexpr unsigned char Utf16 = 1; // with a byte-order mark
constexpr unsigned char Utf16BigEndian = 2;
constexpr unsigned char Utf8 = 3;

// Format flags of a 2.4 frame, then of a 2.3 frame.
constexpr std::uint16_t V4Grouping = 0x0040, V4Compressed = 0x0008, V4Encrypted = 0x0004, V4Unsynchronised = 0x0002,
                        V4DataLength = 0x0001;
constexpr std::uint16_t V3Compressed = 0x0080, V3Encrypted = 0x0040, V3Grouping = 0x0020;

unsigned char byteAt(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

bool wide(unsigned char encoding) { return encoding == Utf16 || encoding == Utf16BigEndian; }

std::string fromLatin1(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        text::appendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

// UTF-16 text; a byte-order mark at its start decides the byte order, else `bigEndian`.
std::string fromUtf16(std::string_view s, bool bigEndian)
{
    if (s.size() >= 2 && byteAt(s, 0) == 0xFF && byteAt(s, 1) == 0xFE) {
        bigEndian = false;
        s.remove_prefix(2);
    } else if (s.size() >= 2 && byteAt(s, 0) == 0xFE && byteAt(s, 1) == 0xFF) {
        bigEndian = true;
        s.remove_prefix(2);
    }
    const auto unit = [&](std::size_t i) -> char32_t {
        return bigEndian ? (char32_t(byteAt(s, i)) << 8) | byteAt(s, i + 1)
                         : (char32_t(byteAt(s, i + 1)) << 8) | byteAt(s, i);
    };
    std::string out;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < s.size()) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        text::appendUtf8(out, c >= 0xD800 && c < 0xE000 ? U'\uFFFD' : c);
    }
    return out;
}

std::string fromUtf8(std::string_view s)
{
    if (text::isValidUtf8(s))
        return std::string(s);
    std::string out;
    for (std::size_t pos = 0; pos < s.size();) {
        bool valid = true;
        const char32_t c = text::nextCodePoint(s, pos, &valid);
        text::appendUtf8(out, valid ? c : U'\uFFFD');
    }
    return out;
}

std::string decode(std::string_view s, unsigned char encoding, bool& bigEndian)
{
    switch (encoding) {
    case Utf16:
        if (s.size() >= 2 && byteAt(s, 0) == 0xFE && byteAt(s, 1) == 0xFF)
            bigEndian = true;
        else if (s.size() >= 2 && byteAt(s, 0) == 0xFF && byteAt(s, 1) == 0xFE)
            bigEndian = false;
        return fromUtf16(s, bigEndian);
    case Utf16BigEndian: return fromUtf16(s, true);
    case Utf8: return fromUtf8(s);
    default: return fromLatin1(s);
    }
}

// Where the string that starts at `from` ends (its terminator), and where the next one
// starts; the end of `s` when it has no terminator.
std::pair<std::size_t, std::size_t> terminated(std::string_view s, std::size_t from, unsigned char encoding)
{
    if (!wide(encoding)) {
        const std::size_t nul = s.find('\0', from);
        return nul == std::string_view::npos ? std::pair{s.size(), s.size()} : std::pair{nul, nul + 1};
    }
    for (std::size_t i = from; i + 1 < s.size(); i += 2) {
        if (s[i] == '\0' && s[i + 1] == '\0')
            return {i, i + 2};
    }
    return {s.size(), s.size()};
}

std::string withoutTrailingNuls(std::string text)
{
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

std::string deunsynchronised(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        out += s[i];
        if (byteAt(s, i) == 0xFF && i + 1 < s.size() && s[i + 1] == '\0')
            ++i;
    }
    return out;
}

// The zlib stream inflated, at most `cap` bytes of it; nothing when it is broken before
// anything came out.
std::optional<std::string> inflated(std::string_view compressed, std::size_t cap)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return std::nullopt;
    std::string out(std::min<std::size_t>(cap, std::max<std::size_t>(compressed.size() * 4, 256)), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = static_cast<uInt>(compressed.size());
    int status = Z_OK;
    std::size_t produced = 0;
    while (status == Z_OK && produced < cap) {
        if (produced == out.size())
            out.resize(std::min(cap, out.size() * 2));
        z.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        z.avail_out = static_cast<uInt>(out.size() - produced);
        status = inflate(&z, Z_NO_FLUSH);
        produced = out.size() - z.avail_out;
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END && status != Z_OK && produced == 0)
        return std::nullopt;
    out.resize(produced);
    return out;
}

void appendBigEndian(std::string& out, std::uint32_t value, bool syncsafe)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        const std::uint32_t part = syncsafe ? (value >> (shift / 8 * 7)) & 0x7F : (value >> shift) & 0xFF;
        out += static_cast<char>(part);
    }
}

std::string utf16(std::string_view utf8)
{
    std::string out("\xFF\xFE", 2);
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t c = text::nextCodePoint(utf8, pos);
        const auto put = [&out](char32_t u) {
            out += static_cast<char>(u & 0xFF);
            out += static_cast<char>((u >> 8) & 0xFF);
        };
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
    return out;
}

// A text in the encoding a new frame of `version` takes, with its encoding byte first.
std::string encodedText(std::string_view value, int version, bool terminated)
{
    if (version == 4)
        return std::string(1, char(Utf8)) + std::string(value) + (terminated ? std::string(1, '\0') : std::string());
    return std::string(1, char(Utf16)) + utf16(value) + (terminated ? std::string(2, '\0') : std::string());
}

} // namespace

std::uint32_t Id3v2Frame::bodySize(const unsigned char* h, int version)
{
    if (version == 2)
        return (std::uint32_t(h[3]) << 16) | (std::uint32_t(h[4]) << 8) | h[5];
    if (version == 4)
        return (std::uint32_t(h[4] & 0x7F) << 21) | (std::uint32_t(h[5] & 0x7F) << 14) |
               (std::uint32_t(h[6] & 0x7F) << 7) | (h[7] & 0x7F);
    return (std::uint32_t(h[4]) << 24) | (std::uint32_t(h[5]) << 16) | (std::uint32_t(h[6]) << 8) | h[7];
}

bool Id3v2Frame::validId(std::string_view id)
{
    return (id.size() == 3 || id.size() == 4) &&
           std::all_of(id.begin(), id.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

std::optional<std::string> Id3v2Frame::contents(std::size_t cap) const
{
    std::string_view body = storedBody();
    if (version == 2)
        return std::string(body.substr(0, cap));
    bool compressed = false;
    if (version == 4) {
        if (flags & V4Encrypted)
            return std::nullopt;
        if (flags & V4Grouping)
            body.remove_prefix(std::min<std::size_t>(1, body.size()));
        if (flags & V4DataLength)
            body.remove_prefix(std::min<std::size_t>(4, body.size()));
        compressed = flags & V4Compressed;
        if (flags & V4Unsynchronised) {
            const std::string plain = deunsynchronised(body);
            return compressed ? inflated(plain, cap) : plain.substr(0, cap);
        }
    } else {
        if (flags & V3Encrypted)
            return std::nullopt;
        compressed = flags & V3Compressed;
        if (compressed)
            body.remove_prefix(std::min<std::size_t>(4, body.size()));
        if (flags & V3Grouping)
            body.remove_prefix(std::min<std::size_t>(1, body.size()));
    }
    if (compressed)
        return inflated(body, cap);
    return std::string(body.substr(0, cap));
}

std::vector<std::string> Id3v2Frame::texts(std::string_view contents)
{
    std::vector<std::string> strings;
    if (contents.empty())
        return strings;
    const unsigned char encoding = byteAt(contents, 0);
    bool bigEndian = encoding == Utf16BigEndian;
    for (std::size_t at = 1; at < contents.size();) {
        const auto [end, next] = terminated(contents, at, encoding);
        strings.push_back(decode(contents.substr(at, end - at), encoding, bigEndian));
        at = next;
    }
    if (!strings.empty() && strings.back().empty())
        strings.pop_back();
    return strings;
}

std::optional<Id3v2Frame::Described> Id3v2Frame::comment(std::string_view contents)
{
    if (contents.size() < 4)
        return std::nullopt;
    const unsigned char encoding = byteAt(contents, 0);
    Described d;
    d.language = std::string(contents.substr(1, 3));
    bool bigEndian = encoding == Utf16BigEndian;
    const auto [end, next] = terminated(contents, 4, encoding);
    d.description = decode(contents.substr(4, end - 4), encoding, bigEndian);
    d.text = withoutTrailingNuls(decode(contents.substr(std::min(next, contents.size())), encoding, bigEndian));
    return d;
}

std::optional<Id3v2Frame::Described> Id3v2Frame::userText(std::string_view contents)
{
    if (contents.empty())
        return std::nullopt;
    const unsigned char encoding = byteAt(contents, 0);
    Described d;
    bool bigEndian = encoding == Utf16BigEndian;
    const auto [end, next] = terminated(contents, 1, encoding);
    d.description = decode(contents.substr(1, end - 1), encoding, bigEndian);
    d.text = withoutTrailingNuls(decode(contents.substr(std::min(next, contents.size())), encoding, bigEndian));
    return d;
}

std::optional<Id3v2Frame::Picture> Id3v2Frame::picture(std::string_view contents, int version)
{
    if (contents.size() < 2)
        return std::nullopt;
    const unsigned char encoding = byteAt(contents, 0);
    Picture p;
    std::size_t at = 1;
    if (version == 2) {
        if (contents.size() < 5)
            return std::nullopt;
        const std::string format = text::foldAZ(contents.substr(1, 3));
        p.mimeType = format == "png" ? "image/png" : format == "jpg" ? "image/jpeg" : "image/" + format;
        at = 4;
    } else {
        const std::size_t nul = contents.find('\0', 1);
        if (nul == std::string_view::npos)
            return std::nullopt;
        p.mimeType = std::string(contents.substr(1, nul - 1));
        at = nul + 1;
    }
    if (at >= contents.size())
        return std::nullopt;
    p.type = byteAt(contents, at);
    const std::size_t next = terminated(contents, at + 1, encoding).second;
    if (next > contents.size())
        return std::nullopt;
    p.data = std::string(contents.substr(next));
    return p;
}

Id3v2Frame Id3v2Frame::make(std::string_view id, std::string body, int version)
{
    Id3v2Frame frame;
    frame.id = std::string(id);
    frame.version = version;
    frame.stored = std::string(id);
    appendBigEndian(frame.stored, static_cast<std::uint32_t>(body.size()), version == 4);
    frame.stored.append(2, '\0');
    frame.stored += body;
    return frame;
}

Id3v2Frame Id3v2Frame::text(std::string_view id, std::string_view value, int version)
{
    return make(id, encodedText(value, version, false), version);
}

Id3v2Frame Id3v2Frame::comment(std::string_view language, std::string_view value, int version)
{
    const std::string encoded = encodedText("", version, true);
    std::string body = encoded.substr(0, 1) + std::string(language.substr(0, 3)) + encoded.substr(1);
    body += encodedText(value, version, false).substr(1);
    return make("COMM", std::move(body), version);
}

Id3v2Frame Id3v2Frame::picture(const Picture& picture, int version)
{
    std::string body(1, char(Latin1));
    body += picture.mimeType;
    body += '\0';
    body += static_cast<char>(picture.type);
    body += '\0'; // no description
    body += picture.data;
    return make("APIC", std::move(body), version);
}

} // namespace cantorel
