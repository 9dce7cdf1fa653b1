#include "core/collection/FileKinds.h"

#include "core/platform/Paths.h"

namespace cantorel {

namespace {

struct Extension {
    std::string_view text;
    FileKind kind;
};
constexpr Extension Extensions[] = {
    {".mp3", FileKind::Track},
    {".m3u", FileKind::Playlist},
    {".m3u8", FileKind::Playlist},
};

} // namespace

FileKind FileKinds::of(std::string_view name)
{
    const std::string extension = paths::foldedExtension(name);
    for (const Extension& e : Extensions) {
        if (extension == e.text)
            return e.kind;
    }
    return FileKind::Other;
}

bool FileKinds::isUtf8Playlist(std::string_view name) { return paths::foldedExtension(name) == ".m3u8"; }

std::string FileKinds::stem(std::string_view name)
{
    if (of(name) == FileKind::Other)
        return std::string(name);
    return std::string(name.substr(0, name.size() - paths::foldedExtension(name).size()));
}

} // namespace cantorel
