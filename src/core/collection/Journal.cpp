#include "core/collection/Journal.h"

#include "core/platform/FileSystem.h"
#include "core/platform/SafeFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <optional>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cantorel {

namespace {

constexpr int Version = 2;
constexpr std::string_view UndoPrefix = "undo of ";

std::uint64_t hashOf(std::string_view bytes)
{
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (const char c : bytes)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

// The bytes of a file at an offset, nothing when they cannot all be read.
std::optional<std::string> bytesAt(const std::string& path, std::int64_t offset, std::int64_t count)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), '\0');
    const bool whole = fs::readAt(fd, bytes.data(), bytes.size(), offset) == bytes.size();
    ::close(fd);
    return whole ? std::optional<std::string>(std::move(bytes)) : std::nullopt;
}

std::optional<std::int64_t> sizeOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return st.st_size;
}

class Database {
public:
    ~Database()
    {
        if (db_)
            sqlite3_close_v2(db_);
    }
    // Opens the journal, made with its tables when it is new; only a regular file is opened.
    Result<> open(const std::string& file)
    {
        if (file.empty())
            return fail("there is no folder for the journal ($XDG_STATE_HOME or $HOME)");
        if (fs::kindOf(file) == fs::PathKind::Other)
            return fail(file + " is not a regular file");
        std::error_code ignored; // a folder that cannot be made fails the open below
        std::filesystem::create_directories(file.substr(0, file.rfind('/')), ignored);
        if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            return fail("cannot open " + file + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory"));
        sqlite3_busy_timeout(db_, 5000);
        const std::string schema =
            "CREATE TABLE IF NOT EXISTS saves (id INTEGER PRIMARY KEY AUTOINCREMENT, time INTEGER, what TEXT, "
            "collection BLOB, written INTEGER, undone INTEGER, bytes INTEGER);"
            "CREATE TABLE IF NOT EXISTS edits (save INTEGER, seq INTEGER, path BLOB, offset INTEGER, old BLOB, "
            "new_size INTEGER, new_hash INTEGER, size_after INTEGER, kind INTEGER DEFAULT 0, "
            "PRIMARY KEY (save, seq));";
        if (!exec(schema.c_str()) || !upgrade())
            return fail("cannot use " + file + ": " + sqlite3_errmsg(db_));
        return {};
    }
    bool exec(const char* sql) const { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    sqlite3* db() const { return db_; }

private:
    // A journal of version 1 had no kinds of edits: all its edits are regions.
    bool upgrade() const
    {
        sqlite3_stmt* q = nullptr;
        int version = 0;
        if (sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &q, nullptr) == SQLITE_OK &&
            sqlite3_step(q) == SQLITE_ROW)
            version = sqlite3_column_int(q, 0);
        sqlite3_finalize(q);
        if (version == 1 && !exec("ALTER TABLE edits ADD COLUMN kind INTEGER DEFAULT 0"))
            return false;
        return exec(("PRAGMA user_version=" + std::to_string(Version)).c_str());
    }

public:
private:
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    explicit operator bool() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }
    void bind(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
    void bind(int i, std::string_view v)
    {
        sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    bool step() { return sqlite3_step(stmt_) == SQLITE_ROW; }
    bool done() { return sqlite3_step(stmt_) == SQLITE_DONE; }
    std::int64_t integer(int c) const { return sqlite3_column_int64(stmt_, c); }
    std::string blob(int c) const
    {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, c));
        return data ? std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, c))) : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

struct StoredEdit {
    std::string path;
    std::int64_t offset;
    std::string old;
    std::int64_t newSize;
    std::uint64_t newHash;
    std::int64_t sizeAfter; // -1 until the save was written
    JournalEdit::Kind kind;
};

std::vector<StoredEdit> editsOf(sqlite3* db, std::int64_t save)
{
    Statement q(db, "SELECT path, offset, old, new_size, new_hash, size_after, kind FROM edits WHERE save = ? "
                    "ORDER BY seq");
    std::vector<StoredEdit> edits;
    if (!q)
        return edits;
    q.bind(1, save);
    while (q.step())
        edits.push_back({q.blob(0), q.integer(1), q.blob(2), q.integer(3), static_cast<std::uint64_t>(q.integer(4)),
                         q.integer(5), static_cast<JournalEdit::Kind>(q.integer(6))});
    return edits;
}

// Drops the oldest saves beyond the journal's bounds.
void trim(sqlite3* db, const Journal::Bounds& bounds)
{
    Statement oldest(db, "SELECT id FROM saves ORDER BY id DESC LIMIT -1 OFFSET ?");
    Statement total(db, "SELECT COALESCE(SUM(bytes), 0), MIN(id) FROM saves");
    Statement drop(db, "DELETE FROM saves WHERE id <= ?");
    Statement dropEdits(db, "DELETE FROM edits WHERE save NOT IN (SELECT id FROM saves)");
    if (!oldest || !total || !drop || !dropEdits)
        return;
    oldest.bind(1, bounds.saves);
    if (oldest.step()) {
        drop.bind(1, oldest.integer(0));
        (void)drop.done();
        sqlite3_reset(drop.get());
    }
    for (int guard = 0; guard < bounds.saves && total.step() && total.integer(0) > bounds.bytes; ++guard) {
        drop.bind(1, total.integer(1));
        (void)drop.done();
        sqlite3_reset(drop.get());
        sqlite3_reset(total.get());
    }
    (void)dropEdits.done();
}

