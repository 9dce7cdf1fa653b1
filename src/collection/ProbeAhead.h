#pragma once

#include "collection/TrackProbe.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace cantorel {

// Probes the tracks of directories on a few threads ahead of the scan, which takes each
// result in its own order: what it finds, and the order of the tree, are those of probing
// one by one. A thread takes a whole directory: it lists it, starts reading its
// description file into the page cache, and probes its tracks.
class ProbeAhead {
public:
    // `descriptionFile`: the description file's name, matched with A-Z folded.
    ProbeAhead(TrackProber probe, unsigned threads, std::string descriptionFile);
    ~ProbeAhead();
    ProbeAhead(const ProbeAhead&) = delete;
    ProbeAhead& operator=(const ProbeAhead&) = delete;

    // Queues a directory (ending with "/"), unless it was queued already.
    void wantDirectory(const std::string& directory);
    // The probe of a track: what a thread found, or probed here when no thread has begun
    // its directory (or the thread's listing did not hold it).
    TrackProbe take(const std::string& path);

private:
    enum class State { Queued, Running, Finished, Claimed };
    struct Directory {
        State state = State::Queued;
        std::unordered_map<std::string, TrackProbe> probes; // by file name
    };
    void work();
    void probeDirectory(const std::string& directory);

    TrackProber probe_;
    std::string descriptionFile_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable done_;
    std::deque<std::string> jobs_;
    std::unordered_map<std::string, Directory> directories_;
    int waiting_ = 0; // the scan waits for a probe
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace cantorel
