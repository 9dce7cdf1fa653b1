#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace cantorel::fuzz {

// One directory per fuzzing process, kept for the whole run.
inline const std::string& workDirectory()
{
    static const std::string dir = [] {
        std::string pattern = "/tmp/cantorel-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        return pattern + "/";
    }();
    return dir;
}

inline std::string writeInput(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    const std::string path = workDirectory() + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

} // namespace cantorel::fuzz