// The edit that undoes `e`, when its file is as the save left it (for a save that was
// never written: as it was before, then an edit without a path, or as far as the save got
// in place); nothing when the file changed since.
std::optional<JournalEdit> reverseOf(const StoredEdit& e, bool wasWritten)
{
    using Kind = JournalEdit::Kind;
    const bool missing = fs::kindOf(e.path) == fs::PathKind::Missing;
    if (e.kind == Kind::RemovesFile) {
        if (missing)
            return JournalEdit{e.path, 0, {}, e.old, Kind::MakesFile};
        return wasWritten ? std::nullopt : std::optional<JournalEdit>(JournalEdit{});
    }
    if (e.kind == Kind::MakesFile && missing && !wasWritten)
        return JournalEdit{}; // the save never made it
    const std::optional<std::string> now = bytesAt(e.path, e.offset, e.newSize);
    const bool asLeft =
        now && hashOf(*now) == e.newHash && (!wasWritten || e.sizeAfter < 0 || sizeOf(e.path) == e.sizeAfter);
    if (asLeft && e.kind == Kind::MakesFile)
        return JournalEdit{e.path, 0, *now, {}, Kind::RemovesFile};
    if (asLeft)
        return JournalEdit{e.path, e.offset, *now, e.old, Kind::Region};
    const std::int64_t oldSize = static_cast<std::int64_t>(e.old.size());
    const std::optional<std::string> before = bytesAt(e.path, e.offset, oldSize);
    if (!wasWritten && before && *before == e.old)
        return JournalEdit{}; // the save never got to this file
    if (!wasWritten && e.kind == Kind::Region && oldSize == e.newSize && before)
        return JournalEdit{e.path, e.offset, *before, e.old, Kind::Region}; // a write cut short in place
    return std::nullopt;
}

// Carries out an edit of an undo.
Result<> apply(const JournalEdit& e)
{
    switch (e.kind) {
    case JournalEdit::Kind::RemovesFile: return ::unlink(e.path.c_str()) == 0 ? Result<>() : fail(std::strerror(errno));
    case JournalEdit::Kind::MakesFile:
        return fs::replaceFile(e.path, e.newBytes, std::optional<std::optional<fs::FileState>>(std::in_place));
    case JournalEdit::Kind::Region: break;
    }
    const Result<fs::FileState> put =
        fs::spliceFile(e.path, e.offset, static_cast<std::int64_t>(e.oldBytes.size()), e.newBytes);
    return put ? Result<>() : put.failure();
}

} // namespace

std::string Journal::defaultFile()
{
    const std::string folder = fs::userFolder(fs::UserFolder::State);
    return folder.empty() ? std::string() : folder + "journal.sqlite";
}

Result<std::int64_t> Journal::record(const std::string& what, const std::string& collection,
                                     const std::vector<JournalEdit>& edits)
{
    Database d;
    if (Result<> opened = d.open(file_); !opened)
        return opened.failure();
    if (!d.exec("BEGIN IMMEDIATE"))
        return fail(std::string("cannot write the journal: ") + sqlite3_errmsg(d.db()));
    std::int64_t bytes = 0;
    for (const JournalEdit& e : edits)
        bytes += static_cast<std::int64_t>(e.oldBytes.size());
    Statement save(d.db(),
                   "INSERT INTO saves (time, what, collection, written, undone, bytes) VALUES (?, ?, ?, 0, 0, ?)");
    Statement edit(d.db(), "INSERT INTO edits VALUES (?, ?, ?, ?, ?, ?, ?, -1, ?)");
    if (!save || !edit) {
        d.exec("ROLLBACK");
        return fail(std::string("cannot write the journal: ") + sqlite3_errmsg(d.db()));
    }
    save.bind(1, static_cast<std::int64_t>(std::time(nullptr)));
    save.bind(2, what);
    save.bind(3, collection);
    save.bind(4, bytes);
    bool stored = save.done();
    const std::int64_t number = sqlite3_last_insert_rowid(d.db());
    for (std::size_t i = 0; stored && i < edits.size(); ++i) {
        const JournalEdit& e = edits[i];
        edit.bind(1, number);
        edit.bind(2, static_cast<std::int64_t>(i));
        edit.bind(3, e.path);
        edit.bind(4, e.offset);
        edit.bind(5, e.oldBytes);
        edit.bind(6, static_cast<std::int64_t>(e.newBytes.size()));
        edit.bind(7, static_cast<std::int64_t>(hashOf(e.newBytes)));
        edit.bind(8, static_cast<std::int64_t>(e.kind));
        stored = edit.done();
        sqlite3_reset(edit.get());
    }
    if (stored)
        trim(d.db(), bounds_);
    if (!stored || !d.exec("COMMIT")) {
        const std::string error = sqlite3_errmsg(d.db());
        d.exec("ROLLBACK");
        return fail("cannot write the journal: " + error);
    }
    return number;
}

