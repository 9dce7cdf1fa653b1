#include "core/platform/CompactString.h"

#include <bit>
#include <cstring>
#include <limits>

namespace cantorel {

static_assert(sizeof(CompactString) == 8);
static_assert(sizeof(std::uintptr_t) == 8 && std::endian::native == std::endian::little,
              "the first byte of a CompactString is the low byte of its address");

void CompactString::assign(std::string_view text)
{
    if (text.size() <= InlineCapacity) {
        bits_ = 0;
        inline_[0] = static_cast<char>(text.size() << 1 | InlineMark);
        if (!text.empty())
            std::memcpy(inline_ + 1, text.data(), text.size());
        return;
    }
    bits_ = reinterpret_cast<std::uintptr_t>(newBlock(text));
}

char* CompactString::newBlock(std::string_view text)
{
    // Paths are at most PATH_MAX bytes and texts a few hundred characters: a text of 4 GiB
    // cannot reach here, and would be cut.
    text = text.substr(0, std::numeric_limits<std::uint32_t>::max());
    const auto size = static_cast<std::uint32_t>(text.size());
    char* block = new char[sizeof size + text.size() + 1];
    std::memcpy(block, &size, sizeof size);
    std::memcpy(block + sizeof size, text.data(), text.size());
    block[sizeof size + text.size()] = '\0';
    return block;
}

std::string_view CompactString::textOf(const char* block)
{
    std::uint32_t size = 0;
    std::memcpy(&size, block, sizeof size);
    return {block + sizeof size, size};
}

void CompactString::borrow(std::string_view text)
{
    const std::optional<std::uintptr_t> bits = slice(text);
    if (text.size() <= InlineCapacity || !bits) {
        *this = text;
        return;
    }
    release();
    bits_ = *bits | BorrowBit;
}

void CompactString::release()
{
    if (ownsBlock())
        delete[] block();
    bits_ = InlineMark;
}

CompactString::CompactString(CompactString&& other) noexcept
{
    if (other.borrowed()) {
        assign(other.view());
        return;
    }
    bits_ = other.bits_;
    other.bits_ = InlineMark;
}

CompactString& CompactString::operator=(const CompactString& other)
{
    if (this != &other)
        *this = other.view();
    return *this;
}

CompactString& CompactString::operator=(CompactString&& other) noexcept
{
    if (other.borrowed())
        return *this = other.view();
    if (this != &other) {
        release();
        bits_ = other.bits_;
        other.bits_ = InlineMark;
    }
    return *this;
}

CompactString& CompactString::operator=(std::string_view text)
{
    // The text may lie inside this string: it is copied before the old block goes.
    CompactString copy;
    copy.assign(text);
    return *this = std::move(copy);
}

} // namespace cantorel
