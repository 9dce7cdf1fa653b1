#include "core/platform/SafeFileWriter.h"

#include "core/platform/FileSystem.h"
#include "core/platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <pwd.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace cantorel::fs {

namespace {

std::string failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

constexpr const char* TemporaryPrefix = ".cantorel-";
constexpr const char* TemporarySuffix = ".tmp";

bool allDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The process that made a temporary file of ours, from its name: ".cantorel-PID-RANDOM.tmp",
// or the older ".TARGET.tmpPID-N"; nothing for any other name.
std::optional<pid_t> writerOf(const std::string& name, const std::string& targetName)
{
    std::string_view n = name;
    if (n.starts_with(TemporaryPrefix) && n.ends_with(TemporarySuffix)) {
        n = n.substr(std::strlen(TemporaryPrefix),
                     n.size() - std::strlen(TemporaryPrefix) - std::strlen(TemporarySuffix));
        const std::size_t dash = n.find('-');
        if (dash == std::string_view::npos || !allDigits(n.substr(0, dash)) || n.substr(dash + 1).empty())
            return std::nullopt;
        return static_cast<pid_t>(std::stol(std::string(n.substr(0, dash))));
    }
    const std::string old = "." + targetName + ".tmp";
    if (!n.starts_with(old))
        return std::nullopt;
    n.remove_prefix(old.size());
    const std::size_t dash = n.find('-');
    if (dash == std::string_view::npos || !allDigits(n.substr(0, dash)) || !allDigits(n.substr(dash + 1)))
        return std::nullopt;
    return static_cast<pid_t>(std::stol(std::string(n.substr(0, dash))));
}

// Removes the temporary files that writers no longer running left in `directory`.
void removeStaleTemporaries(const std::string& directory, const std::string& targetName)
{
    struct CloseDir {
        void operator()(DIR* d) const { ::closedir(d); }
    };
    std::unique_ptr<DIR, CloseDir> dir(::opendir(directory.c_str()));
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        const std::optional<pid_t> writer = writerOf(name, targetName);
        if (writer && *writer != ::getpid() && ::kill(*writer, 0) != 0 && errno == ESRCH)
            (void)::unlinkat(::dirfd(dir.get()), name.c_str(), 0); // gone already is as good
    }
}

// The user's extended attributes of `from` on the file open as `to`, where it may set them.
void copyExtendedAttributes(const std::string& from, int to)
{
    const ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
    if (size <= 0)
        return;
    std::string names(static_cast<std::size_t>(size), '\0');
    const ssize_t got = ::listxattr(from.c_str(), names.data(), names.size());
    for (std::size_t at = 0; got > 0 && at < static_cast<std::size_t>(got);) {
        const std::string name = names.c_str() + at;
        at += name.size() + 1;
        const ssize_t length = ::getxattr(from.c_str(), name.c_str(), nullptr, 0);
        if (length < 0)
            continue;
        std::string value(static_cast<std::size_t>(length), '\0');
        if (::getxattr(from.c_str(), name.c_str(), value.data(), value.size()) == length)
            (void)::fsetxattr(to, name.c_str(), value.data(), value.size(), 0); // a refusal loses only that
    }
}

std::uint64_t randomNumber()
{
    thread_local std::mt19937_64 generator(std::random_device{}());
    return generator();
}

} // namespace

