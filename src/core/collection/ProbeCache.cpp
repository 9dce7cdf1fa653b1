#include "core/collection/ProbeCache.h"

#include "core/collection/ProbeRecord.h"
#include "core/config/Configuration.h"
#include "core/platform/FileSystem.h"
#include "core/platform/OpenFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cantorel {

namespace {

std::int64_t nanoseconds(const timespec& t) { return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }

// Closes the database however a function leaves.
struct Database {
    sqlite3* db = nullptr;
    ~Database()
    {
        if (db)
            sqlite3_close_v2(db);
    }
    bool exec(const char* sql) const { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
};

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    Statement(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
            stmt = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt); }
};

std::int64_t integerOf(sqlite3_stmt* stmt, int column) { return sqlite3_column_int64(stmt, column); }

// A file changed within the last moments may change again within the same tick of the
// file system's clock (a few milliseconds), leaving its stamp as it is: it is not kept.
bool settled(const FileStamp& stamp)
{
    constexpr std::int64_t Margin = 50'000'000; // ns
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now) - stamp.changedNs > Margin && nanoseconds(now) - stamp.modifiedNs > Margin;
}

// True when the cache file and its companions are regular files or missing.
bool onlyRegularFiles(const std::string& file)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        if (fs::kindOf(file + suffix) == fs::PathKind::Other)
            return false;
    }
    return true;
}

} // namespace

namespace {

FileStamp stampFrom(const struct stat& st)
{
    return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), st.st_size,
                     nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

} // namespace

std::optional<FileStamp> stampOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return stampFrom(st);
}

std::optional<FileStamp> stampOf(const fs::OpenFolder& folder, const std::string& name)
{
    const std::optional<struct stat> st = folder.statOf(name);
    return st ? std::optional<FileStamp>(stampFrom(*st)) : std::nullopt;
}

namespace {

// The most folders whose rows are kept at once: a few for each thread reading ahead.
constexpr std::size_t KeptFolders = 64;
constexpr std::size_t MostConnections = 4;

std::uint64_t hashOf(std::string_view path) { return std::hash<std::string_view>()(path); }

} // namespace

// The file kept open while folders are read from it, with the statement that reads one.
struct ProbeCache::Connection {
    Database d;
    sqlite3_stmt* range = nullptr;
    ~Connection() { sqlite3_finalize(range); }
};

ProbeCache::ProbeCache(std::string file, Rows rows) : file_(std::move(file))
{
    if (rows == Rows::All)
        load();
    else
        open();
}

ProbeCache::~ProbeCache()
{
    if (saver_.joinable())
        saver_.join();
}

std::string ProbeCache::fileFor(const std::string& rootDirectory, const std::string& settings)
{
    return fs::cacheFileFor("probes-", rootDirectory + '\n' + settings, ".sqlite");
}

