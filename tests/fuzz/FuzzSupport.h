#pragma once

#include <cstdint>
#include <cstdlib>
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

} // namespace cantorel::fuzz
