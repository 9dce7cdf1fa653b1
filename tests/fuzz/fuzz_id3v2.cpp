#include "core/info/ExtendedTags.h"

#include <cstdint>
#include <string_view>

// The bytes as an ID3v2 tag and, from the first "APETAGEX" on, an APE tag.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t ape = bytes.find("APETAGEX");
    const std::string_view id3v2 = bytes.substr(0, ape);
    const std::string_view apeTag = ape == std::string_view::npos ? std::string_view() : bytes.substr(ape);
    (void)cantorel::ExtendedTags::read(id3v2, apeTag);
    (void)cantorel::ExtendedTags::apeTagSize(bytes);
    return 0;
}
