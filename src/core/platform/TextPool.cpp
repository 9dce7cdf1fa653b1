#include "core/platform/TextPool.h"

#include <cstring>

namespace cantorel {

std::string_view TextPool::recentMatch(std::string_view text) const
{
    for (const std::string_view kept : recent_) {
        if (kept.size() == text.size() && !kept.empty() &&
            (kept.data() == text.data() || std::memcmp(kept.data(), text.data(), text.size()) == 0))
            return kept;
    }
    return {};
}

std::string_view TextPool::keep(std::string_view text)
{
    if (const std::string_view kept = recentMatch(text); !kept.empty())
        return kept;
    const std::size_t need = text.size() + 1;
    // A long text gets a block of its own, after which a new block begins: the blocks stay
    // in the order their texts were kept, as rewind() needs.
    const std::size_t size = need > LargeText ? need : BlockSize;
    if (need > LargeText || blocks_.empty() || used_ + need > blockSizes_.back()) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        blockSizes_.push_back(size);
        capacity_ += size;
        used_ = 0;
    }
    char* at = blocks_.back().get() + used_;
    used_ += need;
    if (!text.empty())
        std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\0';
    const std::string_view kept(at, text.size());
    recent_[nextRecent_] = kept;
    nextRecent_ = (nextRecent_ + 1) % Remembered;
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
