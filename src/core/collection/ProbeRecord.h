#pragma once

#include "core/collection/TrackProbe.h"

#include <optional>
#include <string>
#include <string_view>

namespace cantorel {

// A probe as the probe cache keeps it: a compact byte string of our own. decode() takes
// any bytes and gives back a probe only when they are a whole, well-formed record of this
// version; anything else is a miss.
class ProbeRecord {
public:
    static std::string encode(const TrackProbe& probe);
    static std::optional<TrackProbe> decode(std::string_view bytes);
};

} // namespace cantorel
