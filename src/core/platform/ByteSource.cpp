#include "core/platform/ByteSource.h"

#include "core/platform/FileSystem.h"

#include <algorithm>
#include <cstring>

namespace cantorel {

std::string ByteSource::read(std::int64_t offset, std::size_t count) const
{
    std::string bytes(count, '\0');
    bytes.resize(readAt(bytes.data(), count, offset));
    return bytes;
}

std::size_t FileSource::readAt(void* buffer, std::size_t count, std::int64_t offset) const
{
    return offset < 0 ? 0 : fs::readAt(fd_, buffer, count, offset);
}

std::size_t SourceWithStart::readAt(void* buffer, std::size_t count, std::int64_t offset) const
{
    if (offset >= 0 && offset + static_cast<std::int64_t>(count) <= static_cast<std::int64_t>(start_.size())) {
        std::memcpy(buffer, start_.data() + offset, count);
        return count;
    }
    return source_.readAt(buffer, count, offset);
}

std::size_t MemorySource::readAt(void* buffer, std::size_t count, std::int64_t offset) const
{
    if (offset < 0 || offset >= size())
        return 0;
    const std::size_t n = std::min(count, bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer, bytes_.data() + offset, n);
    return n;
}

} // namespace cantorel
