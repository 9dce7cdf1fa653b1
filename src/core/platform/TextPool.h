#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace cantorel {

// Keeps many texts for as long as the pool lives, packed in large blocks: no heap block
// (and its bookkeeping) per text. A text equal to one of the last few kept or met again
// is kept once, so the album and artist of a folder's tracks cost nothing after the
// first, however many texts of its own each track has; a text that ends one of them (a
// title at the end of its description) is read there. The pool can be taken back to a
// mark, dropping everything kept after it.
class TextPool {
public:
    // A lasting NUL-terminated copy of `text` (see CompactString::borrow).
    std::string_view keep(std::string_view text);

    struct Mark {
        std::size_t blocks = 0;
        std::size_t used = 0;
    };
    Mark mark() const { return {blocks_.size(), used_}; }
    // Forgets what was kept after `mark`: nothing may read it any more.
    void rewind(Mark mark);
    void clear();
    // The bytes the blocks take.
    std::size_t capacity() const { return capacity_; }

private:
    static constexpr std::size_t BlockSize = 64 * 1024;
    // A text longer than this gets a block of its own.
    static constexpr std::size_t LargeText = BlockSize / 8;
    static constexpr std::size_t Remembered = 8;

    // The recent text equal to `text`, made the most recent, or the end of one; empty
    // when there is none.
    std::string_view recentMatch(std::string_view text);
    void remember(std::size_t from, std::string_view text);

    std::vector<std::unique_ptr<char[]>> blocks_;
    std::vector<std::size_t> blockSizes_;
    std::size_t used_ = 0; // of the last block
    std::size_t capacity_ = 0;
    std::array<std::string_view, Remembered> recent_{}; // the most recent first
};

} // namespace cantorel