namespace {

// Opens the cache file to read it, when it is one of ours of this version.
bool openToRead(std::string& file, std::string& problem, Database& d)
{
    // Only regular files are opened: SQLite would wait for ever on a pipe put in their place.
    if (!file.empty() && !onlyRegularFiles(file)) {
        problem = file + " is not a regular file; the collection is read without the probe cache";
        file.clear();
    }
    if (file.empty() || sqlite3_open_v2(file.c_str(), &d.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return false;
    Statement version(d.db, "PRAGMA user_version");
    return version.stmt && sqlite3_step(version.stmt) == SQLITE_ROW &&
           sqlite3_column_int(version.stmt, 0) == ProbeCache::Version;
}

} // namespace

void ProbeCache::open()
{
    Database d;
    if (!openToRead(file_, problem_, d))
        return;
    std::unique_ptr<Connection> c = connect();
    if (!c)
        return;
    idle_.push_back(std::move(c));
    connections_ = 1;
    byFolder_ = true;
    loaded_ = true;
}

std::unique_ptr<ProbeCache::Connection> ProbeCache::connect() const
{
    auto c = std::make_unique<Connection>();
    std::string file = file_, problem;
    // Every row whose path lies in the folder or below, in the order of the key.
    // A small page cache each: a folder's rows are read once, and each thread reading
    // ahead may have a connection.
    if (!openToRead(file, problem, c->d) || !c->d.exec("PRAGMA cache_size=-64") ||
        sqlite3_prepare_v2(c->d.db,
                           "SELECT path, device, inode, size, modified, changed, record FROM probes "
                           "WHERE path > ?1 AND path < ?2",
                           -1, &c->range, nullptr) != SQLITE_OK)
        return nullptr;
    return c;
}

std::vector<ProbeCache::FolderRow> ProbeCache::readFolder(std::string_view folder)
{
    std::unique_ptr<Connection> c;
    {
        // A few connections at most: more would only wait for the cores, each with its
        // page cache.
        std::unique_lock lock(poolMutex_);
        poolChanged_.wait(lock, [&] { return !idle_.empty() || connections_ < MostConnections; });
        if (!idle_.empty()) {
            c = std::move(idle_.back());
            idle_.pop_back();
        } else {
            ++connections_;
        }
    }
    if (!c)
        c = connect();
    std::vector<FolderRow> rows = c ? readFolder(*c, folder) : std::vector<FolderRow>();
    std::lock_guard lock(poolMutex_);
    if (c)
        idle_.push_back(std::move(c));
    else
        --connections_;
    poolChanged_.notify_one();
    return rows;
}

std::vector<ProbeCache::FolderRow> ProbeCache::readFolder(Connection& c, std::string_view folder)
{
    std::vector<FolderRow> rows;
    sqlite3_stmt* range = c.range;
    // Paths in the folder and below sort between the folder's path with "/" and with "0".
    const std::string above = std::string(folder.substr(0, folder.size() - 1)) + '0';
    sqlite3_bind_text(range, 1, folder.data(), static_cast<int>(folder.size()), SQLITE_STATIC);
    sqlite3_bind_text(range, 2, above.data(), static_cast<int>(above.size()), SQLITE_STATIC);
    while (sqlite3_step(range) == SQLITE_ROW) {
        const auto* path = reinterpret_cast<const char*>(sqlite3_column_text(range, 0));
        const auto pathSize = static_cast<std::size_t>(sqlite3_column_bytes(range, 0));
        const auto* record = static_cast<const char*>(sqlite3_column_blob(range, 6));
        const auto recordSize = static_cast<std::size_t>(sqlite3_column_bytes(range, 6));
        if (!path || (!record && recordSize > 0))
            continue;
        const std::string_view p(path, pathSize);
        if (p.find('/', folder.size()) != std::string_view::npos)
            continue; // in a folder below
        rows.push_back(FolderRow{std::string(p),
                                 FileStamp{static_cast<std::uint64_t>(integerOf(range, 1)),
                                           static_cast<std::uint64_t>(integerOf(range, 2)), integerOf(range, 3),
                                           integerOf(range, 4), integerOf(range, 5)},
                                 std::string(record ? record : "", recordSize)});
    }
    sqlite3_reset(range);
    return rows;
}

std::optional<TrackProbe> ProbeCache::findInFolder(std::string_view path, const FileStamp& stamp)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::string_view folder = path.substr(0, slash + 1);
    const auto lookUp = [&]() -> const std::vector<FolderRow>* {
        // The folder being read is mostly the last one asked for.
        const auto it =
            std::find_if(folders_.rbegin(), folders_.rend(), [&](const auto& f) { return f.first == folder; });
        return it == folders_.rend() ? nullptr : &it->second;
    };
    std::unique_lock lock(folderMutex_);
    const std::vector<FolderRow>* rows = lookUp();
    if (!rows) {
        // Read without the lock, on a connection of this reading's own: threads reading
        // ahead query at once. A folder read twice meanwhile is kept once.
        lock.unlock();
        std::vector<FolderRow> read = readFolder(folder);
        lock.lock();
        if (!(rows = lookUp())) {
            folders_.emplace_back(std::string(folder), std::move(read));
            if (folders_.size() > KeptFolders)
                folders_.pop_front();
            rows = &folders_.back().second;
        }
    }
    for (const FolderRow& row : *rows) {
        if (row.path != path)
            continue;
        std::optional<TrackProbe> probe = row.stamp == stamp ? ProbeRecord::decode(row.record) : std::nullopt;
        if (probe)
            met_.push_back(hashOf(path));
        return probe;
    }
    return std::nullopt;
}

void ProbeCache::load()
{
    Database d;
    if (!openToRead(file_, problem_, d))
        return;
    Statement rows(d.db, "SELECT path, device, inode, size, modified, changed, record FROM probes");
    if (!rows.stmt)
        return;
    constexpr std::size_t Block = 1 << 20;
    std::vector<std::unique_ptr<char[]>> text;
    std::size_t used = Block; // of the last block
    std::vector<Stored> stored;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(rows.stmt)) == SQLITE_ROW) {
        const auto* path = reinterpret_cast<const char*>(sqlite3_column_text(rows.stmt, 0));
        const auto pathSize = static_cast<std::size_t>(sqlite3_column_bytes(rows.stmt, 0));
        const auto* record = static_cast<const char*>(sqlite3_column_blob(rows.stmt, 6));
        const auto recordSize = static_cast<std::size_t>(sqlite3_column_bytes(rows.stmt, 6));
        if (!path || (!record && recordSize > 0) || pathSize + recordSize > Block)
            continue;
        if (used + pathSize + recordSize > Block) {
            text.push_back(std::make_unique_for_overwrite<char[]>(Block));
            used = 0;
        }
        char* at = text.back().get() + used;
        std::memcpy(at, path, pathSize);
        if (recordSize > 0)
            std::memcpy(at + pathSize, record, recordSize);
        used += pathSize + recordSize;
        stored.push_back(Stored{FileStamp{static_cast<std::uint64_t>(integerOf(rows.stmt, 1)),
                                          static_cast<std::uint64_t>(integerOf(rows.stmt, 2)), integerOf(rows.stmt, 3),
                                          integerOf(rows.stmt, 4), integerOf(rows.stmt, 5)},
                                at, static_cast<std::uint32_t>(pathSize), static_cast<std::uint32_t>(recordSize)});
    }
    // A corrupt or locked file gives an error before its end: nothing of it is trusted.
    if (step != SQLITE_DONE || stored.size() >= UINT32_MAX / 2)
        return;
    text_ = std::move(text);
    stored_ = std::move(stored);
    makeIndex();
    loaded_ = true;
}

