#pragma once

#include "collection/TrackProbe.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace cantorel {

// Probes tracks on a few threads ahead of the scan, which takes each result in its own
// order: what it finds, and the order of the tree, are those of probing one by one.
class ProbeAhead {
public:
    ProbeAhead(TrackProber probe, unsigned threads);
    ~ProbeAhead();
    ProbeAhead(const ProbeAhead&) = delete;
    ProbeAhead& operator=(const ProbeAhead&) = delete;

    // Queues the probe of a track, unless it is queued already.
    void want(const std::string& path);
    // Lists a directory (ending with "/") on a thread of the pool and queues its tracks.
    void wantDirectory(const std::string& directory);
    // The probe of a track: waits for it, or probes it here when no thread has begun it.
    TrackProbe take(const std::string& path);

private:
    enum class State { Queued, Running, Done };
    struct Slot {
        State state = State::Queued;
        TrackProbe probe;
    };
    struct Job {
        std::string path;
        bool directory = false;
    };
    void work();
    void listDirectory(const std::string& directory);

    TrackProber probe_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable done_;
    std::deque<Job> jobs_;
    std::unordered_map<std::string, Slot> slots_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace cantorel
