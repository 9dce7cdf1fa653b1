#include "core/info/ApeTag.h"
#include "core/info/ExtendedTags.h"
#include "core/info/Id3v2Tag.h"
#include "core/platform/ByteSource.h"

#include <cstdint>
#include <string_view>

using namespace cantorel;

// The bytes as the start of a track (an ID3v2 tag) and, up to its end, an APE tag: the
// fields, every frame's contents, and the pictures.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const MemorySource bytes(std::string_view(reinterpret_cast<const char*>(data), size));
    (void)ExtendedTags::read(bytes, static_cast<std::int64_t>(size));
    if (const auto tag = Id3v2Tag::read(bytes, [](std::string_view) { return true; })) {
        for (const Id3v2Frame& frame : tag->frames) {
            if (const auto contents = frame.contents()) {
                (void)Id3v2Frame::texts(*contents);
                (void)Id3v2Frame::comment(*contents);
                (void)Id3v2Frame::picture(*contents, frame.version);
            }
        }
        (void)tag->render(tag->size);
    }
    return 0;
}
