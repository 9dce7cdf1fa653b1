#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cantorel {

class CodePage;

// A playlist: one path a line, relative to the playlist's own folder.
class PlaylistFile {
public:
    // The lines of a playlist's bytes in UTF-8: a UTF-8 text file (and every ".m3u8"
    // playlist) as it is, any other from the ANSI code page.
    static std::vector<std::string> lines(std::string_view bytes, bool utf8Playlist, const CodePage& ansi);
    // The lines of the playlist at `path`; nothing when it cannot be read.
    static std::optional<std::vector<std::string>> read(const std::string& path, const CodePage& ansi);
};

} // namespace cantorel
