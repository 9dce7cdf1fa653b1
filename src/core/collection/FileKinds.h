#pragma once

#include <array>
#include <string>
#include <string_view>

namespace cantorel {

// What a file of the collection is, told by its name's extension with A-Z folded.
enum class FileKind { Other, Track, Playlist };

// The one table of the file names the collection knows: tracks and playlists by their
// extension, and the side files (text pages and pictures) an entry may have.
class FileKinds {
public:
    static FileKind of(std::string_view name);
    static bool isTrack(std::string_view name) { return of(name) == FileKind::Track; }
    static bool isPlaylist(std::string_view name) { return of(name) == FileKind::Playlist; }
    // A playlist whose lines are UTF-8 whatever they hold (".m3u8").
    static bool isUtf8Playlist(std::string_view name);
    // The name without the extension that made it a track or a playlist.
    static std::string_view stem(std::string_view name);

    // The side files of a track or playlist: its stem and one of these extensions, the
    // text pages in the order they are preferred.
    static constexpr std::array<const char*, 2> TextPageExtensions{".rtf", ".txt"};
    static constexpr const char* PictureExtension = ".bmp";
    // A text page whose path holds this (A-Z folded) is in the ANSI code page.
    static constexpr const char* AnsiTextPageMark = ".rtf";
    // The pictures beside a track that show when nothing else does: these names with
    // these extensions, A-Z folded, in this order.
    static constexpr std::array<const char*, 3> CoverNames{"cover", "folder", "front"};
    static constexpr std::array<const char*, 3> CoverExtensions{".jpg", ".jpeg", ".png"};
};

} // namespace cantorel
