#include "core/info/PicturePage.h"

#include "core/collection/CollectionItem.h"
#include "core/collection/FileKinds.h"
#include "core/info/ExtendedTags.h"
#include "core/platform/FileSystem.h"
#include "core/platform/Paths.h"

namespace cantorel {

namespace {

std::optional<Picture> coverFileIn(const std::string& directory)
{
    for (const char* name : FileKinds::CoverNames) {
        for (const char* extension : FileKinds::CoverExtensions) {
            const std::optional<std::string> found = fs::findNameIgnoringCase(directory, std::string(name) + extension);
            if (!found)
                continue;
            if (std::optional<std::string> bytes = fs::readFile(directory + *found))
                return Picture{directory + *found, std::move(*bytes)};
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<Picture> pictureFor(const CollectionItem& r, bool track, bool extended)
{
    if (!r.PicturePath.empty()) {
        if (std::optional<std::string> bytes = fs::readFile(r.PicturePath))
            return Picture{r.PicturePath, std::move(*bytes)};
    }
    if (!extended)
        return std::nullopt; // the ID3v1-only reading knows neither tag pictures nor cover files
    if (track) {
        if (std::optional<std::string> bytes = ExtendedTags::picture(r.Path))
            return Picture{r.Path + "#cover", std::move(*bytes)};
    }
    if (track)
        return coverFileIn(paths::directoryOf(r.Path));
    if (!r.Path.empty() && fs::isDirectory(r.Path))
        return coverFileIn(paths::withTrailingSlash(r.Path));
    return std::nullopt; // a playlist, the playlists node
}

} // namespace cantorel
