#include "support/TempDir.h"

#include "support/Unprivileged.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace cantorel::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "cantorel-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Restore permissions that a test took away, so that everything can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
    }
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const
{
    const std::filesystem::path full = path_ + name;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + full.string());
    return full.string();
}

std::string TempDir::makeDir(const std::string& name) const
{
    std::filesystem::create_directories(path_ + name);
    return path_ + name;
}

void TempDir::shareWithUnprivileged() const
{
    namespace f = std::filesystem;
    const unsigned uid = unprivilegedUid();
    const auto share = [&](const f::path& p, bool directory) {
        f::permissions(p, directory ? f::perms::all : f::perms(0666));
        if (::getuid() == 0)
            (void)::lchown(p.c_str(), uid, uid);
    };
    share(path_, true);
    for (const auto& entry : f::recursive_directory_iterator(path_))
        share(entry.path(), entry.is_directory());
}

std::string readAll(const std::string& path)
{
    if (!std::filesystem::is_regular_file(path))
        return {};
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace cantorel::test
