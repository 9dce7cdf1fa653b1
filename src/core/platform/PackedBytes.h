#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace cantorel {

// Numbers and texts packed into bytes for the files the program keeps for itself: each
// number in as few bytes as it needs (seven bits a byte, the high bit saying more follow;
// signed numbers zigzag-coded), each text as its length and its bytes.
class PackedWriter {
public:
    PackedWriter() = default;
    // Hands the bytes to `sink` a block at a time instead of keeping them all; finish()
    // hands over the rest. Once the sink fails, nothing more is handed to it.
    explicit PackedWriter(std::function<bool(std::string_view bytes)> sink) : sink_(std::move(sink))
    {
        out_.reserve(2 * BlockSize); // a block and the text that crosses its end
    }

    void byte(std::uint8_t b)
    {
        out_ += static_cast<char>(b);
        spill();
    }
    void number(std::uint64_t v);
    void integer(std::int64_t v) { number((static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63)); }
    void text(std::string_view s);
    std::string take() { return std::move(out_); }
    // True when the sink took every byte.
    bool finish();

    // Small: a block lives beside everything the writer writes out.
    static constexpr std::size_t BlockSize = 64 * 1024;

private:
    void spill()
    {
        if (sink_ && out_.size() >= BlockSize)
            hand();
    }
    void hand();

    std::string out_;
    std::function<bool(std::string_view bytes)> sink_;
    bool failed_ = false;
};

// Reads what PackedWriter wrote; a read past the end or a malformed number (longer than
// its writing, or beyond 64 bits) leaves it failed (ok() false), the value read 0 or empty.
class PackedReader {
public:
    explicit PackedReader(std::string_view in) : in_(in) {}
    // Reads an open file a block at a time, so that a large file is never held whole; a
    // text read stays valid until the next text is read.
    explicit PackedReader(std::FILE* file) : file_(file) {}
    bool ok() const { return ok_; }
    bool atEnd();
    std::uint8_t byte();
    std::uint64_t number();
    std::int64_t integer();
    // A signed number that must fit 32 bits.
    std::int32_t int32();
    std::string_view text();

    // The longest text a file may hold.
    static constexpr std::size_t BlockSize = 1 << 20;

private:
    // Makes `need` bytes ready in `in_` when the file holds them.
    void fill(std::size_t need);

    std::string_view in_;
    bool ok_ = true;
    std::FILE* file_ = nullptr;
    std::string block_; // what was read of the file; `in_` is the part not yet taken
    std::string text_;  // the last text read from the file
};

} // namespace cantorel