void ProbeCache::makeIndex()
{
    std::size_t slots = 16;
    while (slots < 2 * stored_.size())
        slots *= 2;
    index_.assign(slots, 0);
    for (std::size_t row = 0; row < stored_.size(); ++row) {
        std::size_t slot = std::hash<std::string_view>()(pathOf(stored_[row])) & (slots - 1);
        while (index_[slot] != 0)
            slot = (slot + 1) & (slots - 1);
        index_[slot] = static_cast<std::uint32_t>(row + 1);
    }
    seen_ = std::make_unique<std::atomic<bool>[]>(stored_.size());
}

const ProbeCache::Stored* ProbeCache::lookUp(std::string_view path) const
{
    if (index_.empty())
        return nullptr;
    const std::size_t mask = index_.size() - 1;
    for (std::size_t slot = std::hash<std::string_view>()(path) & mask; index_[slot] != 0; slot = (slot + 1) & mask) {
        const Stored& row = stored_[index_[slot] - 1];
        if (pathOf(row) == path)
            return &row;
    }
    return nullptr;
}

std::optional<TrackProbe> ProbeCache::find(std::string_view path, const FileStamp& stamp)
{
    if (byFolder_)
        return findInFolder(path, stamp);
    const Stored* row = lookUp(path);
    if (!row || !(row->stamp == stamp))
        return std::nullopt;
    std::optional<TrackProbe> probe = ProbeRecord::decode(std::string_view(row->path + row->pathSize, row->recordSize));
    if (probe)
        seen_[static_cast<std::size_t>(row - stored_.data())].store(true, std::memory_order_relaxed);
    return probe;
}

