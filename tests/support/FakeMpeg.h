#pragma once

#include <cstdint>
#include <string>

namespace cantorel::test {

// The test double of the decoder library, loaded by the player from fakeMpegDirectory();
// these reach its controls through the same loaded library.
class FakeMpeg {
public:
    static std::string directory();           // holds the complete fake mpeg.so
    static std::string incompleteDirectory(); // one entry missing
    // Valid while the player has the library loaded.
    FakeMpeg();
    std::string calls() const;
    void reset() const;
    void fail(const char* entry, std::int32_t code) const;
    void set(std::int32_t length, std::int32_t position, std::int32_t mode, std::int32_t playResult) const;
    void end() const;

private:
    void* handle_;
};

} // namespace cantorel::test
