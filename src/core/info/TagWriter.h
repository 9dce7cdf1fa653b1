#pragma once

#include "core/collection/Journal.h"
#include "core/platform/Result.h"
#include "core/platform/SafeFileWriter.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

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
    // A track or disc number, with the count it is one of (0: none); number 0 takes it away.
    struct Number {
        int number = 0;
        int total = 0;
        bool operator==(const Number&) const = default;
        // "n" or "n/m" (n and m from 1 to 999999; "" is 0); nothing for anything else.
        static std::optional<Number> parse(std::string_view text);
        std::string text() const;
    };
    // The front cover: its image's type and bytes; no bytes take the tag's pictures away.
    struct Cover {
        std::string mimeType;
        std::string bytes;
        // The type of an image by its first bytes (JPEG, PNG, GIF, BMP, WebP); "" for none.
        static std::string mimeTypeOf(std::string_view bytes);
        // The picture in an image file; fails, saying why, for a file that is not one of
        // those images or larger than a picture page shows (told by its size).
        static Result<Cover> fromFile(const std::string& path);
    };
    std::optional<std::string> title, artist, album, year, comment;
    std::optional<Genre> genre;
    // Fields that only an ID3v2 tag holds (the track number also goes into an ID3v1 block
    // that has room for it).
    std::optional<std::string> albumArtist;
    std::optional<Number> track, disc;
    std::optional<Cover> cover;

    bool empty() const;
    // True when the change needs an ID3v2 tag to be written whole.
    bool needsFrames() const;
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

    // A save decided and not yet written: the bytes it replaces, and the file as it was.
    struct Plan {
        std::string path;
        std::vector<JournalEdit> edits; // none: nothing changes
        fs::FileState before;
    };
    // What save() would write (the journal is not used).
    static Result<Plan> plan(const std::string& path, const TagChange& change, const TagWriteOptions& options);
    // Writes a plan whose file is still as it was planned on.
    static Result<> write(const Plan& plan);
};

} // namespace cantorel
