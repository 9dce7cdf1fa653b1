#include "core/info/ApeTag.h"

#include "core/platform/ByteSource.h"
#include "core/platform/TextRules.h"

#include <algorithm>

namespace cantorel {

namespace {

constexpr std::uint32_t HasHeader = 0x80000000u;
constexpr std::uint32_t ItemKind = 0x6; // bits 1 and 2: 0 is UTF-8 text

std::uint32_t littleEndian(std::string_view b, std::size_t at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

std::string capitals(std::string_view key)
{
    std::string out(key);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    return out;
}

} // namespace

std::int64_t ApeTag::sizeOf(std::string_view end)
{
    if (end.size() < FooterSize || end.substr(end.size() - FooterSize, 8) != "APETAGEX")
        return 0;
    const std::string_view footer = end.substr(end.size() - FooterSize);
    const std::int64_t size = littleEndian(footer, 12);
    const std::int64_t whole = size + ((littleEndian(footer, 20) & HasHeader) ? 32 : 0);
    return whole >= static_cast<std::int64_t>(FooterSize) ? whole : 0;
}

std::optional<ApeTag> ApeTag::read(const ByteSource& source, std::int64_t footerEnd, const Limits& limits)
{
    if (footerEnd < static_cast<std::int64_t>(FooterSize))
        return std::nullopt;
    const std::string footer = source.read(footerEnd - static_cast<std::int64_t>(FooterSize), FooterSize);
    if (sizeOf(footer) == 0)
        return std::nullopt;
    const std::int64_t itemsEnd = footerEnd - static_cast<std::int64_t>(FooterSize);
    const std::int64_t itemsStart = footerEnd - littleEndian(footer, 12);
    if (itemsStart < 0)
        return std::nullopt;
    const std::size_t count = std::min<std::size_t>(littleEndian(footer, 16), limits.items);
    ApeTag tag;
    std::int64_t at = itemsStart;
    for (std::size_t i = 0; i < count && at + 9 <= itemsEnd; ++i) {
        // The value's size and flags, then the key up to its NUL (at most 255 bytes).
        const std::string head = source.read(at, std::min<std::int64_t>(8 + 256, itemsEnd - at));
        const std::size_t nul = head.find('\0', 8);
        if (head.size() < 9 || nul == std::string::npos)
            break;
        const std::int64_t valueSize = littleEndian(head, 0);
        const std::int64_t valueAt = at + static_cast<std::int64_t>(nul) + 1;
        if (valueAt + valueSize > itemsEnd)
            break;
        if ((littleEndian(head, 4) & ItemKind) == 0 && static_cast<std::size_t>(valueSize) <= limits.valueBytes) {
            std::string value = source.read(valueAt, static_cast<std::size_t>(valueSize));
            // Several values stand NUL-separated; they read as one text.
            std::replace(value.begin(), value.end(), '\0', ' ');
            tag.items_.emplace(capitals(head.substr(8, nul - 8)), std::move(value));
        }
        at = valueAt + valueSize;
    }
    return tag;
}

std::string ApeTag::text(std::string_view key) const
{
    const auto it = items_.find(capitals(key));
    if (it == items_.end() || !text::isValidUtf8(it->second))
        return {};
    return it->second;
}

} // namespace cantorel