void ProbeCache::store(const std::string& path, const FileStamp& stamp, const TrackProbe& probe)
{
    if (!settled(stamp))
        return;
    std::string record = ProbeRecord::encode(probe);
    std::lock_guard lock(mutex_);
    fresh_[path] = Fresh{stamp, std::move(record)};
}

void ProbeCache::keepUnder(const std::string& folder)
{
    if (byFolder_) {
        kept_.insert(folder);
        return;
    }
    const std::string prefix = folder + "/";
    for (std::size_t row = 0; row < stored_.size(); ++row) {
        if (pathOf(stored_[row]).starts_with(prefix))
            seen_[row].store(true, std::memory_order_relaxed);
    }
}

void ProbeCache::saveInBackground()
{
    if (saver_.joinable())
        saver_.join();
    saver_ = std::thread([this] { write(); });
}

void ProbeCache::save()
{
    if (saver_.joinable())
        saver_.join();
    write();
}

bool ProbeCache::write()
{
    std::lock_guard lock(mutex_);
    const bool written = writeRows();
    // The build is over: what it read and found is let go of, written or not.
    text_ = std::vector<std::unique_ptr<char[]>>();
    stored_ = std::vector<Stored>();
    index_ = std::vector<std::uint32_t>();
    seen_.reset();
    fresh_ = std::unordered_map<std::string, Fresh>();
    idle_.clear();
    connections_ = 0;
    byFolder_ = false;
    folders_.clear();
    met_ = std::vector<std::uint64_t>();
    kept_.clear();
    loaded_ = true;
    return written;
}

bool ProbeCache::kept(std::string_view path) const
{
    for (std::size_t slash = path.rfind('/'); slash != std::string_view::npos && slash > 0;
         slash = path.rfind('/', slash - 1)) {
        if (kept_.contains(std::string(path.substr(0, slash))))
            return true;
    }
    return false;
}

std::vector<std::string> ProbeCache::goneRows()
{
    std::vector<std::string> gone;
    const auto forget = [&](std::string_view path) {
        if (!fresh_.contains(std::string(path)))
            gone.emplace_back(path);
    };
    if (!byFolder_) {
        for (std::size_t row = 0; row < stored_.size(); ++row) {
            if (!seen_[row].load(std::memory_order_relaxed))
                forget(pathOf(stored_[row]));
        }
        return gone;
    }
    // Read a folder at a time: every row is looked at once more, by its path.
    std::sort(met_.begin(), met_.end());
    Statement paths(idle_.front()->d.db, "SELECT path FROM probes");
    while (paths.stmt && sqlite3_step(paths.stmt) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(paths.stmt, 0));
        const std::string_view path(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(paths.stmt, 0)));
        if (!std::binary_search(met_.begin(), met_.end(), hashOf(path)) && !kept(path))
            forget(path);
    }
    return gone;
}

