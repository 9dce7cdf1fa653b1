#pragma once

#include "core/collection/DirectoryListing.h"
#include "core/collection/ProbeCache.h"
#include "core/collection/TrackProbe.h"
#include "core/platform/FileSystem.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace cantorel {

class Collation;

// What the scan reads of one directory. Read ahead, it holds all the scan needs from the
// disk; read by a scan without read-ahead, only the listing, and the scan reads the rest
// as it goes.
struct DirectoryRead {
    explicit DirectoryRead(DirectoryListing listed = {}) : listing(std::move(listed)) {}

    DirectoryListing listing;
    bool ahead = false; // read ahead: the fields below are set
    std::optional<fs::FileIdentity> identity;
    bool pseudo = false;                           // on a pseudo file system: nothing else is read
    std::optional<std::string> descriptions;       // the description file's bytes, when it could be read
    std::vector<std::optional<TrackProbe>> probes; // by index of listing.files(): the tracks' probes
};

// Reads directories on a few threads ahead of the scan, which takes each in its own
// order: what it finds, and the order of the tree, are those of reading one by one. A
// thread takes a whole directory: it lists it, reads its description file and probes
// its tracks. While the files are in memory one thread is awake and the scan, when it
// catches up, reads the next queued directory itself; once reads wait for the disk,
// every queued directory gets a thread and the scan waits for its own.
class ReadAhead {
public:
    // `descriptionFile`: the description file's name, as the listing finds it. `known`,
    // when given, is asked first for each track, with the stamp read relative to its
    // folder.
    ReadAhead(TrackProber probe, KnownProbe known, unsigned threads, const Collation& collation,
              std::string descriptionFile);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Queues a directory (ending with "/"), unless it was queued already.
    void want(const std::string& directory);
    // The directory's reading: what a thread read, waited for while a thread reads it;
    // read here when no thread has begun it.
    DirectoryRead take(const std::string& directory);

private:
    enum class State { Queued, Running, Finished };
    struct Job {
        State state = State::Queued;
        DirectoryRead read;
    };
    void work(const Collation& collation);
    // Reads the first directory of the queue that nobody has begun; false when there is
    // none. Called with the lock held, which it lets go of while it reads.
    bool runNext(std::unique_lock<std::mutex>& lock, const Collation& collation);
    DirectoryRead timedRead(const std::string& directory, const Collation& collation);
    DirectoryRead readDirectory(const std::string& directory, const Collation& collation);
    bool isPseudo(const std::string& directory, const std::optional<fs::FileIdentity>& identity);

    TrackProber probe_;
    KnownProbe known_;
    const Collation& collation_;
    std::string descriptionFile_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable done_;
    std::deque<std::string> queue_;
    std::unordered_map<std::string, Job> jobs_; // queued, running or finished and not yet taken
    std::string awaited_;                       // the directory the scan waits for
    std::size_t idle_ = 0;                      // threads waiting for a job
    bool wakePending_ = false;                  // one of them was woken and has not yet run
    int slowness_ = 0;                          // above 0 while reads wait for the disk
    // Whether a device holds a pseudo file system: asked once a device, not once a folder.
    std::unordered_map<std::uint64_t, bool> pseudoByDevice_;
    std::atomic<bool> stopping_{false};
    std::vector<std::unique_ptr<Collation>> collations_; // one a thread
    std::vector<std::thread> threads_;
};

} // namespace cantorel
