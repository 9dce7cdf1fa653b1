#include "core/collection/RecordPath.h"

#include "core/platform/CompactString.h"

#include <cstring>
#include <optional>

namespace cantorel {

static_assert(sizeof(RecordPath) == 8);

namespace {

// The folder's whole path that a link begins with: its slice bits.
std::string_view folderOf(std::string_view link)
{
    std::uintptr_t bits = 0;
    std::memcpy(&bits, link.data(), sizeof bits);
    return CompactString::sliceText(bits);
}

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
    const std::optional<std::uintptr_t> bits = CompactString::slice(kept);
    if (kept.empty() || !bits) {
        *this = kept;
        return;
    }
    release();
    bits_ = *bits | BorrowBit;
}

void RecordPath::linkText(std::string& out, std::string_view folder, std::string_view name)
{
    const std::uintptr_t bits = CompactString::slice(folder).value_or(0);
    out.assign(sizeof bits, '\0');
    std::memcpy(out.data(), &bits, sizeof bits);
    out.append(name);
}

void RecordPath::borrowLink(std::string_view kept)
{
    const std::optional<std::uintptr_t> bits = CompactString::slice(kept);
    if (!bits) {
        std::string whole(folderOf(kept));
        if (!whole.ends_with('/'))
            whole += '/';
        *this = whole.append(kept.substr(sizeof(std::uintptr_t)));
        return;
    }
    release();
    bits_ = *bits | LinkBit;
}

std::string_view RecordPath::blockText() const
{
    if (borrowed())
        return CompactString::sliceText(bits_);
    return CompactString::textOf(reinterpret_cast<const char*>(bits_));
}

RecordPath::Parts RecordPath::parts() const
{
    if (bits_ == 0)
        return {};
    const std::string_view text = blockText();
    if (!linked())
        return {text, false, {}};
    const std::string_view head = folderOf(text);
    return {head, !head.ends_with('/'), text.substr(sizeof(std::uintptr_t))};
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
