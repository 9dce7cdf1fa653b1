#include "core/info/TrackInfo.h"

#include "core/collection/CollectionItem.h"
#include "core/info/ExtendedTags.h"
#include "core/info/FrameHeader.h"
#include "core/platform/ByteSource.h"
#include "core/platform/CodePage.h"
#include "core/platform/FileSystem.h"
#include "core/platform/SafeFileWriter.h"
#include "core/platform/TextRules.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cantorel {

namespace {

// The first read covers an ID3v2 header and, usually, the whole first frame.
constexpr std::size_t StartRead = 4096;
constexpr std::size_t Id3v2HeaderSize = 10;
// How far the probe looks for a first frame that is not where it should be, the longest
// frame there is, the most of a tag it reads, and the end it reads for ID3v1 and APE.
constexpr std::size_t SearchWindow = 64 * 1024;
constexpr std::size_t MaxFrameLength = 2881;
constexpr std::size_t MaxTagRead = 64 * 1024 * 1024;
constexpr std::size_t ExtendedTail = TagBlock::Size + 32;

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

// The whole file with a new ID3v1 block and an ID3v2 tag of `fields`: a copy is made,
// edited and renamed over the file read through `fd`, so that a killed or failed write
// leaves the old file as it was.
bool rewriteWithId3v2(const std::string& path, int fd, const struct stat& st, std::int64_t position,
                      const TagBlock::Bytes& block, const TagBlock::Fields& fields)
{
    std::string data(static_cast<std::size_t>(position), '\0');
    if (fs::readAt(fd, data.data(), data.size(), 0) != data.size())
        return false;
    data.append(reinterpret_cast<const char*>(block.data()), block.size());
    const fs::FileState readAs{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    return fs::replaceFile(path, data, std::optional<fs::FileState>(readAs),
                           [&](const std::string& copy) { return ExtendedTags::write(copy, fields); })
        .ok();
}

// Which fields of the record the tag's code page cannot hold, and their characters.
std::string unencodableFields(const CollectionItem& item, const CodePage& codePage)
{
    const std::pair<const char*, const CompactString*> fields[] = {
        {"title", &item.Name}, {"artist", &item.Artist},   {"album", &item.Album},
        {"year", &item.Year},  {"comment", &item.Comment},
    };
    std::string message;
    for (const auto& [name, value] : fields) {
        if (const std::string missing = codePage.unencodable(*value); !missing.empty())
            message += std::string(message.empty() ? "" : "; ") + "the " + name + " holds " + missing;
    }
    return message;
}

// A frame header that can start audio: the sync bits, a known version, layer, bit rate
// (not free format) and sampling frequency.
bool validHeader(const unsigned char* b)
{
    return b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 && (b[1] & 0x18) != 0x08 && (b[1] & 0x06) != 0 &&
           (b[2] & 0xF0) != 0xF0 && (b[2] & 0xF0) != 0 && (b[2] & 0x0C) != 0x0C;
}

// The same stream: version, layer and sampling frequency agree.
bool sameStream(const unsigned char* a, const unsigned char* b)
{
    return (a[1] & 0x1E) == (b[1] & 0x1E) && (a[2] & 0x0C) == (b[2] & 0x0C);
}

std::string readRange(int fd, std::int64_t offset, std::size_t size)
{
    std::string bytes(size, '\0');
    bytes.resize(fs::readAt(fd, bytes.data(), size, offset));
    return bytes;
}

// Where the audio starts, as other readers find it: after further ID3v2 tags (faulty
// taggers write two), at the frame header there, else at the first header within 64 KB
// that the next frame's header confirms; `at` itself when none is found.
struct FirstFrame {
    std::int64_t position;
    bool searched; // found past bytes that were no frame header
};

FirstFrame firstFrame(const ByteSource& file, std::string_view firstRead, std::int64_t at, std::int64_t fileSize)
{
    // The bytes at an offset, from the first read when it holds them (a clean file needs no
    // other read).
    const auto bytesAt = [&](std::int64_t offset, std::size_t count) {
        if (offset + static_cast<std::int64_t>(count) <= static_cast<std::int64_t>(firstRead.size()))
            return std::string(firstRead.substr(static_cast<std::size_t>(offset), count));
        return file.read(offset, count);
    };
    std::int64_t position = at;
    for (int tags = 0; tags < 8; ++tags) {
        const std::int64_t size = id3v2Size(bytesAt(position, Id3v2HeaderSize), fileSize - position);
        if (size == 0)
            break;
        position += size;
    }
    const std::string head = bytesAt(position, 4);
    if (head.size() == 4 && validHeader(reinterpret_cast<const unsigned char*>(head.data())))
        return {position, false};
    const std::string window = file.read(position, SearchWindow + MaxFrameLength + 4);
    const auto* bytes = reinterpret_cast<const unsigned char*>(window.data());
    for (std::size_t o = 1; o + 4 <= window.size() && o <= SearchWindow; ++o) {
        if (!validHeader(bytes + o))
            continue;
        const std::size_t next = o + FrameHeader(bytes + o).frameLength();
        if (next > o + 4 && next + 4 <= window.size() && validHeader(bytes + next) &&
            sameStream(bytes + o, bytes + next))
            return {position + static_cast<std::int64_t>(o), true};
    }
    return {at, false};
}

// The APE tag that ends where the ID3v1 block (or the file) begins, as bytes.
std::string apeTagOf(const ByteSource& file, std::string_view tail, bool hasV1, std::int64_t fileSize)
{
    const std::size_t footerEnd = tail.size() - (hasV1 ? TagBlock::Size : 0);
    if (footerEnd < 32)
        return {};
    const std::size_t size = ExtendedTags::apeTagSize(tail.substr(0, footerEnd));
    const std::int64_t end = fileSize - static_cast<std::int64_t>(tail.size() - footerEnd);
    if (size == 0 || size > MaxTagRead || static_cast<std::int64_t>(size) > end)
        return {};
    return file.read(end - static_cast<std::int64_t>(size), size);
}

} // namespace

TrackProbe ProbeTrack(const std::string& path, const CodePage& tagCodePage, bool extended)
{
    FileHandle file(path, O_RDONLY);
    struct stat st {};
    if (!file.ok() || ::fstat(file.fd(), &st) != 0) {
        TrackProbe probe;
        probe.status = fail("cannot open the file: " + systemReason());
        return probe;
    }
    if (!S_ISREG(st.st_mode)) {
        TrackProbe probe;
        probe.status = fail("not a regular file");
        return probe;
    }
    return ProbeTrack(FileSource(file.fd(), st.st_size), tagCodePage, extended);
}

TrackProbe ProbeTrack(const ByteSource& file, const CodePage& tagCodePage, bool extended)
{
    TrackProbe probe;
    const std::int64_t fileSize = file.size();
    char buffer[StartRead];
    std::string_view start(buffer, file.readAt(buffer, StartRead, 0));
    const std::int64_t firstTag = id3v2Size(start, fileSize);
    std::string id3v2;
    std::int64_t skipped = firstTag;
    bool searched = false;
    if (extended) {
        if (firstTag > 0)
            id3v2 = file.read(0, std::min<std::size_t>(static_cast<std::size_t>(firstTag), MaxTagRead));
        const FirstFrame found = firstFrame(file, start, firstTag, fileSize);
        skipped = found.position;
        searched = found.searched;
    }
    if (skipped > 0) {
        if (skipped + 4 <= static_cast<std::int64_t>(start.size()))
            start.remove_prefix(static_cast<std::size_t>(skipped));
        else
            start = std::string_view(buffer, file.readAt(buffer, StartRead, skipped));
    }
    if (start.size() < 4) {
        probe.status = fail("too short for a frame header");
        return probe;
    }
    const FrameHeader header(reinterpret_cast<const unsigned char*>(start.data()));
    // A tag that fills most of the first read leaves the frame cut short there: read the
    // frame whole, so that a Xing or VBRI header in it is found.
    if (start.data() != buffer && start.size() < header.frameLength())
        start = std::string_view(buffer, file.readAt(buffer, StartRead, skipped));
    probe.headerRead = true;
    probe.Bitrate = header.bitrate();
    probe.Frequency = header.frequency();
    probe.FileSize = fileSize;
    if (probe.Bitrate == 0) {
        probe.status = fail("no MPEG audio frame header");
        return probe;
    }

    // The end of the file in one read: the ID3v1 block, and before it an APE tag's footer.
    TagBlock::Bytes tail{};
    const std::size_t tailSize =
        extended ? static_cast<std::size_t>(std::min<std::int64_t>(fileSize, ExtendedTail)) : TagBlock::Size;
    const std::string end = fileSize >= static_cast<std::int64_t>(TagBlock::Size)
                                ? file.read(fileSize - static_cast<std::int64_t>(tailSize), tailSize)
                                : std::string();
    const bool tailRead = end.size() == tailSize && end.size() >= TagBlock::Size;
    if (tailRead)
        std::memcpy(tail.data(), end.data() + end.size() - TagBlock::Size, TagBlock::Size);
    const bool hasTag = tailRead && TagBlock::isTag(tail);
    if (extended) {
        const std::string ape = tailRead ? apeTagOf(file, end, hasTag, fileSize) : std::string();
        if (!id3v2.empty() || !ape.empty())
            probe.extended = ExtendedTags::read(id3v2, ape);
    }

    // A Xing/Info or VBRI header counts the frames, which gives variable-rate files their
    // true playing time; otherwise the size at the first header's rate decides.
    const std::string_view frame = start.substr(0, std::max<std::size_t>(header.frameLength(), 4));
    // A frame found by searching past garbage is audio, not the stream's Xing/VBRI header:
    // other readers look for that header only where the audio should start.
    const auto vbr = searched ? std::nullopt : header.vbrInfo(frame);
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
    if (hasTag) {
        probe.tag = TagBlock::parse(tail, tagCodePage);
        if (!extended)
            probe.tag->track = 0; // the ID3v1-only reading knows no track numbers
    }
    return probe;
}

TrackProber trackProber(const CodePage& tagCodePage, bool extended)
{
    return [&tagCodePage, extended](const std::string& path) { return ProbeTrack(path, tagCodePage, extended); };
}

Result<> ReadTrackInfo(CollectionItem& item, const CodePage& tagCodePage, bool extended)
{
    const TrackProbe probe = ProbeTrack(item.Path, tagCodePage, extended);
    applyProbe(item, probe);
    return probe.status;
}

std::optional<TagBlock::Fields> readTagFields(const std::string& path, const CodePage& tagCodePage)
{
    FileHandle file(path, O_RDONLY);
    struct stat st {};
    if (!file.ok() || ::fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size < static_cast<off_t>(TagBlock::Size))
        return std::nullopt;
    TagBlock::Bytes tail{};
    if (!readBlockAt(file.fd(), st.st_size - TagBlock::Size, tail) || !TagBlock::isTag(tail))
        return std::nullopt;
    return TagBlock::parse(tail, tagCodePage);
}

Result<> WriteTag(const CollectionItem& item, const CodePage& tagCodePage,
                  const std::function<bool(const std::string&)>& isActiveTrack, bool extended)
{
    if (isActiveTrack && isActiveTrack(item.Path))
        return fail("Unable to edit active track tag. ", ActiveTrackRefused);
    const std::string unencodable = unencodableFields(item, tagCodePage);
    if (!unencodable.empty() && !extended)
        return fail("The tag was not saved: its code page " + std::to_string(tagCodePage.number()) +
                        " cannot hold these characters (" + unencodable + ").",
                    TagTextUnencodable);
    const Failure failed = fail("Unable to write the tag of " + item.Path);
    // Everything goes through the one descriptor checked here, never through the path
    // again: a file renamed over it meanwhile is not touched.
    FileHandle file(item.Path, O_RDWR);
    const bool writable = file.ok();
    FileHandle readOnly(writable ? std::string() : item.Path.str(), O_RDONLY);
    const int fd = writable ? file.fd() : readOnly.fd();
    struct stat st {};
    TagBlock::Bytes old{};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < static_cast<off_t>(TagBlock::Size) ||
        !readBlockAt(fd, st.st_size - TagBlock::Size, old))
        return failed;
    const bool overwrite = TagBlock::isTag(old);
    const std::int64_t position = overwrite ? st.st_size - TagBlock::Size : st.st_size;
    TagBlock::Fields fields{item.Name, item.Artist, item.Album, item.Year, item.Comment, item.Genre, item.GenreText, 0};
    const bool hasId3v2 = extended && id3v2Size(readRange(fd, 0, Id3v2HeaderSize), st.st_size) > 0;
    if (hasId3v2 || !unencodable.empty()) {
        // The ID3v2 tag gets every text whole; the ID3v1 block what its page holds (a
        // text it cannot hold keeps what the block had).
        const TagBlock::Fields previous = overwrite ? TagBlock::parse(old, tagCodePage) : TagBlock::Fields{};
        TagBlock::Fields v1 = fields;
        for (auto [field, kept] : {std::pair{&v1.title, &previous.title},
                                   {&v1.artist, &previous.artist},
                                   {&v1.album, &previous.album},
                                   {&v1.year, &previous.year},
                                   {&v1.comment, &previous.comment}}) {
            if (!tagCodePage.canEncode(*field))
                *field = *kept;
        }
        return rewriteWithId3v2(item.Path, fd, st, position,
                                TagBlock::render(v1, tagCodePage, overwrite ? &old : nullptr), fields)
                   ? Result<>()
                   : Result<>(failed);
    }
    const TagBlock::Bytes block = TagBlock::render(fields, tagCodePage, overwrite ? &old : nullptr);
    if (!writable)
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
