#include "core/collection/PlaylistFile.h"
#include "core/platform/CodePage.h"
#include "core/platform/Paths.h"

#include <cstdint>

using namespace cantorel;

// The bytes as a playlist, read as .m3u and as .m3u8, each line resolved as the build
// resolves it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const bool utf8 : {false, true}) {
        for (const std::string& line : PlaylistFile::lines(bytes, utf8, *CodePage::byNumber(1252)))
            (void)paths::expand("/music/Lists/", line, true);
    }
    return 0;
}
