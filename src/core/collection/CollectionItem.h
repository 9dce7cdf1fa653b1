#pragma once

#include "core/collection/RecordPath.h"
#include "core/platform/CompactString.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace cantorel {

// The record behind every tree node. Paths are the file system's bytes, whole; the
// display texts are UTF-8 and hold at most the characters below.
struct CollectionItem {
    static constexpr std::size_t TextLimit = 63; // Name, Artist, Album, Year, Comment
    static constexpr std::size_t DescriptionLimit = 255;

    RecordPath Path; // a directory's path has no trailing "/"; the root record's has one
    CompactString Name;
    CompactString Artist;
    CompactString Album;
    CompactString Year;
    CompactString Comment;
    CompactString GenreText; // a genre the tag names without a number (Genre is 255 then)
    CompactString Description;
    CompactString PicturePath;
    CompactString TextPath;
    CompactString AlbumArtist; // ID3v2 and APE tags only
    std::int64_t FileSize = 0;
    std::int64_t Duration = 0; // whole seconds
    std::int32_t Track = 0;    // the track number; 0: unknown
    std::int32_t Bitrate = 0;  // kbit/s
    // ID3v2 and APE tags only.
    std::int32_t TrackTotal = 0; // the number of tracks it is one of; 0: unknown
    std::int32_t Disc = 0;       // 0: unknown
    std::int32_t DiscTotal = 0;
    // Hz: MPEG audio's rates all lie below 65536 (see frequencyOf).
    std::uint16_t Frequency = 0;
    std::uint8_t Genre = 0; // 255: none

    bool operator==(const CollectionItem&) const = default;
};
// A large collection keeps one record a file: every byte counts a hundred thousand times.
static_assert(sizeof(void*) != 8 || sizeof(CollectionItem) == 128);

// A sampling rate as the record keeps it: 0 (unknown) for what no MPEG stream has.
constexpr std::uint16_t frequencyOf(std::int64_t hertz)
{
    return hertz > 0 && hertz <= 0xFFFF ? static_cast<std::uint16_t>(hertz) : 0;
}

class CodePage;

// How a file or directory name is shown and matched: UTF-8 names as they are, any other
// bytes decoded from the ANSI page.
std::string displayName(const std::string& name, const CodePage& ansi);

// A whole path in its shown form, each component as displayName shows it.
std::string displayPath(const std::string& path, const CodePage& ansi);

// The record of a directory, track or playlist that the scan meets in `directory` (ending
// with "/"): Path the whole path, Name the shown name, Genre 255, and the description of
// the line that the directory's description file gives the entry, if any.
CollectionItem CreateEntry(const std::string& directory, const std::string& name, const CodePage& ansi,
                           const std::optional<std::string>& description);
// The same for a record made elsewhere, but for its path, which is left to the caller:
// each text is handed to `set` for its field.
using TextSetter = std::function<void(CompactString& field, std::string_view text)>;
void FillEntry(CollectionItem& item, const std::string& name, const CodePage& ansi,
               const std::optional<std::string_view>& description, const TextSetter& set);

} // namespace cantorel
