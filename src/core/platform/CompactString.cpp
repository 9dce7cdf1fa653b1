#include "core/platform/CompactString.h"

#include <cstring>
#include <limits>

namespace cantorel {

static_assert(sizeof(CompactString) == 16);

void CompactString::assign(std::string_view text)
{
    if (text.size() <= InlineCapacity) {
        if (!text.empty())
            std::memcpy(inline_, text.data(), text.size());
        inline_[text.size()] = '\0';
        setInline(text.size());
        return;
    }
    // Paths are at most PATH_MAX bytes and texts a few hundred characters: a text of 4 GiB
    // cannot reach here, and would be cut.
    text = text.substr(0, std::numeric_limits<std::uint32_t>::max());
    char* block = new char[text.size() + 1];
    std::memcpy(block, text.data(), text.size());
    block[text.size()] = '\0';
    heap_.data = block;
    heap_.size = static_cast<std::uint32_t>(text.size());
    heap_.mark = HeapMark;
}

void CompactString::borrow(std::string_view text)
{
    if (text.size() <= InlineCapacity || text.size() > std::numeric_limits<std::uint32_t>::max()) {
        *this = text;
        return;
    }
    release();
    heap_.data = const_cast<char*>(text.data()); // never written through, never freed
    heap_.size = static_cast<std::uint32_t>(text.size());
    heap_.mark = BorrowMark;
}

void CompactString::release()
{
    if (mark() == HeapMark)
        delete[] heap_.data;
    setInline(0);
    inline_[0] = '\0';
}

CompactString::CompactString(CompactString&& other) noexcept
{
    if (other.borrowed()) {
        assign(other.view());
        return;
    }
    std::memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof *this);
    other.setInline(0);
    other.inline_[0] = '\0';
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
        std::memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof *this);
        other.setInline(0);
        other.inline_[0] = '\0';
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
