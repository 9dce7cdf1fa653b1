#include "core/platform/FileSystem.h"

#include "core/platform/Paths.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <memory>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace cantorel::fs {

namespace {
std::optional<struct stat> statOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return st;
}
} // namespace

bool isRegularFile(const std::string& path)
{
    const auto st = statOf(path);
    return st && S_ISREG(st->st_mode);
}

bool isDirectory(const std::string& path)
{
    const auto st = statOf(path);
    return st && S_ISDIR(st->st_mode);
}

bool isSymbolicLink(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::optional<std::int64_t> fileSize(const std::string& path)
{
    const auto st = statOf(path);
    if (!st || !S_ISREG(st->st_mode))
        return std::nullopt;
    return static_cast<std::int64_t>(st->st_size);
}

std::optional<FileIdentity> identityOf(const std::string& path)
{
    const auto st = statOf(path);
    if (!st)
        return std::nullopt;
    return FileIdentity{st->st_dev, st->st_ino};
}

bool isPseudoFileSystem(const std::string& directory)
{
    // Magic numbers of linux/magic.h.
    static constexpr unsigned long Pseudo[] = {
        0x9fa0,     // proc
        0x62656572, // sysfs
        0x27e0eb,   // cgroup
        0x63677270, // cgroup2
        0x64626720, // debugfs
        0x74726163, // tracefs
        0x73636673, // securityfs
        0x6165676c, // pstore
        0xcafe4a11, // bpf
        0x62656570, // configfs
        0x1cd1,     // devpts
        0x19800202, // mqueue
        0x65735543, // fusectl
        0x42494e4d, // binfmt_misc
        0xf97cff8c, // selinuxfs
        0xde5e81e4, // efivarfs
        0x6e736673, // nsfs
    };
    constexpr unsigned long Tmpfs = 0x01021994;
    struct statfs info {};
    if (::statfs(directory.c_str(), &info) != 0)
        return false;
    const auto type = static_cast<unsigned long>(info.f_type);
    if (std::find(std::begin(Pseudo), std::end(Pseudo), type) != std::end(Pseudo))
        return true;
    // devtmpfs reports itself as tmpfs: it is the tmpfs that /dev is on.
    struct stat dev {};
    const auto here = statOf(directory);
    return type == Tmpfs && here && ::stat("/dev", &dev) == 0 && here->st_dev == dev.st_dev;
}

std::string realPath(const std::string& path)
{
    std::unique_ptr<char, decltype(&::free)> real(::realpath(path.c_str(), nullptr), &::free);
    return real ? std::string(real.get()) : std::string();
}

std::string programFile()
{
    std::string buffer(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0)
        return {};
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
}

std::string programDirectory() { return paths::directoryOf(programFile()); }

std::string ownFileDirectory(const std::string& name, const std::string& installedFolder)
{
    const std::string beside = programDirectory();
    if (isRegularFile(beside + name))
        return beside;
    return paths::withTrailingSlash(paths::expand(beside, installedFolder));
}

std::string currentDirectory()
{
    std::unique_ptr<char, decltype(&::free)> cwd(::getcwd(nullptr, 0), &::free);
    return paths::withTrailingSlash(cwd ? cwd.get() : "/");
}

std::optional<std::string> findNameIgnoringCase(const std::string& directory, const std::string& name)
{
    const std::string dir = paths::withTrailingSlash(directory);
    if (::access((dir + name).c_str(), F_OK) == 0)
        return name;
    struct DirCloser {
        void operator()(DIR* d) const { ::closedir(d); }
    };
    std::unique_ptr<DIR, DirCloser> d(::opendir(dir.c_str()));
    if (!d)
        return std::nullopt;
    std::optional<std::string> best;
    while (const dirent* e = ::readdir(d.get())) {
        const std::string candidate = e->d_name;
        if (text::equalsFolded(candidate, name) && (!best || candidate < *best))
            best = candidate;
    }
    return best;
}

std::size_t readAt(int fd, void* buffer, std::size_t count, std::int64_t offset)
{
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, static_cast<char*>(buffer) + done, count - done,
                                  static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool writeAll(int fd, const void* data, std::size_t count, std::int64_t offset)
{
    std::size_t done = 0;
    while (done < count) {
        const char* from = static_cast<const char*>(data) + done;
        const ssize_t n =
            offset < 0 ? ::write(fd, from, count - done)
                       : ::pwrite(fd, from, count - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

PathKind kindOf(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? PathKind::Missing : PathKind::Other;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular ? PathKind::RegularFile : PathKind::Other;
}

std::optional<std::string> readFile(const std::string& path)
{
    // Non-blocking, so that a FIFO never hangs the open; only regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string data;
    char buffer[65536];
    // A file read up to the size stat gave is read whole (a pseudo file says 0: to its end).
    const auto size = static_cast<std::size_t>(st.st_size);
    while (size == 0 || data.size() < size) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

std::string cacheFileFor(const std::string& prefix, const std::string& key, const std::string& extension)
{
    const std::string folder = userFolder(UserFolder::Cache);
    if (folder.empty())
        return {};
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : key)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    static const char digits[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4)
        hex[static_cast<std::size_t>(i)] = digits[hash & 15];
    return folder + prefix + hex + extension;
}

std::string userFolder(UserFolder kind)
{
    const bool state = kind == UserFolder::State;
    const char* xdg = std::getenv(state ? "XDG_STATE_HOME" : "XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/cantorel/";
    if (home && home[0] == '/')
        return std::string(home) + (state ? "/.local/state/cantorel/" : "/.cache/cantorel/");
    return {};
}

} // namespace cantorel::fs
