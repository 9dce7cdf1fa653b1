#pragma once

#include "core/collection/TrackProbe.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cantorel {

// The tags beside our own ID3v1 reader, read with TagLib: ID3v2.2/2.3/2.4 at the start of
// a file and APEv2 at its end. Values are UTF-8 and whole.
class ExtendedTags {
public:
    // The fields of an ID3v2 tag given as its bytes (header included), then the gaps that
    // an APE tag (its bytes, footer included) fills; nothing when neither holds a tag.
    static std::optional<TrackProbe::Tag> read(std::string_view id3v2, std::string_view ape);

    // The size of the APE tag whose footer ends `end` (the 32 bytes before it), or 0.
    static std::size_t apeTagSize(std::string_view end);

    // The names of the ID3v1 genre numbers, from 0 on.
    static std::vector<std::string> standardGenres();

    // The picture a track's tag holds: its front cover, else its first picture.
    static std::optional<std::string> picture(const std::string& path);

    // Sets title, artist, album, year, comment and genre (`genreText` when the number is
    // 255) of the ID3v2 tag of the file at `path`, creating a tag when there is none; every
    // other frame stays. An ID3v2.4 tag is written in UTF-8, any other as ID3v2.3 in
    // UTF-16 (ID3v2.2 cannot be written). The file must be one nobody else uses: a copy.
    static Result<> write(const std::string& path, const TrackProbe::Tag& fields);
};

} // namespace cantorel
