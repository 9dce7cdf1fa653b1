#pragma once

#include "core/platform/Result.h"

#include <optional>
#include <string>

namespace cantorel {

struct CollectionItem;

// What the picture page shows, and where it came from.
struct Picture {
    std::string source; // the file's path; a track's path and "#cover" for its tag's picture
    std::string bytes;
};

// The picture of an entry: the picture file its record names (its own, its directory's,
// inherited); else, with `extended` tags, a track's picture in its ID3v2 tag, else
// cover.jpg, folder.jpg or front.jpg (any case; also .jpeg and .png) in the track's
// directory or in the directory itself. Nothing when there is none; fails, saying why, when
// the picture is larger than a page shows (ExtendedTags::PictureCap), which is told by its
// size before anything of it is read.
Result<std::optional<Picture>> pictureFor(const CollectionItem& record, bool track, bool extended);

} // namespace cantorel
