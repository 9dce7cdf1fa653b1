#pragma once

#include "core/collection/TrackProbe.h"

#include <array>
#include <cstdint>
#include <string>

namespace cantorel {

class CodePage;

// The 128-byte tag block at the end of a track file (ID3 version 1). The field offsets
// and widths live here once, for the reader and the writer alike; texts pass through
// the tag's code page in both directions.
class TagBlock {
public:
    static constexpr std::size_t Size = 128;
    using Bytes = std::array<unsigned char, Size>;
    enum class Field { Title, Artist, Album, Year, Comment };

    using Fields = TrackProbe::Tag; // texts in UTF-8

    static bool isTag(const Bytes& block);
    // The text fields, each cut at its first NUL, trimmed of codes 0-32 and decoded.
    static Fields parse(const Bytes& block, const CodePage& codePage);
    // A new block: blank-filled fields, texts encoded and cut to their widths. When
    // `previous` is a tag that carries a track number (byte 125 zero, byte 126 not) and
    // the new comment leaves room for it, the track number is kept.
    static Bytes render(const Fields& fields, const CodePage& codePage, const Bytes* previous = nullptr);

    // A block of blank fields and no genre.
    static Bytes blank();
    // Sets one text field of a block, blank-filled and cut to its width; every other byte
    // stays. A comment that fits in 28 bytes keeps the track number of a block that holds
    // one; a longer one takes its place.
    static void set(Bytes& block, Field field, const std::string& value, const CodePage& codePage);
    static void setGenre(Bytes& block, std::uint8_t genre);
    // Sets the track number (1-255) where the comment leaves room for it, and takes it away
    // for 0 or a number the block cannot hold.
    static void setTrack(Bytes& block, int track);
};

} // namespace cantorel
