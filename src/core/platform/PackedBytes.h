#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cantorel {

// Numbers and texts packed into bytes for the files the program keeps for itself: each
// number in as few bytes as it needs (seven bits a byte, the high bit saying more follow;
// signed numbers zigzag-coded), each text as its length and its bytes.
class PackedWriter {
public:
    void byte(std::uint8_t b) { out_ += static_cast<char>(b); }
    void number(std::uint64_t v);
    void integer(std::int64_t v) { number((static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63)); }
    void text(std::string_view s);
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

// Reads what PackedWriter wrote; a read past the end or a malformed number (longer than
// its writing, or beyond 64 bits) leaves it failed (ok() false), the value read 0 or empty.
class PackedReader {
public:
    explicit PackedReader(std::string_view in) : in_(in) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return in_.empty(); }
    std::uint8_t byte();
    std::uint64_t number();
    std::int64_t integer();
    // A signed number that must fit 32 bits.
    std::int32_t int32();
    std::string_view text();

private:
    std::string_view in_;
    bool ok_ = true;
};

} // namespace cantorel
