#include "platform/SafeFileWriter.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace cantorel::fs {

namespace {

std::string failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// The file that a rename must replace: the target of a symbolic link, else the path.
std::string resolvedTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    std::unique_ptr<char, decltype(&::free)> real(::realpath(path.c_str(), nullptr), &::free);
    if (real)
        return real.get();
    // A dangling link: write its target as the link names it.
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0)
        return path;
    target.resize(static_cast<std::size_t>(n));
    return target.front() == '/' ? target : paths::directoryOf(path) + target;
}

int createTemporary(const std::string& target, mode_t mode, std::string& name)
{
    const std::string dir = paths::directoryOf(target);
    const std::string base = paths::fileNameOf(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = dir + "." + base + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(std::rand() % 1000000);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

Result<> replaceFile(const std::string& path, const std::string& data)
{
    const std::string target = resolvedTarget(path);
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode))
        return fail("not a regular file");
    std::string temporary;
    const int fd = createTemporary(target, existed ? (old.st_mode & 07777) : 0666, temporary);
    if (fd < 0)
        return fail(failure("cannot create a temporary file"));
    std::string error;
    if (!writeAll(fd, data.data(), data.size()))
        error = failure("cannot write");
    if (error.empty() && existed) {
        // Ownership is kept where the user may keep it; the mode is kept whatever the umask.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            error = failure("cannot set the mode");
    }
    if (error.empty() && ::fsync(fd) != 0)
        error = failure("cannot flush");
    if (::close(fd) != 0 && error.empty())
        error = failure("cannot close");
    if (error.empty() && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = failure("cannot replace the file");
    if (!error.empty()) {
        ::unlink(temporary.c_str());
        return fail(std::move(error));
    }
    const int dirFd = ::open(paths::directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

} // namespace cantorel::fs
