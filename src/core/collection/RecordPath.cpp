#include "core/collection/RecordPath.h"

#include "core/platform/CompactString.h"

#include <cstring>

namespace cantorel {

static_assert(sizeof(RecordPath) == 8);

namespace {

constexpr std::size_t LengthSize = sizeof(std::uint32_t);

const char* folderOf(std::string_view link)
{
    const char* folder = nullptr;
    std::memcpy(&folder, link.data(), sizeof folder);
    return folder;
}

// A text that a TextPool keeps, from its first byte.
std::string_view keptText(const char* text) { return CompactString::textOf(text - LengthSize); }

} // namespace

RecordPath::RecordPath(const RecordPath& other) { assign(other.str()); }

RecordPath::RecordPath(RecordPath&& other) noexcept
{
    if (other.borrowed()) {
        assign(other.str());
        return;
    }
    bits_ = other.bits_;
    other.bits_ = 0;
}

RecordPath& RecordPath::operator=(const RecordPath& other)
{
    if (this != &other)
        *this = std::string_view(other.str());
    return *this;
}

RecordPath& RecordPath::operator=(RecordPath&& other) noexcept
{
    if (other.borrowed())
        return *this = std::string_view(other.str());
    if (this != &other) {
        release();
        bits_ = other.bits_;
        other.bits_ = 0;
    }
    return *this;
}

RecordPath& RecordPath::operator=(std::string_view whole)
{
    // The text may lie inside this path: it is copied before the old block goes.
    RecordPath copy;
    copy.assign(whole);
    return *this = std::move(copy);
}

void RecordPath::assign(std::string_view whole)
{
    bits_ = whole.empty() ? 0 : reinterpret_cast<std::uintptr_t>(CompactString::newBlock(whole));
}

void RecordPath::release()
{
    if (bits_ != 0 && !borrowed())
        delete[] reinterpret_cast<char*>(bits_);
    bits_ = 0;
}

void RecordPath::borrow(std::string_view kept)
{
    if (kept.empty()) {
        *this = kept;
        return;
    }
    release();
    bits_ = reinterpret_cast<std::uintptr_t>(kept.data() - LengthSize) | BorrowBit;
}

void RecordPath::linkText(std::string& out, std::string_view folder, std::string_view name)
{
    const char* address = folder.data();
    out.assign(sizeof address, '\0');
    std::memcpy(out.data(), &address, sizeof address);
    out.append(name);
}

void RecordPath::borrowLink(std::string_view kept)
{
    release();
    bits_ = reinterpret_cast<std::uintptr_t>(kept.data() - LengthSize) | LinkBit;
}

std::string_view RecordPath::blockText() const
{
    return CompactString::textOf(reinterpret_cast<const char*>(bits_ & ~(BorrowBit | LinkBit)));
}

RecordPath::Parts RecordPath::parts() const
{
    if (bits_ == 0)
        return {};
    const std::string_view text = blockText();
    if (!linked())
        return {text, false, {}};
    const char* folder = folderOf(text);
    const std::string_view head = keptText(folder);
    return {head, !head.ends_with('/'), text.substr(sizeof folder)};
}

std::string_view RecordPath::wholeText() const { return linked() || bits_ == 0 ? std::string_view() : blockText(); }

std::string_view RecordPath::folderText() const { return linked() ? parts().head : std::string_view(); }

std::size_t RecordPath::size() const
{
    const Parts p = parts();
    return p.head.size() + p.slash + p.tail.size();
}

void RecordPath::appendTo(std::string& out) const
{
    const Parts p = parts();
    out.append(p.head);
    if (p.slash)
        out += '/';
    out.append(p.tail);
}

std::string RecordPath::str() const
{
    std::string out;
    out.reserve(size());
    appendTo(out);
    return out;
}

std::string_view RecordPath::fileName() const
{
    const Parts p = parts();
    const std::string_view last = p.tail.empty() && !p.slash ? p.head : p.tail;
    const std::size_t slash = last.rfind('/');
    return slash == std::string_view::npos ? last : last.substr(slash + 1);
}

bool operator==(const RecordPath& a, std::string_view b)
{
    const RecordPath::Parts p = a.parts();
    if (p.head.size() + p.slash + p.tail.size() != b.size() || !b.starts_with(p.head))
        return false;
    b.remove_prefix(p.head.size());
    if (p.slash) {
        if (b.front() != '/')
            return false;
        b.remove_prefix(1);
    }
    return b == p.tail;
}

bool operator==(const RecordPath& a, const RecordPath& b)
{
    if (!b.linked())
        return a == b.wholeText();
    return a.size() == b.size() && a == std::string_view(b.str());
}

} // namespace cantorel
