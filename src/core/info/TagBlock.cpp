#include "core/info/TagBlock.h"

#include "core/platform/CodePage.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace cantorel {

namespace {

struct Field {
    std::size_t offset;
    std::size_t width;
};
constexpr Field Title{3, 30};
constexpr Field Artist{33, 30};
constexpr Field Album{63, 30};
constexpr Field Year{93, 4};
constexpr Field Comment{97, 30};
constexpr std::size_t GenreOffset = 127;
constexpr std::size_t TrackZeroOffset = 125;
constexpr std::size_t TrackOffset = 126;
constexpr std::size_t CommentWithTrack = 28;

std::string readField(const TagBlock::Bytes& block, Field f, const CodePage& page)
{
    std::string_view raw(reinterpret_cast<const char*>(block.data()) + f.offset, f.width);
    raw = text::trim(raw.substr(0, raw.find('\0')));
    return raw.empty() ? std::string() : page.decode(raw);
}

void writeField(TagBlock::Bytes& block, Field f, const std::string& value, const CodePage& page)
{
    const std::string encoded = page.encode(value);
    std::size_t bytes = std::min(encoded.size(), f.width);
    // A UTF-8 page never cuts a character in two.
    while (page.isUtf8() && bytes > 0 && bytes < encoded.size() && (encoded[bytes] & 0xC0) == 0x80)
        --bytes;
    std::memcpy(block.data() + f.offset, encoded.data(), bytes);
}

} // namespace

bool TagBlock::isTag(const Bytes& block) { return block[0] == 'T' && block[1] == 'A' && block[2] == 'G'; }

TagBlock::Fields TagBlock::parse(const Bytes& block, const CodePage& page)
{
    Fields f;
    f.title = readField(block, Title, page);
    f.artist = readField(block, Artist, page);
    f.album = readField(block, Album, page);
    f.year = readField(block, Year, page);
    f.comment = readField(block, Comment, page);
    f.genre = block[GenreOffset];
    if (block[TrackZeroOffset] == 0 && block[TrackOffset] != 0)
        f.track = block[TrackOffset];
    return f;
}

TagBlock::Bytes TagBlock::render(const Fields& fields, const CodePage& page, const Bytes* previous)
{
    Bytes block;
    block.fill(' ');
    std::memcpy(block.data(), "TAG", 3);
    writeField(block, Title, fields.title, page);
    writeField(block, Artist, fields.artist, page);
    writeField(block, Album, fields.album, page);
    writeField(block, Year, fields.year, page);
    writeField(block, Comment, fields.comment, page);
    block[GenreOffset] = fields.genre;
    const bool hadTrack =
        previous && isTag(*previous) && (*previous)[TrackZeroOffset] == 0 && (*previous)[TrackOffset] != 0;
    if (hadTrack && page.encode(fields.comment).size() <= CommentWithTrack) {
        block[TrackZeroOffset] = 0;
        block[TrackOffset] = (*previous)[TrackOffset];
    }
    return block;
}

} // namespace cantorel
