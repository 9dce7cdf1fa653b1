#pragma once

#include <string>
#include <string_view>

namespace cantorel {

class CodePage;

// How the program reads a text file of the collection or its configuration (text pages,
// description files, playlists, the configuration file): a UTF-8 byte-order mark is
// dropped; the file is UTF-8 when it began with that mark or its bytes are valid UTF-8
// holding a character beyond ASCII, and otherwise in the code page it falls back on.
class TextFile {
public:
    static constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

    // The bytes without a leading byte-order mark.
    static std::string_view withoutMark(std::string_view bytes);
    // True when the file's bytes (mark included) are to be read as UTF-8.
    static bool isUtf8(std::string_view bytes);
    // The code page the file is read in: UTF-8, or `fallback`.
    static const CodePage& codePageOf(std::string_view bytes, const CodePage& fallback);
    // The whole text in UTF-8, the mark dropped.
    static std::string decode(std::string_view bytes, const CodePage& fallback);
};

} // namespace cantorel
