#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace cantorel {

// The player component's error: a message and the library's 8-bit code (MPEG_ERR_* of
// mpeg/mpeg.h), or one of the component's own.
class TMPEGError : public std::runtime_error {
public:
    // The component's own codes: the library is not loaded (code 0, which the library
    // never reports as an error), or no stream was named.
    static constexpr std::uint8_t NotLoaded = 0;
    static constexpr std::uint8_t NonSpecifiedStream = 254;

    TMPEGError(std::uint8_t code, const std::string& message) : std::runtime_error(message), ErrorCode(code) {}
    // The error of a library code, with its message from the table.
    static TMPEGError fromCode(std::int32_t code);

    std::uint8_t ErrorCode;
};

// The message of a library code: codes 0 to 5 have their own, any other reads
// "Unknown decoder error " and the code.
std::string mpegErrorMessage(std::int32_t code);

} // namespace cantorel
