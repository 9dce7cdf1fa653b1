#include "core/info/PicturePage.h"

#include "core/collection/CollectionItem.h"
#include "core/collection/FileKinds.h"
#include "core/info/ExtendedTags.h"
#include "core/platform/FileSystem.h"
#include "core/platform/Paths.h"

namespace cantorel {

namespace {

using Found = Result<std::optional<Picture>>;

// The picture file at `path`: nothing when it cannot be read, a failure when it is too large.
Found pictureFile(const std::string& path)
{
    const std::optional<std::int64_t> size = fs::fileSize(path);
    if (!size)
        return std::optional<Picture>();
    if (*size > ExtendedTags::PictureCap)
        return fail(path + " is larger than 32 MB");
    std::optional<std::string> bytes = fs::readFile(path);
    if (!bytes)
        return std::optional<Picture>();
    return std::optional<Picture>(Picture{path, std::move(*bytes)});
}

Found coverFileIn(const std::string& directory)
{
    for (const char* name : FileKinds::CoverNames) {
        for (const char* extension : FileKinds::CoverExtensions) {
            const std::optional<std::string> found = fs::findNameIgnoringCase(directory, std::string(name) + extension);
            if (!found)
                continue;
            Found picture = pictureFile(directory + *found);
            if (!picture || picture.value())
                return picture;
        }
    }
    return std::optional<Picture>();
}

} // namespace

Result<std::optional<Picture>> pictureFor(const CollectionItem& r, bool track, bool extended)
{
    if (!r.PicturePath.empty()) {
        Found picture = pictureFile(r.PicturePath);
        if (!picture || picture.value())
            return picture;
    }
    if (!extended)
        return std::optional<Picture>(); // the ID3v1-only reading knows neither tag pictures nor cover files
    const std::string path = r.Path.str();
    if (track) {
        const Result<std::optional<std::string>> tagged = ExtendedTags::picture(path);
        if (!tagged)
            return fail(path + ": " + tagged.error());
        if (tagged.value())
            return std::optional<Picture>(Picture{path + "#cover", std::move(*tagged.value())});
        return coverFileIn(paths::directoryOf(path));
    }
    if (!path.empty() && fs::isDirectory(path))
        return coverFileIn(paths::withTrailingSlash(path));
    return std::optional<Picture>(); // a playlist, the playlists node
}

} // namespace cantorel
