#include "core/platform/OpenFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace cantorel::fs {

OpenFolder::OpenFolder(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    if (fd_ < 0)
        error_ = errno;
}

OpenFolder::~OpenFolder()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<FileIdentity> OpenFolder::identity() const
{
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

std::optional<struct stat> OpenFolder::statOf(const std::string& name) const
{
    struct stat st {};
    if (fd_ < 0 || ::fstatat(fd_, name.c_str(), &st, 0) != 0)
        return std::nullopt;
    return st;
}

} // namespace cantorel::fs
