#include "core/collection/CollectionItem.h"
#include "core/info/TagBlock.h"
#include "core/info/TrackInfo.h"
#include "core/platform/ByteSource.h"
#include "core/platform/CodePage.h"

#include <cstring>

using namespace cantorel;

// The bytes as a track file: the probe, the record made of it, and its ID3v1 block read
// in another code page.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CollectionItem item;
    item.Genre = 255;
    applyProbe(item, ProbeTrack(MemorySource(bytes), *CodePage::byNumber(437)));
    if (size >= TagBlock::Size) {
        TagBlock::Bytes block{};
        std::memcpy(block.data(), data + size - TagBlock::Size, TagBlock::Size);
        if (TagBlock::isTag(block))
            (void)TagBlock::parse(block, *CodePage::byNumber(1251));
    }
    return 0;
}
