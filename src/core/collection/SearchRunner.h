#pragma once

#include "core/collection/SearchIndex.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace cantorel {

// Runs searches of an index on a thread of its own, so that typing never waits for one:
// each new query cancels the one before, and only the last one's hits are handed on.
class SearchRunner {
public:
    // `done` is called on the runner's thread with the hits of the query it was given.
    using Done = std::function<void(std::uint64_t query, SearchHits hits)>;

    // Each search hands on at most `limit` matches (and counts them all).
    SearchRunner(const SearchIndex& index, Done done, std::size_t limit = SIZE_MAX);
    ~SearchRunner();
    SearchRunner(const SearchRunner&) = delete;
    SearchRunner& operator=(const SearchRunner&) = delete;

    // Starts a search for `text` (the one running, if any, stops); its number.
    std::uint64_t find(const std::string& text);
    // Stops the search that runs, if any; no hits are handed on for it.
    void cancel();
    // The number of the last query given.
    std::uint64_t last() const { return generation_.load(); }

private:
    void run();

    const SearchIndex& index_;
    Done done_;
    std::size_t limit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::string> pending_;
    std::atomic<std::uint64_t> generation_{0};
    bool quit_ = false;
    std::thread thread_;
};

} // namespace cantorel
