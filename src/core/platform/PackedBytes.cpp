#include "core/platform/PackedBytes.h"

#include <algorithm>

namespace cantorel {

void PackedWriter::number(std::uint64_t v)
{
    while (v >= 0x80) {
        out_ += static_cast<char>((v & 0x7F) | 0x80);
        v >>= 7;
    }
    out_ += static_cast<char>(v);
    spill();
}

void PackedWriter::text(std::string_view s)
{
    number(s.size());
    out_ += s;
    spill();
}

void PackedWriter::hand()
{
    failed_ = failed_ || !sink_(out_);
    out_.clear();
}

bool PackedWriter::finish()
{
    if (sink_ && !out_.empty())
        hand();
    return !failed_;
}

void PackedReader::fill(std::size_t need)
{
    if (!file_ || in_.size() >= need)
        return;
    // What is left moves to the front, and the block is topped up from the file.
    block_.erase(0, block_.size() - in_.size());
    const std::size_t have = block_.size();
    block_.resize(std::max(BlockSize, need));
    const std::size_t got = std::fread(block_.data() + have, 1, block_.size() - have, file_);
    block_.resize(have + got);
    in_ = block_;
}

bool PackedReader::atEnd()
{
    fill(1);
    return in_.empty();
}

std::uint8_t PackedReader::byte()
{
    fill(1);
    if (in_.empty()) {
        ok_ = false;
        return 0;
    }
    const auto b = static_cast<std::uint8_t>(in_.front());
    in_.remove_prefix(1);
    return b;
}

std::uint64_t PackedReader::number()
{
    fill(10);
    std::uint64_t v = 0;
    for (int shift = 0; shift < 64 && !in_.empty(); shift += 7) {
        const auto b = static_cast<std::uint8_t>(in_.front());
        in_.remove_prefix(1);
        v |= std::uint64_t(b & 0x7F) << shift;
        if (b & 0x80)
            continue;
        // One way to write each number: no bytes of nothing but zeros at its end, no bits
        // beyond 64.
        if ((shift > 0 && b == 0) || (shift == 63 && b > 1))
            break;
        return v;
    }
    ok_ = false;
    return 0;
}

std::int64_t PackedReader::integer()
{
    const std::uint64_t v = number();
    return static_cast<std::int64_t>((v >> 1) ^ (~(v & 1) + 1));
}

std::int32_t PackedReader::int32()
{
    const std::int64_t v = integer();
    if (v < INT32_MIN || v > INT32_MAX) {
        ok_ = false;
        return 0;
    }
    return static_cast<std::int32_t>(v);
}

std::string_view PackedReader::text()
{
    const std::uint64_t size = number();
    if (file_ && size <= BlockSize)
        fill(static_cast<std::size_t>(size));
    if (size > in_.size()) {
        ok_ = false;
        return {};
    }
    std::string_view s = in_.substr(0, size);
    in_.remove_prefix(size);
    if (file_)
        s = text_.assign(s);
    return s;
}

} // namespace cantorel
