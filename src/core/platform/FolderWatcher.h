#pragma once

#include "core/platform/CompactString.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace cantorel {

// Watches folders for changes with inotify: a file or folder made, removed, renamed or
// written in one of them. A folder made inside a watched one is watched from then on (an
// album being copied). Folders on network and FUSE file systems are watched too, but
// changes made by other machines are not seen there: needsSweep() tells so, as it does
// once the system's watch limit is reached.
class FolderWatcher {
public:
    // At most `limit` watches of this watcher's own, besides the system's limit.
    explicit FolderWatcher(std::size_t limit = SIZE_MAX);
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    // The descriptor to wait on for events; -1 when inotify is not available.
    int fd() const { return fd_; }
    // Watches exactly these folders (paths without a trailing "/"), keeping the watches
    // that stay.
    void watch(const std::vector<std::string>& folders);
    // Reads what is pending; true when something in a watched folder changed.
    bool takeEvents();
    // The folders where the events taken so far happened (paths without a trailing "/"),
    // or nothing when events were lost and any folder may have changed; taken by the call.
    std::vector<std::string> takeChangedFolders();

    // The watch limit was met: some folders are not watched.
    bool limitReached() const { return limitReached_; }
    // Some folders lie on a file system whose changes inotify may not see.
    bool remoteFolders() const { return remote_; }
    bool needsSweep() const { return limitReached_ || remote_ || fd_ < 0; }
    std::size_t watched() const { return byWatch_.size(); }

    // True for network and FUSE file systems (NFS, CIFS/SMB, sshfs and the like).
    static bool isRemote(const std::string& folder);

private:
    // False when the folder is not watched, or was watched already by this path.
    bool add(const std::string& folder);
    // `folder` and the folders below it.
    void addTree(const std::string& folder);

    std::size_t limit_;
    int fd_ = -1;
    // The path of each watch. A large collection has tens of thousands: a path is looked
    // up by its watch only, as the events name them; the kernel tells when a folder is
    // watched already.
    std::unordered_map<int, CompactString> byWatch_;
    std::vector<std::string> changed_;
    bool lost_ = false;
    bool limitReached_ = false;
    bool remote_ = false;
};

} // namespace cantorel
