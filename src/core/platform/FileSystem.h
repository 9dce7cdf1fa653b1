#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

// Small file services over POSIX calls. Only regular files and directories count; symbolic
// links are followed.
namespace cantorel::fs {

bool isRegularFile(const std::string& path);
bool isDirectory(const std::string& path);
bool isSymbolicLink(const std::string& path); // the path itself, not what it names
std::optional<std::int64_t> fileSize(const std::string& path);

struct FileIdentity {
    dev_t device;
    ino_t inode;
    bool operator==(const FileIdentity&) const = default;
};
struct FileIdentityHash {
    std::size_t operator()(const FileIdentity& id) const
    {
        return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(id.inode) * 31 +
                                          static_cast<std::uint64_t>(id.device));
    }
};
std::optional<FileIdentity> identityOf(const std::string& path);

// True for a directory on a kernel's pseudo file system (proc, sysfs, devtmpfs, cgroup,
// debugfs, tracefs and the like), which holds no music and may never end.
bool isPseudoFileSystem(const std::string& directory);

// The path with every link and "." or ".." resolved; "" when it does not exist.
std::string realPath(const std::string& path);

// The resolved path of the running program file.
std::string programFile();
// Its directory, ending with "/".
std::string programDirectory();
// Where an installed program finds a file of its own: beside the program file (a build
// tree, a portable install), else in `installedFolder` relative to the program's directory
// (such as "../lib/cantorel/"). Ends with "/".
std::string ownFileDirectory(const std::string& name, const std::string& installedFolder);
// The process's current directory, ending with "/".
std::string currentDirectory();

// The name in `directory` that equals `name`: the exact name when it exists, else the
// first name in byte order that equals it with A-Z folded; nothing when there is none.
std::optional<std::string> findNameIgnoringCase(const std::string& directory, const std::string& name);

// Reads up to `count` bytes at `offset`, retrying short reads; the bytes read.
std::size_t readAt(int fd, void* buffer, std::size_t count, std::int64_t offset);
// Writes all `count` bytes at `offset` (or at the file position for offset -1).
bool writeAll(int fd, const void* data, std::size_t count, std::int64_t offset = -1);

// What stands at a path, told without blocking (a FIFO is not opened for reading).
enum class PathKind { Missing, RegularFile, Other };
PathKind kindOf(const std::string& path);

// Reads a whole file; nothing when it cannot be opened or read.
std::optional<std::string> readFile(const std::string& path);

// The program's folder among the user's: $XDG_STATE_HOME/cantorel/ (else
// ~/.local/state/cantorel/) or $XDG_CACHE_HOME/cantorel/ (else ~/.cache/cantorel/); ""
// when neither variable nor HOME is an absolute path. Not created here.
enum class UserFolder { State, Cache };
std::string userFolder(UserFolder kind);
// A file of the user's cache folder named by `prefix`, the FNV-1a hash of `key` in hex,
// and `extension`; "" without a cache folder.
std::string cacheFileFor(const std::string& prefix, const std::string& key, const std::string& extension);

} // namespace cantorel::fs
