#include "core/collection/CollectionItem.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"

#include "FuzzSupport.h"

using namespace cantorel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CollectionItem item;
    item.Path = fuzz::writeInput("track.mp3", data, size);
    item.Genre = 255;
    (void)ReadTrackInfo(item, *CodePage::byNumber(437));
    readTagFields(item.Path, *CodePage::byNumber(1251));
    return 0;
}
