#pragma once

#include "core/info/RtfDocument.h"

#include <optional>
#include <string>

namespace cantorel {

struct SettingsRecord;

// What a text page shows: a rich-text document, or plain text in UTF-8.
struct TextPage {
    std::optional<RtfDocument> rich;
    std::string plain;
};

// Reads the text page at `path`, a UTF-8 byte-order mark dropped: rich text when the file
// then begins with "{\rtf"; otherwise plain text: as it is when it is valid UTF-8 holding a
// non-ASCII byte, else decoded from the ANSI page when the path holds ".rtf" (A-Z folded)
// or TXTCodePage says so, else from the OEM page. Nothing when the file cannot be read.
std::optional<TextPage> readTextPage(const std::string& path, const SettingsRecord& settings);

} // namespace cantorel