bool ProbeCache::writeRows()
{
    const std::vector<std::string> gone = goneRows();
    if (file_.empty() || (loaded_ && fresh_.empty() && gone.empty()))
        return true;
    if (!onlyRegularFiles(file_))
        return false;
    std::error_code ignored; // a folder that cannot be made fails the open below
    std::filesystem::create_directories(file_.substr(0, file_.rfind('/')), ignored);
    if (!loaded_) {
        // Not a cache of ours that could be read: it is made afresh.
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            ::unlink((file_ + suffix).c_str());
    }
    Database d;
    if (sqlite3_open_v2(file_.c_str(), &d.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        return false;
    // Another program writing the same cache holds us back for a while at most.
    sqlite3_busy_timeout(d.db, 2000);
    const std::string schema = "PRAGMA journal_mode=WAL;"
                               "CREATE TABLE IF NOT EXISTS probes (path TEXT PRIMARY KEY, device INTEGER, inode "
                               "INTEGER, size INTEGER, modified INTEGER, changed INTEGER, record BLOB) WITHOUT ROWID;"
                               "PRAGMA user_version=" +
                               std::to_string(Version) + ";";
    if (!d.exec(schema.c_str()) || !d.exec("BEGIN IMMEDIATE"))
        return false;
    {
        Statement insert(d.db, "INSERT OR REPLACE INTO probes VALUES (?, ?, ?, ?, ?, ?, ?)");
        Statement erase(d.db, "DELETE FROM probes WHERE path = ?");
        if (!insert.stmt || !erase.stmt) {
            d.exec("ROLLBACK");
            return false;
        }
        for (const auto& [path, e] : fresh_) {
            sqlite3_bind_text(insert.stmt, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
            sqlite3_bind_int64(insert.stmt, 2, static_cast<sqlite3_int64>(e.stamp.device));
            sqlite3_bind_int64(insert.stmt, 3, static_cast<sqlite3_int64>(e.stamp.inode));
            sqlite3_bind_int64(insert.stmt, 4, e.stamp.size);
            sqlite3_bind_int64(insert.stmt, 5, e.stamp.modifiedNs);
            sqlite3_bind_int64(insert.stmt, 6, e.stamp.changedNs);
            sqlite3_bind_blob(insert.stmt, 7, e.record.data(), static_cast<int>(e.record.size()), SQLITE_STATIC);
            if (sqlite3_step(insert.stmt) != SQLITE_DONE) {
                d.exec("ROLLBACK");
                return false;
            }
            sqlite3_reset(insert.stmt);
        }
        for (const std::string& path : gone) {
            sqlite3_bind_text(erase.stmt, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
            sqlite3_step(erase.stmt);
            sqlite3_reset(erase.stmt);
        }
    }
    if (!d.exec("COMMIT")) {
        d.exec("ROLLBACK");
        return false;
    }
    return true;
}

TrackProber cachedProber(TrackProber probe, ProbeCache& cache)
{
    return [probe = std::move(probe), &cache](const std::string& path) {
        const std::optional<FileStamp> before = stampOf(path);
        if (before) {
            if (std::optional<TrackProbe> hit = cache.find(path, *before))
                return std::move(*hit);
        }
        TrackProbe found = probe(path);
        // Only what was read from a file that stayed the same while it was read.
        if (before && stampOf(path) == before)
            cache.store(path, *before, found);
        return found;
    };
}

KnownProbe knownProbe(ProbeCache& cache)
{
    return [&cache](const std::string& path, const FileStamp& stamp) { return cache.find(path, stamp); };
}

} // namespace cantorel

namespace cantorel {

std::unique_ptr<ProbeCache> probeCacheFor(const Configuration& configuration, ProbeCache::Rows rows)
{
    const SettingsRecord& s = configuration.Settings;
    if (!s.ProbeCache)
        return nullptr;
    // What the probe finds depends on the tag code page and on reading ID3v2 tags.
    const std::string settings =
        "tags " + std::to_string(s.TAGCodePage ? s.OEMCodePage : s.ANSICodePage) + (s.ReadID3v2 ? " id3v2" : "");
    std::string file = ProbeCache::fileFor(s.MP3RootDir, settings);
    if (file.empty())
        return nullptr;
    return std::make_unique<ProbeCache>(std::move(file), rows);
}

} // namespace cantorel
