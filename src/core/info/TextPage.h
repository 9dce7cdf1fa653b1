#pragma once

#include "core/info/RtfDocument.h"

#include <optional>
#include <string>
#include <string_view>

namespace cantorel {

struct SettingsRecord;

// What a text page shows: a rich-text document, or plain text in UTF-8.
struct TextPage {
    std::optional<RtfDocument> rich;
    std::string plain;
};

// Reads the text page at `path`; nothing when the file cannot be read.
std::optional<TextPage> readTextPage(const std::string& path, const SettingsRecord& settings);

// The text page of a file's bytes, a UTF-8 byte-order mark dropped: rich text when the
// file then begins with "{\rtf"; otherwise plain text as a text file is read (TextFile),
// falling back on the ANSI code page when the path holds ".rtf" (A-Z folded) or
// TXTCodePage says so, else on the OEM code page.
TextPage textPageOf(std::string_view bytes, const std::string& path, const SettingsRecord& settings);

} // namespace cantorel
