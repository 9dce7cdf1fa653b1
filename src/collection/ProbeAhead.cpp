#include "collection/ProbeAhead.h"

#include "platform/Paths.h"
#include "platform/TextRules.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cantorel {

ProbeAhead::ProbeAhead(TrackProber probe, unsigned threads, std::string descriptionFile)
    : probe_(std::move(probe)), descriptionFile_(text::foldAZ(descriptionFile))
{
    for (unsigned i = 0; i < threads; ++i)
        threads_.emplace_back([this] { work(); });
}

ProbeAhead::~ProbeAhead()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

void ProbeAhead::wantDirectory(const std::string& directory)
{
    {
        std::lock_guard lock(mutex_);
        if (!directories_.try_emplace(directory).second)
            return;
        jobs_.push_back(directory);
    }
    queued_.notify_one();
}

TrackProbe ProbeAhead::take(const std::string& path)
{
    const std::size_t slash = path.rfind('/') + 1;
    const std::string directory = path.substr(0, slash);
    const std::string name = path.substr(slash);
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto it = directories_.find(directory);
        if (it == directories_.end())
            break;
        Directory& d = it->second;
        if (d.state == State::Queued)
            d.state = State::Claimed; // not begun: the scan reads this directory itself
        if (d.state == State::Claimed)
            break;
        if (const auto found = d.probes.find(name); found != d.probes.end()) {
            TrackProbe probe = std::move(found->second);
            d.probes.erase(found);
            if (d.state == State::Finished && d.probes.empty())
                directories_.erase(it);
            return probe;
        }
        if (d.state == State::Finished)
            break;
        ++waiting_;
        done_.wait(lock);
        --waiting_;
    }
    lock.unlock();
    return probe_(path);
}

void ProbeAhead::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (stopping_)
            return;
        const std::string directory = std::move(jobs_.front());
        jobs_.pop_front();
        const auto it = directories_.find(directory);
        if (it == directories_.end() || it->second.state != State::Queued)
            continue;
        it->second.state = State::Running;
        lock.unlock();
        probeDirectory(directory);
        lock.lock();
        // The map may have rehashed meanwhile; the directory's entry is still there.
        Directory& d = directories_.at(directory);
        d.state = State::Finished;
        if (d.probes.empty())
            directories_.erase(directory);
        if (waiting_ > 0)
            done_.notify_all();
    }
}

void ProbeAhead::probeDirectory(const std::string& directory)
{
    std::vector<std::string> tracks;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            const bool track = paths::foldedExtension(name) == ".mp3";
            if (!track && text::foldAZ(name) != descriptionFile_)
                continue;
            // Only regular files, as the scan lists them: never a pipe or a device behind a link.
            struct stat st {};
            if (e->d_type != DT_REG && ((e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) ||
                                        ::fstatat(::dirfd(dir), e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)))
                continue;
            if (track) {
                tracks.push_back(name);
                continue;
            }
            // The scan reads the description file soon: the disk may fetch it meanwhile.
            const int fd = ::openat(::dirfd(dir), e->d_name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            if (fd >= 0) {
                ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
                ::close(fd);
            }
        }
        ::closedir(dir);
    }
    for (const std::string& name : tracks) {
        TrackProbe probe = probe_(directory + name);
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        directories_.at(directory).probes.emplace(name, std::move(probe));
        if (waiting_ > 0)
            done_.notify_all();
    }
}

} // namespace cantorel
