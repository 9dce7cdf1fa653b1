#include "info/TrackInfo.h"

#include "collection/CollectionItem.h"
#include "info/FrameHeader.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/SafeFileWriter.h"
#include "platform/TextRules.h"

#include <cerrno>
#include <cstring>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cantorel {

namespace {

// The first read covers an ID3v2 header and, usually, the whole first frame.
constexpr std::size_t StartRead = 4096;
constexpr std::size_t Id3v2HeaderSize = 10;

class FileHandle {
public:
    // Non-blocking, so that a FIFO in place of a track never hangs the open.
    FileHandle(const std::string& path, int flags) : fd_(::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK)) {}
    ~FileHandle()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return fd_; }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_;
};

bool readBlockAt(int fd, std::int64_t offset, TagBlock::Bytes& block)
{
    return fs::readAt(fd, block.data(), block.size(), offset) == block.size();
}

// Bytes of an ID3v2 tag at the start of the file (header, body and footer), 0 when
// there is none or its size points past the end of the file.
std::int64_t id3v2Size(std::string_view start, std::int64_t fileSize)
{
    if (start.size() < Id3v2HeaderSize || start.substr(0, 3) != "ID3")
        return 0;
    std::int64_t body = 0;
    for (std::size_t i = 6; i < 10; ++i) {
        const auto b = static_cast<unsigned char>(start[i]);
        if (b & 0x80)
            return 0;
        body = (body << 7) | b;
    }
    const bool footer = (static_cast<unsigned char>(start[5]) & 0x10) != 0;
    const std::int64_t size = static_cast<std::int64_t>(Id3v2HeaderSize) + body + (footer ? 10 : 0);
    return size + 4 <= fileSize ? size : 0;
}

std::string systemReason() { return std::strerror(errno); }

// A file we may not write (read-only, for a user other than root) keeps its mode: the new
// contents go to a copy beside it that replaces it whole, so a killed write leaves the
// old file as it was. True when the copy replaced the file read through `fd`.
bool replaceReadOnly(const std::string& path, int fd, const struct stat& st, std::int64_t position,
                     const TagBlock::Bytes& block)
{
    std::string data(static_cast<std::size_t>(position), '\0');
    if (fs::readAt(fd, data.data(), data.size(), 0) != data.size())
        return false;
    data.append(reinterpret_cast<const char*>(block.data()), block.size());
    const fs::FileState readAs{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    return fs::replaceFile(path, data, std::optional<fs::FileState>(readAs)).ok();
}

// Which fields of the record the tag's code page cannot hold, and their characters.
std::string unencodableFields(const CollectionItem& item, const CodePage& page)
{
    const std::pair<const char*, const std::string*> fields[] = {
        {"title", &item.Name}, {"artist", &item.Artist},   {"album", &item.Album},
        {"year", &item.Year},  {"comment", &item.Comment},
    };
    std::string message;
    for (const auto& [name, value] : fields) {
        if (const std::string missing = page.unencodable(*value); !missing.empty())
            message += std::string(message.empty() ? "" : "; ") + "the " + name + " holds " + missing;
    }
    return message;
}

} // namespace

