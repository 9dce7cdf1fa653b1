#include "core/player/TMPEGError.h"

#include "decoder/mpeg.h"

namespace cantorel {

std::string mpegErrorMessage(std::int32_t code)
{
    if (const char* message = mpeg_error_message(code); message && code != MPEG_OK)
        return message;
    return "Unknown decoder error " + std::to_string(code);
}

TMPEGError TMPEGError::fromCode(std::int32_t code)
{
    if (code <= MPEG_OK)
        return notLoaded();
    return TMPEGError(static_cast<std::uint8_t>(code), mpegErrorMessage(code));
}

TMPEGError TMPEGError::notLoaded(const std::string& message) { return TMPEGError(NotLoaded, message); }

} // namespace cantorel
