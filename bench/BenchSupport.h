#pragma once

// What the benchmark programs share: writing generated files, timing, and the command
// line "[--dir DIR] [TRACKS...]".

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace cantorel::bench {

inline void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Drops the page cache (needs root): the next reads come from the disk.
inline bool dropPageCache()
{
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    drop << "3\n";
    drop.flush();
    return static_cast<bool>(drop);
}

inline double seconds(const std::function<void()>& body)
{
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Arguments {
    std::filesystem::path base; // where the collections are generated
    std::vector<int> sizes;     // track counts
};

inline Arguments parseArguments(int argc, char** argv, const char* folder, std::vector<int> defaultSizes)
{
    Arguments a{std::filesystem::temp_directory_path() / folder, {}};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc)
            a.base = argv[++i];
        else
            a.sizes.push_back(std::atoi(argv[i]));
    }
    if (a.sizes.empty())
        a.sizes = std::move(defaultSizes);
    return a;
}

} // namespace cantorel::bench
