#include "core/collection/ProbeRecord.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace cantorel;

// A record of the probe cache, as read back from a cache file that anything may have
// written: a record that decodes is one that encodes to the same bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto probe = ProbeRecord::decode(bytes); probe && ProbeRecord::encode(*probe) != bytes)
        std::abort();
    return 0;
}
