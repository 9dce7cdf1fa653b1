#pragma once

#include "core/platform/Result.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>

namespace cantorel::fs {

// What a file was when it was read: a replacement is renamed over it only while it is
// still that file.
struct FileState {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long mtimeSeconds = 0;
    long mtimeNanoseconds = 0;
    bool operator==(const FileState&) const = default;
};
// The state of the file at `path` (links followed); nothing when there is none.
std::optional<FileState> fileStateOf(const std::string& path);

// Changes a file by its path before it replaces another (a tag library edits by path).
using TemporaryEdit = std::function<Result<>(const std::string& temporaryPath)>;
// Writes the new contents into the temporary file open as `fd`.
using Contents = std::function<Result<>(int fd)>;

// Replaces the contents of `path` without ever leaving it half written: the data goes to
// a temporary file beside the target (beside the link's target for a symbolic link), which
// `edit` may then change, is flushed to disk, takes the old file's mode, owner, group and
// extended attributes where it can, and is then renamed over the target. A new file gets
// the mode its creation gives it. With `readAs` the rename happens only while the target
// is still the file of that state (nothing: it must not exist). Temporary files that
// killed writers left beside the target are removed. The failure says what failed.
Result<> replaceFile(const std::string& path, const std::string& data,
                     const std::optional<std::optional<FileState>>& readAs = std::nullopt,
                     const TemporaryEdit& edit = {});
// The same with contents written by `contents`.
Result<> replaceFileWith(const std::string& path, const Contents& contents,
                         const std::optional<std::optional<FileState>>& readAs = std::nullopt);

// Fails, saying why, when a file replaced by a copy would change beyond its contents: it
// has other names (hard links) that would keep the old file, or it belongs to a user or
// group that the copy could not be given.
Result<> checkCopyKeepsFile(const struct stat& st);

// Replaces `oldSize` bytes at `offset` of the file at `path` by `bytes`: in place when the
// sizes are equal or the bytes are added at the end and the file may be written (it keeps
// its identity, names and owner; an addition that fails is cut off again), else through a
// copy renamed over it, which keeps its mode (checkCopyKeepsFile first). With `expected` nothing is written unless the file is still
// the one of that state. The file is flushed to disk; its state after.
Result<FileState> spliceFile(const std::string& path, std::int64_t offset, std::int64_t oldSize, std::string_view bytes,
                             const std::optional<FileState>& expected = std::nullopt);

// An exclusive advisory lock on a directory, shared by every writer of this program
// across processes; it survives the renames of the files in it. Released when destroyed.
class DirectoryLock {
public:
    // Waits up to `seconds` for the lock.
    static Result<DirectoryLock> acquire(const std::string& directory, int seconds);
    DirectoryLock(DirectoryLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    DirectoryLock& operator=(DirectoryLock&&) = delete;
    ~DirectoryLock();

private:
    explicit DirectoryLock(int fd) : fd_(fd) {}
    int fd_;
};

// The file a write to `path` reaches: the target of a symbolic link, else the path.
std::string resolvedTarget(const std::string& path);

} // namespace cantorel::fs
