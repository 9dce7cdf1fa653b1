#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cantorel {

// The path of a record, 8 bytes: the file system's bytes, whole. A tree may keep the path
// of a file as a link to its folder's path and the file's own name, both in its text pool,
// so that a folder's path is kept once for all its files: the whole path is then put
// together when it is read. A copy or a move of a path that lies in a pool owns the whole
// path in a block of its own, so that no path outlives the pool it points into.
class RecordPath {
public:
    RecordPath() = default;
    RecordPath(std::string_view whole) { assign(whole); }
    RecordPath(const std::string& whole) : RecordPath(std::string_view(whole)) {}
    RecordPath(const char* whole) : RecordPath(std::string_view(whole)) {}
    RecordPath(const RecordPath& other);
    RecordPath(RecordPath&& other) noexcept;
    ~RecordPath() { release(); }
    RecordPath& operator=(const RecordPath& other);
    RecordPath& operator=(RecordPath&& other) noexcept;
    RecordPath& operator=(std::string_view whole);
    RecordPath& operator=(const std::string& whole) { return *this = std::string_view(whole); }
    RecordPath& operator=(const char* whole) { return *this = std::string_view(whole); }

    // Makes this path read `kept`, a whole path that a TextPool keeps, which must outlive
    // the path (a path longer than CompactString::BorrowLimit is copied).
    void borrow(std::string_view kept);
    // Sets `out` to what a TextPool keeps for the path of the entry `name` of the folder
    // whose whole path is `folder` (wholeText() of a borrowed path of the same pool): the
    // folder's address and length, then the name.
    static void linkText(std::string& out, std::string_view folder, std::string_view name);
    // Makes this path read `kept`, a linkText() that a TextPool keeps.
    void borrowLink(std::string_view kept);

    std::string str() const;
    operator std::string() const { return str(); }
    void appendTo(std::string& out) const;
    std::size_t size() const;
    bool empty() const { return bits_ == 0; }
    // True when the path lies in a pool, whole or linked.
    bool borrowed() const { return (bits_ & (BorrowBit | LinkBit)) != 0; }
    bool linked() const { return (bits_ & LinkBit) != 0; }
    // The whole path, for a path that is not linked; "" for a linked one.
    std::string_view wholeText() const;
    // The whole path of the folder a linked path continues; "" for a path kept whole.
    std::string_view folderText() const;
    // The last part of the path, after its last "/".
    std::string_view fileName() const;

    friend bool operator==(const RecordPath& a, std::string_view b);
    friend bool operator==(const RecordPath& a, const std::string& b) { return a == std::string_view(b); }
    friend bool operator==(const RecordPath& a, const char* b) { return a == std::string_view(b); }
    friend bool operator==(const RecordPath& a, const RecordPath& b);
    friend std::string operator+(const RecordPath& a, std::string_view b) { return a.str().append(b); }
    friend std::string operator+(const RecordPath& a, const char* b) { return a.str().append(b); }
    friend std::string operator+(const RecordPath& a, char b) { return a.str() + b; }
    friend std::string operator+(const std::string& a, const RecordPath& b) { return a + b.str(); }
    friend std::string operator+(const char* a, const RecordPath& b) { return a + b.str(); }

private:
    // A path in three pieces: `head`, then a "/" when `slash`, then `tail`.
    struct Parts {
        std::string_view head;
        bool slash = false;
        std::string_view tail;
    };
    Parts parts() const;
    // The text of the block or pool: a whole path, or a link (the slice of the folder's
    // text, then the name).
    std::string_view blockText() const;
    void assign(std::string_view whole);
    void release();

    // 0: empty. With BorrowBit, the CompactString::slice() of a whole path in a pool;
    // with LinkBit, the slice of a link in a pool. With neither, the address of a block
    // of its own (CompactString::newBlock) that holds the whole path.
    static constexpr std::uintptr_t BorrowBit = 1;
    static constexpr std::uintptr_t LinkBit = 2;
    std::uintptr_t bits_ = 0;
};

} // namespace cantorel
