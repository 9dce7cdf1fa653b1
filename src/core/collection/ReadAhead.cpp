#include "core/collection/ReadAhead.h"

#include "core/collection/FileKinds.h"
#include "core/platform/Collation.h"
#include "core/platform/OpenFolder.h"
#include "core/platform/Paths.h"

#include <chrono>

namespace cantorel {

namespace {

// A directory whose reading takes longer than this waited for the disk: its files were
// not in memory, and more threads are set to work on the queue. One in memory takes a few
// dozen microseconds.
constexpr auto SlowRead = std::chrono::microseconds(200);

} // namespace

ReadAhead::ReadAhead(TrackProber probe, KnownProbe known, unsigned threads, const Collation& collation,
                     std::string descriptionFile)
    : probe_(std::move(probe)), known_(std::move(known)), collation_(collation),
      descriptionFile_(std::move(descriptionFile))
{
    for (unsigned i = 0; i < threads; ++i) {
        collations_.push_back(collation.clone());
        threads_.emplace_back([this, c = collations_.back().get()] { work(*c); });
    }
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

void ReadAhead::want(const std::string& directory)
{
    std::lock_guard lock(mutex_);
    if (!jobs_.try_emplace(directory).second)
        return;
    queue_.push_back(directory);
    // While the disk is the limit every job gets a thread of its own. Otherwise a thread
    // that is awake takes the job after its own: waking another costs more than reading a
    // directory that is in memory.
    if (slowness_ > 0 ? idle_ > 0 : idle_ == threads_.size() && !wakePending_) {
        wakePending_ = true;
        queued_.notify_one();
    }
}

DirectoryRead ReadAhead::take(const std::string& directory)
{
    std::unique_lock lock(mutex_);
    auto it = jobs_.find(directory);
    if (it == jobs_.end() || it->second.state == State::Queued) {
        // Not begun: read here, and by no thread.
        if (it != jobs_.end())
            jobs_.erase(it);
        lock.unlock();
        return timedRead(directory, collation_);
    }
    while (it->second.state != State::Finished) {
        // Rather than wait, read the next directory in the queue, unless it waits for the
        // disk: then the scan gets on as soon as its own directory is read.
        if (slowness_ == 0 && runNext(lock, collation_))
            continue;
        awaited_ = directory;
        done_.wait(lock, [&] { return it->second.state == State::Finished; });
        awaited_.clear();
    }
    DirectoryRead read = std::move(it->second.read);
    jobs_.erase(it);
    return read;
}

void ReadAhead::work(const Collation& collation)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        --idle_;
        wakePending_ = false;
        if (stopping_)
            return;
        while (!stopping_ && runNext(lock, collation)) {
        }
    }
}

bool ReadAhead::runNext(std::unique_lock<std::mutex>& lock, const Collation& collation)
{
    while (!queue_.empty()) {
        const std::string directory = std::move(queue_.front());
        queue_.pop_front();
        const auto it = jobs_.find(directory);
        if (it == jobs_.end() || it->second.state != State::Queued)
            continue; // taken by the scan meanwhile
        // Only the scan erases a job, and not while it runs: `it` stays valid.
        it->second.state = State::Running;
        lock.unlock();
        DirectoryRead read = timedRead(directory, collation);
        lock.lock();
        it->second.read = std::move(read);
        it->second.state = State::Finished;
        if (awaited_ == directory)
            done_.notify_one();
        return true;
    }
    return false;
}

DirectoryRead ReadAhead::timedRead(const std::string& directory, const Collation& collation)
{
    const auto start = std::chrono::steady_clock::now();
    DirectoryRead read = readDirectory(directory, collation);
    const bool slow = std::chrono::steady_clock::now() - start > SlowRead;
    std::lock_guard lock(mutex_);
    // A few fast reads in a row end the slowness: a single slow one may have been a thread
    // put off by others.
    slowness_ = slow ? std::min(slowness_ + 4, 16) : std::max(slowness_ - 1, 0);
    if (slow) {
        // The disk is the limit: as many threads as there are directories queued.
        for (std::size_t i = 0; i < std::min(queue_.size(), idle_); ++i)
            queued_.notify_one();
    }
    return read;
}

bool ReadAhead::isPseudo(const std::string& directory, const std::optional<fs::FileIdentity>& identity)
{
    if (!identity)
        return fs::isPseudoFileSystem(directory);
    const auto device = static_cast<std::uint64_t>(identity->device);
    {
        std::lock_guard lock(mutex_);
        if (const auto known = pseudoByDevice_.find(device); known != pseudoByDevice_.end())
            return known->second;
    }
    const bool pseudo = fs::isPseudoFileSystem(directory);
    std::lock_guard lock(mutex_);
    pseudoByDevice_.emplace(device, pseudo);
    return pseudo;
}

DirectoryRead ReadAhead::readDirectory(const std::string& directory, const Collation& collation)
{
    const fs::OpenFolder folder(directory);
    DirectoryRead read{DirectoryListing::read(folder, collation)};
    read.ahead = true;
    // A folder that can be entered but not listed has an identity all the same.
    read.identity = folder.isOpen() ? folder.identity() : fs::identityOf(directory);
    read.pseudo = isPseudo(directory, read.identity);
    if (read.pseudo)
        return read;
    if (const std::optional<std::string> file = read.listing.findFile(descriptionFile_))
        read.descriptions = fs::readFile(directory + *file);
    const std::vector<std::string>& files = read.listing.files();
    read.probes.resize(files.size());
    std::string path = directory; // each track's path in turn, in one buffer
    for (std::size_t i = 0; i < files.size() && !stopping_; ++i) {
        if (!FileKinds::isTrack(files[i]))
            continue;
        path.resize(directory.size());
        path += files[i];
        if (known_) {
            if (const std::optional<FileStamp> stamp = stampOf(folder, files[i])) {
                if ((read.probes[i] = known_(path, *stamp)))
                    continue;
            }
        }
        read.probes[i] = probe_(path);
    }
    return read;
}

} // namespace cantorel
