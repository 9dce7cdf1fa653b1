#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace cantorel {

// The player component's error: a message and an 8-bit code, either an error code the
// library reported (MPEG_ERR_* of decoder/mpeg.h, never MPEG_OK) or one of the
// component's own.
class TMPEGError : public std::runtime_error {
public:
    // The component's own codes: the library is not loaded, and no stream was named. The
    // first is 0 in the component's published table; it never stands for a library code,
    // where 0 is MPEG_OK.
    static constexpr std::uint8_t NotLoaded = 0;
    static constexpr std::uint8_t NonSpecifiedStream = 254;

    TMPEGError(std::uint8_t code, const std::string& message) : std::runtime_error(message), ErrorCode(code) {}
    // The error of the code the library reported after a failed call, with its message; a
    // failure the library gave no code for is code 0 of the component's table.
    static TMPEGError fromCode(std::int32_t code);
    // The library is not loaded (or could not be).
    static TMPEGError notLoaded(const std::string& message = "MPEG library not loaded");

    std::uint8_t ErrorCode;
};

// The message of a code the library reports: its own for MPEG_ERR_INTERNAL to
// MPEG_ERR_OUTPUT, "Unknown decoder error " and the code for any other.
std::string mpegErrorMessage(std::int32_t code);

} // namespace cantorel
