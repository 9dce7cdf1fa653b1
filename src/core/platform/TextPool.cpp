#include "core/platform/TextPool.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace cantorel {

std::string_view TextPool::recentMatch(std::string_view text)
{
    for (std::size_t i = 0; i < Remembered; ++i) {
        const std::string_view kept = recent_[i];
        if (kept.size() < text.size() || text.empty())
            continue;
        const std::string_view end = kept.substr(kept.size() - text.size());
        if (end.data() != text.data() && std::memcmp(end.data(), text.data(), text.size()) != 0)
            continue;
        // The same text is met again most often (an album's name): it stays remembered.
        if (end.size() == kept.size())
            remember(i, kept);
        return end;
    }
    return {};
}

// Puts `text` first, the texts before place `from` one place on (the last one falls out).
void TextPool::remember(std::size_t from, std::string_view text)
{
    for (std::size_t i = std::min(from, Remembered - 1); i > 0; --i)
        recent_[i] = recent_[i - 1];
    recent_[0] = text;
}

std::string_view TextPool::keep(std::string_view text)
{
    if (const std::string_view kept = recentMatch(text); !kept.empty())
        return kept;
    // Each text stands before a NUL, packed: a borrowed string holds its length.
    const std::size_t need = text.size() + 1;
    // A long text gets a block of its own, after which a new block begins: the blocks stay
    // in the order their texts were kept, as rewind() needs.
    const std::size_t blockSize = need > LargeText ? need : BlockSize;
    if (need > LargeText || blocks_.empty() || used_ + need > blockSizes_.back()) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
        blockSizes_.push_back(blockSize);
        capacity_ += blockSize;
        used_ = 0;
    }
    char* at = blocks_.back().get() + used_;
    used_ += need;
    if (!text.empty())
        std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\0';
    const std::string_view kept(at, text.size());
    remember(Remembered, kept);
    return kept;
}

void TextPool::rewind(Mark mark)
{
    while (blocks_.size() > mark.blocks) {
        capacity_ -= blockSizes_.back();
        blocks_.pop_back();
        blockSizes_.pop_back();
    }
    used_ = blocks_.empty() ? 0 : mark.used;
    recent_ = {};
}

void TextPool::clear() { rewind({}); }

} // namespace cantorel
