#include "core/info/TagBlock.h"

#include "core/platform/CodePage.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace cantorel {

namespace {

struct Slot {
    std::size_t offset;
    std::size_t width;
};
constexpr Slot Title{3, 30};
constexpr Slot Artist{33, 30};
constexpr Slot Album{63, 30};
constexpr Slot Year{93, 4};
constexpr Slot Comment{97, 30};
constexpr std::size_t GenreOffset = 127;
constexpr std::size_t TrackZeroOffset = 125;
constexpr std::size_t TrackOffset = 126;
constexpr std::size_t CommentWithTrack = 28;

std::string readField(const TagBlock::Bytes& block, Slot f, const CodePage& codePage)
{
    std::string_view raw(reinterpret_cast<const char*>(block.data()) + f.offset, f.width);
    raw = text::trim(raw.substr(0, raw.find('\0')));
    return raw.empty() ? std::string() : codePage.decode(raw);
}

void writeField(TagBlock::Bytes& block, Slot f, const std::string& value, const CodePage& codePage)
{
    const std::string encoded = codePage.encode(value);
    std::size_t bytes = std::min(encoded.size(), f.width);
    // A UTF-8 code page never cuts a character in two.
    while (codePage.isUtf8() && bytes > 0 && bytes < encoded.size() && (encoded[bytes] & 0xC0) == 0x80)
        --bytes;
    std::memcpy(block.data() + f.offset, encoded.data(), bytes);
}

} // namespace

TagBlock::Bytes TagBlock::blank()
{
    Bytes block;
    block.fill(' ');
    std::memcpy(block.data(), "TAG", 3);
    block[GenreOffset] = 255;
    return block;
}

void TagBlock::set(Bytes& block, Field field, const std::string& value, const CodePage& codePage)
{
    static constexpr Slot Places[] = {Title, Artist, Album, Year, Comment};
    Slot place = Places[static_cast<int>(field)];
    if (field == Field::Comment) {
        const bool hasTrack = block[TrackZeroOffset] == 0 && block[TrackOffset] != 0;
        if (hasTrack && codePage.encode(value).size() <= CommentWithTrack)
            place.width = CommentWithTrack;
    }
    std::memset(block.data() + place.offset, ' ', place.width);
    writeField(block, place, value, codePage);
}

void TagBlock::setGenre(Bytes& block, std::uint8_t genre) { block[GenreOffset] = genre; }

void TagBlock::setTrack(Bytes& block, int track)
{
    const bool hasTrack = block[TrackZeroOffset] == 0 && block[TrackOffset] != 0;
    const auto free = [&block](std::size_t at) { return block[at] == 0 || block[at] == ' '; };
    if (!hasTrack && !(free(TrackZeroOffset) && free(TrackOffset)))
        return; // the comment takes the bytes
    const bool fits = track >= 1 && track <= 255;
    block[TrackZeroOffset] = fits || hasTrack ? 0 : block[TrackZeroOffset];
    block[TrackOffset] = fits ? static_cast<unsigned char>(track) : (hasTrack ? 0 : block[TrackOffset]);
}

bool TagBlock::isTag(const Bytes& block) { return block[0] == 'T' && block[1] == 'A' && block[2] == 'G'; }

TagBlock::Fields TagBlock::parse(const Bytes& block, const CodePage& codePage)
{
    Fields f;
    f.title = readField(block, Title, codePage);
    f.artist = readField(block, Artist, codePage);
    f.album = readField(block, Album, codePage);
    f.year = readField(block, Year, codePage);
    f.comment = readField(block, Comment, codePage);
    f.genre = block[GenreOffset];
    if (block[TrackZeroOffset] == 0 && block[TrackOffset] != 0)
        f.track = block[TrackOffset];
    return f;
}

TagBlock::Bytes TagBlock::render(const Fields& fields, const CodePage& codePage, const Bytes* previous)
{
    Bytes block;
    block.fill(' ');
    std::memcpy(block.data(), "TAG", 3);
    writeField(block, Title, fields.title, codePage);
    writeField(block, Artist, fields.artist, codePage);
    writeField(block, Album, fields.album, codePage);
    writeField(block, Year, fields.year, codePage);
    writeField(block, Comment, fields.comment, codePage);
    block[GenreOffset] = fields.genre;
    const bool hadTrack =
        previous && isTag(*previous) && (*previous)[TrackZeroOffset] == 0 && (*previous)[TrackOffset] != 0;
    if (hadTrack && codePage.encode(fields.comment).size() <= CommentWithTrack) {
        block[TrackZeroOffset] = 0;
        block[TrackOffset] = (*previous)[TrackOffset];
    }
    return block;
}

} // namespace cantorel
