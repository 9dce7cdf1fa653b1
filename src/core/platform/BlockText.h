#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace cantorel {

// Text that only grows, in blocks: growing never copies what is held nor leaves a doubled
// buffer behind, as one string does. The blocks grow from a few hundred bytes, so a small
// text stays small, up to BlockSize. The text is appended in runs, each kept whole within
// one block, and read back by a 32-bit offset and a length.
class BlockText {
public:
    BlockText() = default;
    BlockText(BlockText&& other) noexcept { *this = std::move(other); }
    BlockText& operator=(BlockText&& other) noexcept
    {
        blocks_ = std::move(other.blocks_);
        sizes_ = std::move(other.sizes_);
        other.sizes_.clear();
        bytes_ = std::exchange(other.bytes_, 0);
        runStart_ = std::exchange(other.runStart_, 0);
        end_ = std::exchange(other.end_, 0);
        other.blocks_.clear();
        return *this;
    }

    static constexpr std::size_t BlockSize = 256 * 1024;
    static constexpr std::size_t FirstBlock = 256;
    // The longest run: a run that would grow past it must not be appended to.
    static constexpr std::size_t LongestRun = 0xFFFF;

    // Begins a run; what is appended next belongs to it.
    void beginRun();
    // Where the run begun last starts now (it moves when it outgrows its block), and its
    // length so far.
    std::uint32_t runStart() const { return runStart_; }
    std::size_t runLength() const { return end_ - runStart_; }
    void append(std::string_view text);

    std::string_view view(std::uint32_t at, std::size_t length) const
    {
        return length == 0 ? std::string_view()
                           : std::string_view(blocks_[at / BlockSize].get() + at % BlockSize, length);
    }
    std::size_t bytes() const { return bytes_; }
    void clear();

private:
    // Block i holds the offsets from i * BlockSize on, as many as its size.
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::vector<std::uint32_t> sizes_;
    std::size_t bytes_ = 0;
    std::uint32_t runStart_ = 0;
    std::uint32_t end_ = 0; // the offset after the last byte held
};

} // namespace cantorel
