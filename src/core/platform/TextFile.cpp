#include "core/platform/TextFile.h"

#include "core/platform/CodePage.h"
#include "core/platform/TextRules.h"

#include <algorithm>

namespace cantorel {

std::string_view TextFile::withoutMark(std::string_view bytes)
{
    if (bytes.starts_with(ByteOrderMark))
        bytes.remove_prefix(ByteOrderMark.size());
    return bytes;
}

bool TextFile::isUtf8(std::string_view bytes)
{
    if (bytes.starts_with(ByteOrderMark))
        return true;
    return text::isValidUtf8(bytes) &&
           std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

const CodePage& TextFile::codePageOf(std::string_view bytes, const CodePage& fallback)
{
    return isUtf8(bytes) ? *CodePage::byNumber(CodePage::Utf8) : fallback;
}

std::string TextFile::decode(std::string_view bytes, const CodePage& fallback)
{
    return codePageOf(bytes, fallback).decode(withoutMark(bytes));
}

} // namespace cantorel
