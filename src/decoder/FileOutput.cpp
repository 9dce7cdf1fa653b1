#include "decoder/FileOutput.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

namespace cantorel::mpeg {

namespace {

void put16(unsigned char* at, std::uint32_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void put32(unsigned char* at, std::uint32_t value)
{
    put16(at, value & 0xFFFF);
    put16(at + 2, value >> 16);
}

bool writeAll(int fd, const unsigned char* data, std::size_t bytes)
{
    while (bytes > 0) {
        const ssize_t n = ::write(fd, data, bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool FileOutput::open(long rate, int channels)
{
    if (fd_ >= 0)
        return hasFormat(rate, channels);
    if (created_) {
        // One file holds one format.
        if (rate != fileRate_ || channels != fileChannels_)
            return false;
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0 || ::lseek(fd_, 0, SEEK_END) < 0) {
            close();
            return false;
        }
    } else {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            return false;
        created_ = true;
        fileRate_ = rate;
        fileChannels_ = channels;
        wav_ = path_.size() >= 4 && strcasecmp(path_.c_str() + path_.size() - 4, ".wav") == 0;
    }
    rate_ = rate;
    channels_ = channels;
    if (wav_ && dataBytes_ == 0 && !writeHeader()) {
        close();
        return false;
    }
    return true;
}

bool FileOutput::writeHeader()
{
    // RIFF sizes stop at 4 GiB; a longer file keeps the largest size the header can say.
    const auto data = static_cast<std::uint32_t>(std::min<std::uint64_t>(dataBytes_, 0xFFFFFFFFu - 36));
    std::array<unsigned char, 44> h{};
    std::memcpy(h.data(), "RIFF", 4);
    put32(h.data() + 4, 36 + data);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put32(h.data() + 16, 16);
    put16(h.data() + 20, 1); // PCM
    put16(h.data() + 22, static_cast<std::uint32_t>(fileChannels_));
    put32(h.data() + 24, static_cast<std::uint32_t>(fileRate_));
    put32(h.data() + 28, static_cast<std::uint32_t>(fileRate_) * 2 * static_cast<std::uint32_t>(fileChannels_));
    put16(h.data() + 32, 2 * static_cast<std::uint32_t>(fileChannels_));
    put16(h.data() + 34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    put32(h.data() + 40, data);
    return ::pwrite(fd_, h.data(), h.size(), 0) == static_cast<ssize_t>(h.size()) && ::lseek(fd_, 0, SEEK_END) >= 0;
}

bool FileOutput::write(const unsigned char* data, std::size_t bytes)
{
    if (fd_ < 0 || !writeAll(fd_, data, bytes))
        return false;
    dataBytes_ += bytes;
    return true;
}

bool FileOutput::finish() { return fd_ < 0 || !wav_ || writeHeader(); }

void FileOutput::close()
{
    if (fd_ >= 0) {
        (void)finish(); // a failure here was already reported by the finish of the stream
        ::close(fd_);
    }
    fd_ = -1;
    rate_ = 0;
    channels_ = 0;
}

} // namespace cantorel::mpeg
