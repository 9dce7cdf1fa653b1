#include "core/platform/FolderWatcher.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>

namespace cantorel {

namespace {

constexpr std::uint32_t Mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE_SELF |
                               IN_MOVE_SELF | IN_UNMOUNT | IN_ONLYDIR;

// statfs magic numbers of file systems whose changes can come from elsewhere.
constexpr unsigned long RemoteTypes[] = {
    0x6969,     // NFS
    0x517B,     // SMB
    0xFF534D42, // CIFS
    0xFE534D42, // SMB2
    0x65735546, // FUSE (sshfs, rclone, ...)
    0x01021997, // 9P
    0x00C36400, // Ceph
    0x5346414F, // AFS
    0x47504653, // GPFS
    0x564C,     // NCP
};

} // namespace

FolderWatcher::FolderWatcher(std::size_t limit) : limit_(limit), fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

FolderWatcher::~FolderWatcher()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool FolderWatcher::isRemote(const std::string& folder)
{
    struct statfs st {};
    if (::statfs(folder.c_str(), &st) != 0)
        return false;
    for (const unsigned long type : RemoteTypes) {
        if (static_cast<unsigned long>(st.f_type) == type)
            return true;
    }
    return false;
}

bool FolderWatcher::add(const std::string& folder)
{
    if (fd_ < 0 || limitReached_)
        return false;
    if (byWatch_.size() >= limit_) {
        for (const auto& [wd, path] : byWatch_) {
            if (path == folder)
                return false;
        }
        limitReached_ = true;
        return false;
    }
    const int wd = ::inotify_add_watch(fd_, folder.c_str(), Mask);
    if (wd < 0) {
        if (errno == ENOSPC)
            limitReached_ = true;
        return false;
    }
    // The same folder met again by another path (a link, or a folder moved) keeps the
    // path met last.
    const auto [known, isNew] = byWatch_.try_emplace(wd, folder);
    if (isNew)
        return true;
    if (known->second == folder)
        return false;
    known->second = folder;
    return true;
}

void FolderWatcher::addTree(const std::string& folder)
{
    if (!add(folder))
        return;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> below;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        const std::string path = folder + "/" + name;
        if (e->d_type == DT_DIR ||
            ((e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
            below.push_back(path);
    }
    ::closedir(dir);
    for (const std::string& path : below)
        addTree(path);
}

void FolderWatcher::watch(const std::vector<std::string>& folders)
{
    std::unordered_set<std::string_view> wanted(folders.begin(), folders.end());
    for (auto it = byWatch_.begin(); it != byWatch_.end();) {
        if (wanted.erase(it->second.view()) > 0) {
            ++it; // watched already
            continue;
        }
        ::inotify_rm_watch(fd_, it->first);
        it = byWatch_.erase(it);
    }
    // A limit met before may be free again.
    limitReached_ = false;
    remote_ = false;
    std::unordered_set<std::uint64_t> devices;
    for (const std::string& folder : folders) {
        if (wanted.contains(folder))
            add(folder);
        struct stat st {};
        if (::stat(folder.c_str(), &st) == 0 && devices.insert(static_cast<std::uint64_t>(st.st_dev)).second)
            remote_ = remote_ || isRemote(folder);
    }
}

bool FolderWatcher::takeEvents()
{
    if (fd_ < 0)
        return false;
    bool changed = false;
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                changed = lost_ = true; // events were lost: something changed
                continue;
            }
            const auto folder = byWatch_.find(e->wd);
            if (e->mask & IN_IGNORED) {
                if (folder != byWatch_.end())
                    byWatch_.erase(folder);
                continue;
            }
            changed = true;
            if (folder != byWatch_.end() && (changed_.empty() || changed_.back() != folder->second.view()))
                changed_.push_back(folder->second.str());
            // A folder made or moved in: watched at once, with what it already holds.
            if ((e->mask & IN_ISDIR) && (e->mask & (IN_CREATE | IN_MOVED_TO)) && e->len > 0 && folder != byWatch_.end())
                addTree(folder->second + "/" + e->name);
        }
    }
    return changed;
}

std::vector<std::string> FolderWatcher::takeChangedFolders()
{
    std::vector<std::string> changed = std::exchange(changed_, {});
    if (std::exchange(lost_, false))
        changed.clear();
    return changed;
}

} // namespace cantorel
