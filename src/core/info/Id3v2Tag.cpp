#include "core/info/Id3v2Tag.h"

#include "core/platform/ByteSource.h"

#include <algorithm>

namespace cantorel {

namespace {

constexpr std::uint8_t Unsynchronised = 0x80;
constexpr std::uint8_t ExtendedHeader = 0x40;
constexpr std::uint8_t Footer = 0x10;
constexpr std::size_t FooterSize = 10;

std::uint32_t syncsafe(const unsigned char* b)
{
    return (std::uint32_t(b[0]) << 21) | (std::uint32_t(b[1]) << 14) | (std::uint32_t(b[2]) << 7) | b[3];
}

std::uint32_t bigEndian(const unsigned char* b)
{
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

// Reads a source through a window of a few kilobytes, so that the small frames at the
// start of a tag take one read and large ones are passed over without reading them. The
// window ends with the tag: a small tag is read within the bytes its file's first read
// holds.
class Window {
public:
    Window(const ByteSource& source, std::int64_t end) : source_(source), end_(end) {}
    std::string_view at(std::int64_t offset, std::size_t count)
    {
        if (offset < start_ || offset + static_cast<std::int64_t>(count) > start_ + std::int64_t(bytes_.size())) {
            start_ = offset;
            const std::int64_t left = std::max<std::int64_t>(end_ - offset, 0);
            bytes_ = source_.read(offset, std::max<std::size_t>(count, std::min<std::int64_t>(Span, left)));
        }
        const std::string_view view(bytes_);
        return view.substr(static_cast<std::size_t>(offset - start_), count);
    }

private:
    static constexpr std::size_t Span = 8192;
    const ByteSource& source_;
    std::int64_t end_;
    std::int64_t start_ = -1;
    std::string bytes_;
};

// What may follow a frame: another frame's id, padding, or the end of the frames.
bool frameMayStartAt(Window& window, std::int64_t at, std::int64_t end, std::size_t idSize)
{
    if (at == end)
        return true;
    if (at > end || at + static_cast<std::int64_t>(idSize) > end)
        return false;
    const std::string_view id = window.at(at, idSize);
    return id.size() == idSize && (id[0] == '\0' || Id3v2Frame::validId(id));
}

} // namespace

std::int64_t Id3v2Tag::sizeOf(std::string_view header)
{
    if (header.size() < HeaderSize || header.substr(0, 3) != "ID3")
        return 0;
    const auto* h = reinterpret_cast<const unsigned char*>(header.data());
    if (h[3] == 0xFF || h[4] == 0xFF || (h[6] | h[7] | h[8] | h[9]) & 0x80)
        return 0;
    const bool footer = h[3] == 4 && (h[5] & Footer);
    return static_cast<std::int64_t>(HeaderSize + syncsafe(h + 6) + (footer ? FooterSize : 0));
}

std::optional<Id3v2Tag> Id3v2Tag::read(const ByteSource& source, const Wanted& wanted, const Limits& limits)
{
    const std::string header = source.read(0, HeaderSize);
    const std::int64_t size = sizeOf(header);
    if (size == 0 || size > source.size())
        return std::nullopt;
    Id3v2Tag tag;
    tag.version = static_cast<unsigned char>(header[3]);
    tag.flags = static_cast<std::uint8_t>(header[5]);
    tag.size = size;
    const std::int64_t bodyEnd = size - (tag.hasFooter() ? FooterSize : 0);
    if (tag.version < 2 || tag.version > 4 || size > limits.tagBytes || (tag.version == 2 && (tag.flags & 0x40))) {
        tag.complete = false; // a tag of an unknown version, too large, or compressed whole (2.2)
        return tag;
    }
    // A tag unsynchronised as a whole (before 2.4) is read whole and its frames found in
    // what it stands for.
    std::string plain;
    MemorySource plainSource(plain);
    const bool whole = tag.version < 4 && (tag.flags & Unsynchronised);
    if (whole) {
        const std::string stored = source.read(0, static_cast<std::size_t>(bodyEnd));
        plain.reserve(stored.size());
        for (std::size_t i = 0; i < stored.size(); ++i) {
            plain += stored[i];
            if (static_cast<unsigned char>(stored[i]) == 0xFF && i + 1 < stored.size() && stored[i + 1] == '\0')
                ++i;
        }
        plainSource = MemorySource(plain);
    }
    const ByteSource& body = whole ? static_cast<const ByteSource&>(plainSource) : source;
    const std::int64_t end = whole ? plainSource.size() : bodyEnd;
    Window window(body, end);
    std::int64_t at = HeaderSize;
    if (tag.flags & ExtendedHeader) {
        const std::string_view ext = window.at(at, 4);
        const auto* e = reinterpret_cast<const unsigned char*>(ext.data());
        if (ext.size() < 4 || (tag.version == 4 && (e[0] | e[1] | e[2] | e[3]) & 0x80)) {
            tag.complete = false;
            return tag;
        }
        at += tag.version == 4 ? syncsafe(e) : 4 + bigEndian(e);
    }
    const std::size_t headerSize = tag.version == 2 ? 6 : 10;
    const std::size_t idSize = tag.version == 2 ? 3 : 4;
    std::size_t looked = 0;
    while (at + static_cast<std::int64_t>(headerSize) <= end) {
        // The header is copied: the window moves when the frames after it are looked at.
        unsigned char b[10] = {};
        const std::string_view h = window.at(at, headerSize);
        if (h.size() < headerSize || h[0] == '\0')
            break; // padding
        std::copy(h.begin(), h.end(), b);
        const std::string id(h.substr(0, idSize));
        std::int64_t bodySize = Id3v2Frame::bodySize(b, tag.version);
        // Some taggers wrote 2.4 sizes as plain numbers: when the syncsafe reading cannot be
        // right and the plain one is, the plain one counts.
        if (tag.version == 4) {
            const std::int64_t plainSize = Id3v2Frame::bodySize(b, 3);
            const bool notSyncsafe = (b[4] | b[5] | b[6] | b[7]) & 0x80;
            if (plainSize != bodySize && (notSyncsafe || (!frameMayStartAt(window, at + 10 + bodySize, end, idSize) &&
                                                          frameMayStartAt(window, at + 10 + plainSize, end, idSize))))
                bodySize = plainSize;
        }
        const std::int64_t frameEnd = at + static_cast<std::int64_t>(headerSize) + bodySize;
        if (!Id3v2Frame::validId(id) || frameEnd > end || ++looked > limits.frames) {
            tag.complete = false;
            break;
        }
        if (wanted(id) && static_cast<std::size_t>(bodySize) <= limits.frameBytes) {
            Id3v2Frame frame;
            frame.id = id;
            frame.version = tag.version;
            frame.flags = tag.version == 2 ? 0 : static_cast<std::uint16_t>((b[8] << 8) | b[9]);
            frame.stored = std::string(window.at(at, static_cast<std::size_t>(frameEnd - at)));
            tag.frames.push_back(std::move(frame));
        } else if (wanted(id)) {
            tag.oversized = true;
        }
        at = frameEnd;
    }
    return tag;
}

const Id3v2Frame* Id3v2Tag::find(std::string_view id) const
{
    const auto it = std::find_if(frames.begin(), frames.end(), [id](const Id3v2Frame& f) { return f.id == id; });
    return it == frames.end() ? nullptr : &*it;
}

std::string Id3v2Tag::render(std::int64_t paddedSize) const
{
    std::string body;
    for (const Id3v2Frame& frame : frames)
        body += frame.stored;
    const bool footer = hasFooter();
    const std::int64_t needed = static_cast<std::int64_t>(HeaderSize + body.size() + (footer ? FooterSize : 0));
    if (!footer && paddedSize > needed)
        body.append(static_cast<std::size_t>(paddedSize - needed), '\0');
    std::string out("ID3", 3);
    out += static_cast<char>(version);
    out += '\0';
    out += static_cast<char>(flags & ~(Unsynchronised | ExtendedHeader));
    const auto bodySize = static_cast<std::uint32_t>(body.size());
    for (int shift = 21; shift >= 0; shift -= 7)
        out += static_cast<char>((bodySize >> shift) & 0x7F);
    const std::string head = out;
    out += body;
    if (footer)
        out += "3DI" + head.substr(3);
    return out;
}

} // namespace cantorel
