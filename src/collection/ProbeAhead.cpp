#include "collection/ProbeAhead.h"

#include "platform/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace cantorel {

ProbeAhead::ProbeAhead(TrackProber probe, unsigned threads) : probe_(std::move(probe))
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

void ProbeAhead::want(const std::string& path)
{
    {
        std::lock_guard lock(mutex_);
        if (!slots_.try_emplace(path).second)
            return;
        jobs_.push_back(Job{path, false});
    }
    queued_.notify_one();
}

void ProbeAhead::wantDirectory(const std::string& directory)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(Job{directory, true});
    }
    queued_.notify_one();
}

TrackProbe ProbeAhead::take(const std::string& path)
{
    std::unique_lock lock(mutex_);
    const auto it = slots_.find(path);
    if (it == slots_.end() || it->second.state == State::Queued) {
        // Not begun: probed here rather than waited for; a thread that meets the job skips it.
        if (it != slots_.end())
            it->second.state = State::Running;
        lock.unlock();
        TrackProbe probe = probe_(path);
        lock.lock();
        slots_.erase(path);
        return probe;
    }
    done_.wait(lock, [&] { return it->second.state == State::Done; });
    TrackProbe probe = std::move(it->second.probe);
    slots_.erase(it);
    return probe;
}

void ProbeAhead::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (stopping_)
            return;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        if (job.directory) {
            lock.unlock();
            listDirectory(job.path);
            lock.lock();
            continue;
        }
        const auto it = slots_.find(job.path);
        if (it == slots_.end() || it->second.state != State::Queued)
            continue; // taken by the scan already
        it->second.state = State::Running;
        lock.unlock();
        TrackProbe probe = probe_(job.path);
        lock.lock();
        // The slot stays while it runs: take() waits for it rather than erasing it.
        const auto slot = slots_.find(job.path);
        slot->second.probe = std::move(probe);
        slot->second.state = State::Done;
        done_.notify_all();
    }
}

void ProbeAhead::listDirectory(const std::string& directory)
{
    DIR* dir = ::opendir(directory.c_str());
    if (!dir)
        return;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (paths::foldedExtension(name) != ".mp3")
            continue;
        // Only regular files, as the scan lists them: never a pipe or a device behind a link.
        if (e->d_type != DT_REG) {
            struct stat st {};
            if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN)
                continue;
            if (::fstatat(::dirfd(dir), e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
                continue;
        }
        want(directory + name);
    }
    ::closedir(dir);
}

} // namespace cantorel
