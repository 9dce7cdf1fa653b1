#include "player/TMPEGError.h"

#include <array>

namespace cantorel {

std::string mpegErrorMessage(std::int32_t code)
{
    static constexpr std::array<const char*, 6> Messages = {
        "MPEG library not loaded", "Internal decoder error",       "Incorrect mode",
        "Input stream error",      "Input stream is non-seekable", "Output device failure",
    };
    if (code >= 0 && code < static_cast<std::int32_t>(Messages.size()))
        return Messages[static_cast<std::size_t>(code)];
    return "Unknown decoder error " + std::to_string(code);
}

TMPEGError TMPEGError::fromCode(std::int32_t code)
{
    return TMPEGError(static_cast<std::uint8_t>(code < 0 ? 0 : code), mpegErrorMessage(code < 0 ? 0 : code));
}

} // namespace cantorel
