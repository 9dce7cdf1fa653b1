#pragma once

#include "core/collection/RecordPath.h"
#include "core/platform/CompactString.h"

#include <algorithm>
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
    // The numbers in 16 bytes: a tag's numbers lie below a million (TagChange::Number),
    // the rates below their limits (see bitrateOf and frequencyOf).
    std::uint64_t Track : 20 = 0;      // the track number; 0: unknown
    std::uint64_t TrackTotal : 20 = 0; // the number of tracks it is one of (ID3v2 and APE); 0: unknown
    std::uint64_t Bitrate : 24 = 0;    // kbit/s
    std::uint64_t Disc : 20 = 0;       // ID3v2 and APE; 0: unknown
    std::uint64_t DiscTotal : 20 = 0;
    std::uint64_t Frequency : 16 = 0; // Hz
    std::uint64_t Genre : 8 = 0;      // 255: none

    bool operator==(const CollectionItem&) const = default;
};
// A large collection keeps one record a file: every byte counts a hundred thousand times.
static_assert(sizeof(void*) != 8 || sizeof(CollectionItem) == 120);

// A sampling rate as the record keeps it: 0 (unknown) for what no MPEG stream has.
constexpr std::uint16_t frequencyOf(std::int64_t hertz)
{
    return hertz > 0 && hertz <= 0xFFFF ? static_cast<std::uint16_t>(hertz) : 0;
}

// A bit rate as the record keeps it: what a damaged header gives beyond 24 bits is cut.
constexpr std::uint32_t bitrateOf(std::int64_t kbits)
{
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(kbits, 0, 0xFFFFFF));
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
