#pragma once

#include "core/platform/FileSystem.h"

#include <optional>
#include <string>
#include <sys/stat.h>

namespace cantorel::fs {

// A folder held open while it is read, so that its entries are looked at relative to it:
// the kernel does not walk the folder's whole path again for each of them.
class OpenFolder {
public:
    explicit OpenFolder(const std::string& path);
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // Why it could not be opened (an errno value).
    int error() const { return error_; }
    std::optional<FileIdentity> identity() const;
    // What stat says of the entry `name` (links followed).
    std::optional<struct stat> statOf(const std::string& name) const;

private:
    int fd_ = -1;
    int error_ = 0;
};

} // namespace cantorel::fs