std::optional<FileState> fileStateOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileState{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

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

namespace {

// A short name whatever the target's: the prefix, the writer's process and a random number.
int createTemporary(const std::string& target, mode_t mode, std::string& name)
{
    const std::string dir = paths::directoryOf(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(randomNumber()));
        name = dir + TemporaryPrefix + std::to_string(::getpid()) + "-" + suffix + TemporarySuffix;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

Result<> replaceFileWithEdit(const std::string& path, const Contents& contents,
                             const std::optional<std::optional<FileState>>& readAs, const TemporaryEdit& edit)
{
    const std::string target = resolvedTarget(path);
    removeStaleTemporaries(paths::directoryOf(target), paths::fileNameOf(target));
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode))
        return fail("not a regular file");
    std::string temporary;
    const int fd = createTemporary(target, existed ? (old.st_mode & 07777) : 0666, temporary);
    if (fd < 0)
        return fail(failure("cannot create a temporary file"));
    std::string error;
    if (const Result<> written = contents(fd); !written)
        error = written.error();
    if (error.empty() && edit) {
        if (const Result<> edited = edit(temporary); !edited)
            error = edited.error();
    }
    if (error.empty() && existed) {
        copyExtendedAttributes(target, fd);
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
    if (error.empty() && readAs && fileStateOf(target) != *readAs)
        error = "another program changed the file meanwhile";
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

} // namespace

Result<> replaceFile(const std::string& path, const std::string& data,
                     const std::optional<std::optional<FileState>>& readAs, const TemporaryEdit& edit)
{
    return replaceFileWithEdit(
        path,
        [&data](int fd) {
            return writeAll(fd, data.data(), data.size()) ? Result<>() : Result<>(fail(failure("cannot write")));
        },
        readAs, edit);
}

Result<> replaceFileWith(const std::string& path, const Contents& contents,
                         const std::optional<std::optional<FileState>>& readAs)
{
    return replaceFileWithEdit(path, contents, readAs, {});
}

Result<> checkCopyKeepsFile(const struct stat& st)
{
    if (st.st_nlink > 1)
        return fail("it has " + std::to_string(st.st_nlink) +
                    " names (hard links), and a rewritten file would keep only this one");
    if (::geteuid() == 0)
        return {}; // the copy is given the file's owner and group
    if (st.st_uid != ::geteuid()) {
        const struct passwd* user = ::getpwuid(st.st_uid);
        return fail("it belongs to user " + (user ? std::string(user->pw_name) : std::to_string(st.st_uid)) +
                    ", and a rewritten file would belong to you");
    }
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    groups.resize(static_cast<std::size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    if (st.st_gid != ::getegid() && std::find(groups.begin(), groups.end(), st.st_gid) == groups.end()) {
        const struct group* group = ::getgrgid(st.st_gid);
        return fail("it belongs to group " + (group ? std::string(group->gr_name) : std::to_string(st.st_gid)) +
                    ", and a rewritten file would not");
    }
    return {};
}

namespace {

FileState stateOf(const struct stat& st)
{
    return FileState{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

// Writes `bytes` at `offset` of the file, which stays the same file.
Result<FileState> writeInPlace(const std::string& path, std::int64_t offset, std::string_view bytes,
                               const std::optional<FileState>& expected)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return fail(failure("cannot open the file for writing"));
    std::string error;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        error = failure("cannot read the file's state");
    else if (expected && stateOf(st) != *expected)
        error = "another program changed the file meanwhile";
    else if (!writeAll(fd, bytes.data(), bytes.size(), offset) || ::fsync(fd) != 0) {
        error = failure("cannot write");
        // What an addition at the end wrote is cut off again.
        if (offset + static_cast<std::int64_t>(bytes.size()) > st.st_size)
            (void)::ftruncate(fd, st.st_size);
    }
    if (error.empty() && ::fstat(fd, &st) != 0)
        error = failure("cannot read the file's state");
    ::close(fd);
    if (!error.empty())
        return fail(std::move(error));
    return stateOf(st);
}

} // namespace

Result<FileState> spliceFile(const std::string& path, std::int64_t offset, std::int64_t oldSize, std::string_view bytes,
                             const std::optional<FileState>& expected)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return fail(failure("cannot read the file's state"));
    if (!S_ISREG(st.st_mode) || offset < 0 || oldSize < 0 || offset + oldSize > st.st_size)
        return fail("the file is not as expected");
    // A read-only file is written through a copy, which keeps its mode: making it writable
    // for a while could leave it so.
    const bool inPlace = oldSize == static_cast<std::int64_t>(bytes.size()) || (oldSize == 0 && offset == st.st_size);
    if (inPlace && ::access(path.c_str(), W_OK) == 0)
        return writeInPlace(path, offset, bytes, expected);
    if (expected && stateOf(st) != *expected)
        return fail("another program changed the file meanwhile");
    if (const Result<> keeps = checkCopyKeepsFile(st); !keeps)
        return keeps.failure();
    const int source = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (source < 0)
        return fail(failure("cannot open the file"));
    const FileState readAs{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    const auto copy = [source](int fd, std::int64_t from, std::int64_t to) -> Result<> {
        std::string buffer(1 << 20, '\0');
        for (std::int64_t at = from; at < to;) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::int64_t>(to - at, std::int64_t(buffer.size())));
            if (readAt(source, buffer.data(), want, at) != want)
                return fail(failure("cannot read the file"));
            if (!writeAll(fd, buffer.data(), want))
                return fail(failure("cannot write"));
            at += static_cast<std::int64_t>(want);
        }
        return {};
    };
    const Result<> replaced = replaceFileWith(
        path,
        [&](int fd) -> Result<> {
            if (Result<> before = copy(fd, 0, offset); !before)
                return before;
            if (!writeAll(fd, bytes.data(), bytes.size()))
                return fail(failure("cannot write"));
            return copy(fd, offset + oldSize, st.st_size);
        },
        std::optional<FileState>(readAs));
    ::close(source);
    if (!replaced)
        return replaced.failure();
    const std::optional<FileState> after = fileStateOf(path);
    if (!after)
        return fail(failure("cannot read the file's state"));
    return *after;
}

Result<DirectoryLock> DirectoryLock::acquire(const std::string& directory, int seconds)
{
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return fail(failure("cannot open the directory"));
    for (int waited = 0;; waited += 10) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return DirectoryLock(fd);
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= seconds * 1000) {
            const std::string error = errno == EWOULDBLOCK ? std::string("another program is saving it")
                                                           : failure("cannot lock the directory");
            ::close(fd);
            return fail(error);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

DirectoryLock::~DirectoryLock()
{
    if (fd_ >= 0)
        ::close(fd_); // closing releases the lock
}

} // namespace cantorel::fs
