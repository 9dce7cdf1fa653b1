#include "core/platform/BlockText.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace cantorel {

void BlockText::beginRun() { runStart_ = end_; }

void BlockText::append(std::string_view text)
{
    const std::size_t used = end_ - (blocks_.empty() ? 0 : (blocks_.size() - 1) * BlockSize);
    if (blocks_.empty() || used + text.size() > sizes_.back()) {
        // A new block, and the run so far moves to its beginning.
        const std::size_t length = runLength();
        const std::size_t size = std::min(BlockSize, std::max(FirstBlock << std::min<std::size_t>(blocks_.size(), 20),
                                                              std::bit_ceil(length + text.size())));
        auto block = std::make_unique_for_overwrite<char[]>(size);
        if (length > 0)
            std::memcpy(block.get(), view(runStart_, length).data(), length);
        blocks_.push_back(std::move(block));
        sizes_.push_back(static_cast<std::uint32_t>(size));
        bytes_ += size;
        runStart_ = static_cast<std::uint32_t>((blocks_.size() - 1) * BlockSize);
        end_ = static_cast<std::uint32_t>(runStart_ + length);
    }
    if (!text.empty())
        std::memcpy(blocks_.back().get() + (end_ - (blocks_.size() - 1) * BlockSize), text.data(), text.size());
    end_ += static_cast<std::uint32_t>(text.size());
}

void BlockText::clear()
{
    blocks_.clear();
    sizes_.clear();
    bytes_ = 0;
    runStart_ = 0;
    end_ = 0;
}

} // namespace cantorel
