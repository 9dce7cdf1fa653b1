#pragma once

#include "core/platform/Result.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace cantorel {

class CodePage;
class Journal;
struct CollectionItem;

// What a save sets: each field given is written (an empty text takes it away); the others
// keep what the file holds, byte for byte.
struct TagChange {
    struct Genre {
        std::uint8_t number = 255; // 255: none, or a genre without a number
        std::string text;          // the name of a genre without a number
        bool operator==(const Genre&) const = default;
    };
    std::optional<std::string> title, artist, album, year, comment;
    std::optional<Genre> genre;

    bool empty() const;
    // Every tag field of a record, as the editor writes them with ID3v1 alone.
    static TagChange allOf(const CollectionItem& item);
    // The record with the change in it, the texts cut to the record's limits.
    void applyTo(CollectionItem& item) const;
};

// The failure codes of saves that the user is told of: the track that the player holds,
// text that the tag's code page cannot hold where no ID3v2 tag may take it, and a save
// refused because it would lose something (its message says what).
constexpr int ActiveTrackRefused = 1;
constexpr int TagTextUnencodable = 2;
constexpr int TagSaveRefused = 3;

struct TagWriteOptions {
    explicit TagWriteOptions(const CodePage& codePage) : tagCodePage(codePage) {}

    const CodePage& tagCodePage;
    // ID3v2 tags too; without, the ID3v1 block alone, as the record gives it.
    bool extended = true;
    // True for the path of the track that the player holds: that one is refused.
    std::function<bool(const std::string& path)> isActiveTrack;
    // Where the bytes a save replaces are kept first (none: nowhere).
    Journal* journal = nullptr;
    std::string collection; // the collection the journal files the save under
};

// The one save of a track's tags, for the window and the command line alike.
//
// With ID3v2 tags read: a file with an ID3v2 tag gets the changed frames in it, every other
// frame kept as stored; a file without one gets one (ID3v2.4, with the values its ID3v1
// block holds) only when a new text is one the ID3v1 code page cannot hold, and otherwise
// its ID3v1 block alone is written, as before. An existing ID3v1 block takes each new
// value its code page holds and loses one it cannot hold (never a stale or a "?" text);
// no ID3v1 block is added to a file whose save goes into its ID3v2 tag. The tag is written
// in place when it fits the old tag's space, else the file is rewritten through a copy,
// which is refused for a file with other names (hard links) or of another owner. The
// bytes a save replaces go to the journal before anything is written. Without ID3v2 tags,
// the ID3v1 block is written from the change, and text its code page cannot hold is
// refused.
class TagWriter {
public:
    static Result<> save(const std::string& path, const TagChange& change, const TagWriteOptions& options);
};

} // namespace cantorel
