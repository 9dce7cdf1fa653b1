#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cantorel {

// Bytes a parser reads at offsets: an open file, or bytes in memory, so that a parser of
// files can be tested and fuzzed without writing any.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::int64_t size() const = 0;
    // Reads up to `count` bytes at `offset`; the number read (fewer at the end).
    virtual std::size_t readAt(void* buffer, std::size_t count, std::int64_t offset) const = 0;
    // Up to `count` bytes at `offset`.
    std::string read(std::int64_t offset, std::size_t count) const;
};

// A file open for reading; the descriptor stays its owner's.
class FileSource : public ByteSource {
public:
    FileSource(int fd, std::int64_t size) : fd_(fd), size_(size) {}
    std::int64_t size() const override { return size_; }
    std::size_t readAt(void* buffer, std::size_t count, std::int64_t offset) const override;

private:
    int fd_;
    std::int64_t size_;
};

// Another source whose first bytes were read already: reads within them take no call.
class SourceWithStart : public ByteSource {
public:
    SourceWithStart(const ByteSource& source, std::string_view start) : source_(source), start_(start) {}
    std::int64_t size() const override { return source_.size(); }
    std::size_t readAt(void* buffer, std::size_t count, std::int64_t offset) const override;

private:
    const ByteSource& source_;
    std::string_view start_;
};

// Bytes that outlive the source.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    std::size_t readAt(void* buffer, std::size_t count, std::int64_t offset) const override;

private:
    std::string_view bytes_;
};

} // namespace cantorel