TrackProbe ProbeTrack(const std::string& path, const CodePage& tagPage)
{
    TrackProbe probe;
    FileHandle file(path, O_RDONLY);
    struct stat st {};
    if (!file.ok() || ::fstat(file.fd(), &st) != 0) {
        probe.status = fail("cannot open the file: " + systemReason());
        return probe;
    }
    if (!S_ISREG(st.st_mode)) {
        probe.status = fail("not a regular file");
        return probe;
    }
    const std::int64_t fileSize = st.st_size;
    char buffer[StartRead];
    std::string_view start(buffer, fs::readAt(file.fd(), buffer, StartRead, 0));
    const std::int64_t skipped = id3v2Size(start, fileSize);
    if (skipped > 0) {
        if (skipped + 4 <= static_cast<std::int64_t>(start.size()))
            start.remove_prefix(static_cast<std::size_t>(skipped));
        else
            start = std::string_view(buffer, fs::readAt(file.fd(), buffer, StartRead, skipped));
    }
    if (start.size() < 4) {
        probe.status = fail("too short for a frame header");
        return probe;
    }
    const FrameHeader header(reinterpret_cast<const unsigned char*>(start.data()));
    // A tag that fills most of the first read leaves the frame cut short there: read the
    // frame whole, so that a Xing or VBRI header in it is found.
    if (start.data() != buffer && start.size() < header.frameLength())
        start = std::string_view(buffer, fs::readAt(file.fd(), buffer, StartRead, skipped));
    probe.headerRead = true;
    probe.Bitrate = header.bitrate();
    probe.Frequency = header.frequency();
    probe.FileSize = fileSize;
    if (probe.Bitrate == 0) {
        probe.status = fail("no MPEG audio frame header");
        return probe;
    }

    TagBlock::Bytes tail{};
    const bool tailRead = fileSize >= static_cast<std::int64_t>(TagBlock::Size) &&
                          readBlockAt(file.fd(), fileSize - TagBlock::Size, tail);
    const bool hasTag = tailRead && TagBlock::isTag(tail);

    // A Xing/Info or VBRI header counts the frames, which gives variable-rate files their
    // true playing time; otherwise the size at the first header's rate decides.
    const std::string_view frame = start.substr(0, std::max<std::size_t>(header.frameLength(), 4));
    const auto vbr = header.vbrInfo(frame);
    if (vbr && vbr->frames > 0 && probe.Frequency > 0) {
        const double seconds = double(vbr->frames) * header.samplesPerFrame() / probe.Frequency;
        probe.Duration = static_cast<std::int64_t>(seconds);
        // The counted frames follow the frame that carries the header.
        const std::int64_t stream = vbr->bytes > 0 ? vbr->bytes : fileSize - skipped - (hasTag ? TagBlock::Size : 0);
        const std::int64_t audio = stream - static_cast<std::int64_t>(header.frameLength());
        if (seconds > 0 && audio > 0)
            probe.Bitrate = static_cast<std::int32_t>(std::lround(double(audio) * 8.0 / seconds / 1000.0));
    } else {
        probe.Duration = static_cast<std::int64_t>(double(fileSize - skipped) / (probe.Bitrate * 1000.0 / 8.0));
    }
    if (!tailRead) {
        probe.status = fail("cannot read the end of the file");
        return probe;
    }
    if (hasTag)
        probe.tag = TagBlock::parse(tail, tagPage);
    return probe;
}

TrackProber trackProber(const CodePage& tagPage)
{
    return [&tagPage](const std::string& path) { return ProbeTrack(path, tagPage); };
}

bool ReadTrackInfo(CollectionItem& item, const CodePage& tagPage)
{
    const TrackProbe probe = ProbeTrack(item.Path, tagPage);
    applyProbe(item, probe);
    return probe.status.ok();
}

std::optional<TagBlock::Fields> readTagFields(const std::string& path, const CodePage& tagPage)
{
    FileHandle file(path, O_RDONLY);
    struct stat st {};
    if (!file.ok() || ::fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size < static_cast<off_t>(TagBlock::Size))
        return std::nullopt;
    TagBlock::Bytes tail{};
    if (!readBlockAt(file.fd(), st.st_size - TagBlock::Size, tail) || !TagBlock::isTag(tail))
        return std::nullopt;
    return TagBlock::parse(tail, tagPage);
}

Result<> WriteTag(const CollectionItem& item, const CodePage& tagPage,
                  const std::function<bool(const std::string&)>& isActiveTrack)
{
    if (isActiveTrack && isActiveTrack(item.Path))
        return fail("Unable to edit active track tag. ", ActiveTrackRefused);
    if (const std::string fields = unencodableFields(item, tagPage); !fields.empty())
        return fail("The tag was not saved: its code page " + std::to_string(tagPage.number()) +
                        " cannot hold these characters (" + fields + ").",
                    TagTextUnencodable);
    const Failure failed = fail("Unable to write the tag of " + item.Path);
    // Everything goes through the one descriptor checked here, never through the path
    // again: a file renamed over it meanwhile is not touched.
    FileHandle file(item.Path, O_RDWR);
    const bool inPlace = file.ok();
    FileHandle readOnly(inPlace ? std::string() : item.Path, O_RDONLY);
    const int fd = inPlace ? file.fd() : readOnly.fd();
    struct stat st {};
    TagBlock::Bytes old{};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < static_cast<off_t>(TagBlock::Size) ||
        !readBlockAt(fd, st.st_size - TagBlock::Size, old))
        return failed;
    const bool overwrite = TagBlock::isTag(old);
    const std::int64_t position = overwrite ? st.st_size - TagBlock::Size : st.st_size;
    const TagBlock::Fields fields{item.Name, item.Artist, item.Album, item.Year, item.Comment, item.Genre};
    const TagBlock::Bytes block = TagBlock::render(fields, tagPage, overwrite ? &old : nullptr);
    if (!inPlace)
        return replaceReadOnly(item.Path, fd, st, position, block) ? Result<>() : Result<>(failed);
    if (fs::writeAll(fd, block.data(), block.size(), position) && ::fsync(fd) == 0)
        return {};
    if (!overwrite)
        (void)::ftruncate(fd, st.st_size); // an append that failed leaves no partial block
    else
        (void)fs::writeAll(fd, old.data(), old.size(), position);
    return failed;
}

} // namespace cantorel
