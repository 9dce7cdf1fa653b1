#include "core/collection/FileKinds.h"

#include "core/platform/Paths.h"
#include "core/platform/TextRules.h"

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
    const std::string_view extension = paths::extensionOf(name);
    for (const Extension& e : Extensions) {
        if (text::equalsFolded(extension, e.text))
            return e.kind;
    }
    return FileKind::Other;
}

bool FileKinds::isUtf8Playlist(std::string_view name) { return text::equalsFolded(paths::extensionOf(name), ".m3u8"); }

std::string_view FileKinds::stem(std::string_view name)
{
    if (of(name) == FileKind::Other)
        return name;
    return name.substr(0, name.size() - paths::extensionOf(name).size());
}

} // namespace cantorel
