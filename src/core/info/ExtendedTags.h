#pragma once

#include "core/collection/TrackProbe.h"
#include "core/platform/Result.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cantorel {

class ByteSource;
class Id3v2Tag;

// The tags beside our ID3v1 reader: an ID3v2 tag (2.2, 2.3, 2.4) at the start of a file
// and an APEv2 tag at its end, read by our own bounded readers (Id3v2Tag, ApeTag). Values
// are UTF-8 and whole.
class ExtendedTags {
public:
    // The largest picture a page shows or the command line writes.
    static constexpr std::int64_t PictureCap = 32LL << 20;

    // The frames of an ID3v2 tag that reading a track's fields needs.
    static bool fieldFrame(std::string_view id);

    // The fields of the ID3v2 tag at the start of `file`, then the gaps that the APE tag
    // whose footer ends at `apeFooterEnd` fills (-1: none); nothing when neither holds a
    // field.
    static std::optional<TrackProbe::Tag> read(const ByteSource& file, std::int64_t apeFooterEnd);
    // The fields of a tag read with the frames fieldFrame() names.
    static TrackProbe::Tag fieldsOf(const Id3v2Tag& tag);

    // The names of the ID3v1 genre numbers, from 0 on.
    static std::vector<std::string> standardGenres();
    // The standard genre of a name (A-Z folded), -1 for none; the name of a number, "" for
    // none.
    static int genreNumber(std::string_view name);
    static std::string genreName(int number);

    // The picture a track's tag holds: its front cover, else its first picture; nothing
    // when it has none; fails when the picture is larger than PictureCap.
    static Result<std::optional<std::string>> picture(const std::string& path);
};

} // namespace cantorel