Result<> Journal::written(std::int64_t save)
{
    Database d;
    if (Result<> opened = d.open(file_); !opened)
        return opened;
    Statement mark(d.db(), "UPDATE saves SET written = 1 WHERE id = ?");
    Statement sizes(d.db(), "UPDATE edits SET size_after = ? WHERE save = ? AND seq = ?");
    if (!mark || !sizes)
        return fail(std::string("cannot write the journal: ") + sqlite3_errmsg(d.db()));
    const std::vector<StoredEdit> edits = editsOf(d.db(), save);
    for (std::size_t i = 0; i < edits.size(); ++i) {
        sizes.bind(1, sizeOf(edits[i].path).value_or(-1));
        sizes.bind(2, save);
        sizes.bind(3, static_cast<std::int64_t>(i));
        (void)sizes.done();
        sqlite3_reset(sizes.get());
    }
    mark.bind(1, save);
    return mark.done() ? Result<>() : fail(std::string("cannot write the journal: ") + sqlite3_errmsg(d.db()));
}

Result<std::vector<JournalEntry>> Journal::list(std::size_t count) const
{
    std::vector<JournalEntry> entries;
    if (fs::kindOf(file_) == fs::PathKind::Missing)
        return entries;
    Database d;
    if (Result<> opened = d.open(file_); !opened)
        return opened.failure();
    Statement q(d.db(), "SELECT id, time, what, collection, written FROM saves ORDER BY id DESC LIMIT ?");
    if (!q)
        return fail(std::string("cannot read the journal: ") + sqlite3_errmsg(d.db()));
    q.bind(1, static_cast<std::int64_t>(count));
    while (q.step()) {
        JournalEntry e{q.integer(0), q.integer(1), q.blob(2), q.blob(3), {}, q.integer(4) != 0};
        for (const StoredEdit& edit : editsOf(d.db(), e.number)) {
            if (std::find(e.files.begin(), e.files.end(), edit.path) == e.files.end())
                e.files.push_back(edit.path);
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

Result<std::int64_t> Journal::lastOf(const std::string& collection) const
{
    if (fs::kindOf(file_) == fs::PathKind::Missing)
        return std::int64_t{0};
    Database d;
    if (Result<> opened = d.open(file_); !opened)
        return opened.failure();
    Statement q(d.db(), "SELECT id, CAST(what AS TEXT), undone FROM saves WHERE collection = ? ORDER BY id");
    if (!q)
        return fail(std::string("cannot read the journal: ") + sqlite3_errmsg(d.db()));
    q.bind(1, collection);
    // A save puts something in, its undo takes it out, the undo of that puts it back (a
    // redo): an entry that is still in force and puts something in is what to undo.
    std::map<std::int64_t, bool> putsIn;
    std::int64_t last = 0;
    while (q.step()) {
        const std::int64_t id = q.integer(0);
        const std::string what = q.blob(1);
        bool in = true;
        if (what.starts_with(UndoPrefix)) {
            const auto target = putsIn.find(std::atoll(what.c_str() + UndoPrefix.size()));
            in = target != putsIn.end() && !target->second;
        }
        putsIn[id] = in;
        if (in && q.integer(2) == 0)
            last = id;
    }
    return last;
}

Result<std::int64_t> Journal::undo(std::int64_t number)
{
    std::vector<StoredEdit> edits;
    std::string collection;
    bool wasWritten = false;
    {
        Database d;
        if (Result<> opened = d.open(file_); !opened)
            return opened.failure();
        Statement q(d.db(), "SELECT collection, written FROM saves WHERE id = ?");
        if (!q)
            return fail(std::string("cannot read the journal: ") + sqlite3_errmsg(d.db()));
        q.bind(1, number);
        if (!q.step())
            return fail("there is no save " + std::to_string(number) + " in the journal");
        collection = q.blob(0);
        wasWritten = q.integer(1) != 0;
        edits = editsOf(d.db(), number);
    }
    // Each file must be as the save left it (or, for a save that was never written, as it
    // was before or as far as the save got in place).
    std::vector<JournalEdit> back;
    for (auto e = edits.rbegin(); e != edits.rend(); ++e) {
        const std::optional<JournalEdit> reverse = reverseOf(*e, wasWritten);
        if (!reverse)
            return fail(e->path + " changed since save " + std::to_string(number));
        if (!reverse->path.empty())
            back.push_back(*reverse);
    }
    const Result<std::int64_t> undoing = record(std::string(UndoPrefix) + std::to_string(number), collection, back);
    if (!undoing)
        return undoing;
    for (const JournalEdit& e : back) {
        if (const Result<> put = apply(e); !put)
            return fail("Unable to put back " + e.path + ": " + put.error());
    }
    (void)written(undoing.value());
    Database d;
    if (Result<> opened = d.open(file_); opened) {
        Statement mark(d.db(), "UPDATE saves SET undone = 1 WHERE id = ?");
        if (mark) {
            mark.bind(1, number);
            (void)mark.done();
        }
    }
    return undoing;
}

} // namespace cantorel
