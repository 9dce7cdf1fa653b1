#pragma once

#include "core/platform/Result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cantorel {

// One region of a file that a save replaces: the bytes that stood at `offset` before and
// those that stand there after. A save may also make a whole file that was not there, or
// take one away.
struct JournalEdit {
    enum class Kind { Region, MakesFile, RemovesFile };
    std::string path;
    std::int64_t offset = 0;
    std::string oldBytes;
    std::string newBytes;
    Kind kind = Kind::Region;
};

// A save as the journal lists it.
struct JournalEntry {
    std::int64_t number = 0;
    std::int64_t time = 0; // seconds since the epoch
    std::string what;      // "tag", "description", "undo of N"
    std::string collection;
    std::vector<std::string> files;
    bool written = false; // false: the save was recorded, and the program ended before it was written
};

// How much a journal keeps: the last `saves` saves, and at most `bytes` of old bytes.
struct JournalBounds {
    int saves = 1000;
    std::int64_t bytes = 256LL << 20;
};

// The saves of tags and description files, kept in an SQLite file under
// $XDG_STATE_HOME/cantorel/ before each save writes, so that a save can be undone, also
// after a restart, and one killed while it wrote can be put back. It holds the last
// MaxSaves saves and at most MaxBytes of old bytes; older ones are dropped.
class Journal {
public:
    static constexpr int MaxSaves = JournalBounds{}.saves;
    static constexpr std::int64_t MaxBytes = JournalBounds{}.bytes;
    using Bounds = JournalBounds;

    explicit Journal(std::string file, Bounds bounds = {}) : file_(std::move(file)), bounds_(bounds) {}
    // The journal of this user ($XDG_STATE_HOME, else ~/.local/state); "" without either.
    static std::string defaultFile();

    // Keeps what a save is about to replace, in one transaction; the save's number.
    Result<std::int64_t> record(const std::string& what, const std::string& collection,
                                const std::vector<JournalEdit>& edits);
    // The save is written: what it left in its files is noted, so that an undo can tell
    // whether they changed since.
    Result<> written(std::int64_t save);

    // The saves, newest first, at most `count`.
    Result<std::vector<JournalEntry>> list(std::size_t count) const;
    // Puts back what save `number` replaced, when every file is still as that save left it
    // (a save that was never written: as it was before or as far as it got). The undo is
    // itself a save (so undoing it again redoes); its number.
    Result<std::int64_t> undo(std::int64_t number);
    // The newest entry of `collection` still in force that puts something in (a save, or the
    // undo of an undo); 0 for none.
    Result<std::int64_t> lastOf(const std::string& collection) const;

    const std::string& file() const { return file_; }

private:
    std::string file_;
    Bounds bounds_;
};

} // namespace cantorel
