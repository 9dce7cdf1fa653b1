#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cantorel {

// One frame of an ID3v2 tag, kept as stored, and what the program reads from and writes
// into frames: texts, comments, user texts and pictures. Texts are UTF-8 here.
class Id3v2Frame {
public:
    // The most of a frame's contents that is ever decoded, compressed or not: the texts the
    // program shows are short, and this keeps a hostile frame cheap.
    static constexpr std::size_t TextCap = 64 * 1024;

    std::string id;  // four characters; three in an ID3v2.2 tag
    int version = 4; // the tag's major version
    std::uint16_t flags = 0;
    std::string stored; // header and body as stored in the tag (its unsynchronisation undone)

    std::size_t headerSize() const { return version == 2 ? 6 : 10; }
    std::string_view storedBody() const { return std::string_view(stored).substr(headerSize()); }

    // The contents of the frame: the body with the frame's own format flags undone
    // (unsynchronisation, data length, grouping, compression up to `cap` bytes); nothing
    // for an encrypted frame or a broken compressed one.
    std::optional<std::string> contents(std::size_t cap = TextCap) const;

    // The strings of a text frame (one text, or several separated by NULs in 2.4).
    static std::vector<std::string> texts(std::string_view contents);
    // A comment or a user text: its description and its text.
    struct Described {
        std::string language; // comments only
        std::string description;
        std::string text;
    };
    static std::optional<Described> comment(std::string_view contents);
    static std::optional<Described> userText(std::string_view contents);
    // A picture: its type (3: the front cover), its image's type and its bytes.
    struct Picture {
        int type = 0;
        std::string mimeType;
        std::string data;
    };
    static std::optional<Picture> picture(std::string_view contents, int version);

    // New frames for a tag of `version` (3 or 4): texts in UTF-8 in 2.4, UTF-16 in 2.3.
    static Id3v2Frame text(std::string_view id, std::string_view value, int version);
    static Id3v2Frame comment(std::string_view language, std::string_view value, int version);
    static Id3v2Frame picture(const Picture& picture, int version);

    // The size a frame header at `header` gives its body, for tags of `version`.
    static std::uint32_t bodySize(const unsigned char* header, int version);
    // True for a frame id that a tag of `version` may hold (capital letters and digits).
    static bool validId(std::string_view id);

private:
    static Id3v2Frame make(std::string_view id, std::string body, int version);
};

} // namespace cantorel
