#pragma once

#include "core/collection/TrackProbe.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct sqlite3;

namespace cantorel {

struct Configuration;
namespace fs {
class OpenFolder;
}

// What stat says of a track file; a cached probe counts only while all of it is the same.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> stampOf(const std::string& path);
// The stamp of the entry `name` of an open folder.
std::optional<FileStamp> stampOf(const fs::OpenFolder& folder, const std::string& name);

// What is known already of a track file (`path`) with this stamp; nothing when it must be
// read.
using KnownProbe = std::function<std::optional<TrackProbe>(const std::string& path, const FileStamp& stamp)>;

// What the probes of one collection found, kept between runs in an SQLite file so that a
// track whose stamp has not changed is not opened again. A cache that is missing,
// unreadable, corrupt, of another version or locked counts as empty and is replaced when
// saved. find() and store() may be called from several threads. One cache serves one
// build: the save writes it and lets go of its memory.
class ProbeCache {
public:
    static constexpr int Version = 2; // 2: packed records

    // How the rows are read: all at once when the cache is made (the quickest; looking
    // them up takes no lock), or a folder's rows when a track of it is first looked up,
    // let go of soon after (the least memory, for a reading behind a tree shown already).
    enum class Rows { All, ByFolder };
    explicit ProbeCache(std::string file, Rows rows = Rows::All);
    ~ProbeCache(); // waits for a save under way
    ProbeCache(const ProbeCache&) = delete;
    ProbeCache& operator=(const ProbeCache&) = delete;

    // The cache file of a collection under `cacheHome` ($XDG_CACHE_HOME, else ~/.cache):
    // one per root directory and per setting that changes what a probe finds.
    static std::string fileFor(const std::string& rootDirectory, const std::string& settings);

    // Makes room to note this many tracks found, as a reading that knows about how many
    // it will meet may: the note does not grow a step at a time.
    void expectTracks(std::size_t tracks) { met_.reserve(tracks); }
    std::optional<TrackProbe> find(std::string_view path, const FileStamp& stamp);
    void store(const std::string& path, const FileStamp& stamp, const TrackProbe& probe);
    // Keeps what is known of the tracks in `folder` (no trailing "/") and below, which
    // this run could not read (an offline folder).
    void keepUnder(const std::string& folder);
    // Writes what this run found, and forgets the tracks it did not meet, in one
    // transaction on a thread of its own, so that the window need not wait for it.
    void saveInBackground();
    void save();

    const std::string& file() const { return file_; }
    // Why the cache file cannot be used ("" when it can): the run goes on without it.
    const std::string& problem() const { return problem_; }

private:
    // A row as read: its path and, behind it, its record lie in a block of `text_`.
    struct Stored {
        FileStamp stamp;
        const char* path;
        std::uint32_t pathSize, recordSize;
    };
    struct Fresh {
        FileStamp stamp;
        std::string record;
    };
    // A row of a folder read on its own.
    struct FolderRow {
        std::string path;
        FileStamp stamp;
        std::string record;
    };
    struct Connection;
    void load();
    void open();
    void makeIndex();
    std::optional<TrackProbe> findInFolder(std::string_view path, const FileStamp& stamp);
    // The rows of the tracks in `folder` (ending with "/"), on an idle connection.
    std::vector<FolderRow> readFolder(std::string_view folder);
    std::vector<FolderRow> readFolder(Connection& c, std::string_view folder);
    std::unique_ptr<Connection> connect() const;
    // True when `path` lies in a folder kept whole (Rows::ByFolder).
    bool kept(std::string_view path) const;
    // Paths of rows that this run neither met nor kept, nor found again.
    std::vector<std::string> goneRows();
    std::string_view pathOf(const Stored& s) const { return {s.path, s.pathSize}; }
    // The row of a path, or none.
    const Stored* lookUp(std::string_view path) const;
    bool write();
    bool writeRows(); // under mutex_

    std::string file_; // "" when there is none to use
    std::string problem_;
    // What was read, unchanged until the save: few large blocks rather than a small one a
    // track, which a hundred thousand tracks would take long to allocate and free, and
    // never moved (a growing string would copy it again and again).
    std::vector<std::unique_ptr<char[]>> text_;
    std::vector<Stored> stored_;
    std::vector<std::uint32_t> index_;             // open addressing: 1 + the row, 0 for none
    std::unique_ptr<std::atomic<bool>[]> seen_;    // by row: this run met the track
    bool loaded_ = false;                          // the file was read as a cache of this version
    std::mutex mutex_;                             // guards fresh_
    std::unordered_map<std::string, Fresh> fresh_; // what this run's probes found
    std::thread saver_;
    // Rows::ByFolder: connections to the file that no thread uses now, the last folders
    // read, and what was met and kept.
    bool byFolder_ = false;
    std::mutex poolMutex_;
    std::condition_variable poolChanged_;
    std::vector<std::unique_ptr<Connection>> idle_;
    std::size_t connections_ = 0; // open, idle or not
    std::mutex folderMutex_;
    std::deque<std::pair<std::string, std::vector<FolderRow>>> folders_;
    std::vector<std::uint64_t> met_;       // hashes of the paths found
    std::unordered_set<std::string> kept_; // folders kept whole (no trailing "/")
};

// The prober that asks the cache first and tells it what the real probe found.
TrackProber cachedProber(TrackProber probe, ProbeCache& cache);
// The cache's look-up alone, for a reader that has the stamp already.
KnownProbe knownProbe(ProbeCache& cache);

// The probe cache of the configured collection; none when the configuration turns it off
// or there is no cache folder.
std::unique_ptr<ProbeCache> probeCacheFor(const Configuration& configuration,
                                          ProbeCache::Rows rows = ProbeCache::Rows::All);

} // namespace cantorel
