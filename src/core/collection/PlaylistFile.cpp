#include "core/collection/PlaylistFile.h"

#include "core/collection/FileKinds.h"
#include "core/platform/CodePage.h"
#include "core/platform/FileSystem.h"
#include "core/platform/TextFile.h"
#include "core/platform/TextRules.h"

namespace cantorel {

std::vector<std::string> PlaylistFile::lines(std::string_view bytes, bool utf8Playlist, const CodePage& ansi)
{
    const std::string text = TextFile::decode(bytes, utf8Playlist ? *CodePage::byNumber(CodePage::Utf8) : ansi);
    std::vector<std::string> lines;
    for (std::string_view line : text::splitLines(text))
        lines.emplace_back(line);
    return lines;
}

std::optional<std::vector<std::string>> PlaylistFile::read(const std::string& path, const CodePage& ansi)
{
    const std::optional<std::string> data = fs::readFile(path);
    if (!data)
        return std::nullopt;
    return lines(*data, FileKinds::isUtf8Playlist(path), ansi);
}

} // namespace cantorel
