#include "core/info/TrackInfo.h"

#include "core/collection/CollectionItem.h"
#include "core/info/ApeTag.h"
#include "core/info/ExtendedTags.h"
#include "core/info/FrameHeader.h"
#include "core/info/Id3v2Tag.h"
#include "core/platform/ByteSource.h"
#include "core/platform/CodePage.h"
#include "core/platform/FileSystem.h"
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
constexpr std::size_t ExtendedTail = TagBlock::Size + 32;
// What a frame's Xing or VBRI header takes at most from the frame's start.
constexpr std::size_t VbrHeaderBytes = 64;

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

// Bytes of an ID3v2 tag at the start of the file (header, body and footer), 0 when
// there is none or its size points past the end of the file.
std::int64_t id3v2Size(std::string_view start, std::int64_t fileSize)
{
    const std::int64_t size = Id3v2Tag::sizeOf(start);
    return size + 4 <= fileSize ? size : 0;
}

std::string systemReason() { return std::strerror(errno); }

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

// The first bytes of the file and, when the tags pass them, a read of the same size where
// the audio should start: between them the bytes a clean file's probe needs.
class StartReads {
public:
    explicit StartReads(const ByteSource& file) : file_(file)
    {
        first_ = std::string_view(firstBuffer_, file.readAt(firstBuffer_, StartRead, 0));
    }
    std::string_view first() const { return first_; }
    // `count` bytes at `offset` (fewer at the end of the file), from one of the two reads,
    // making the second one there when neither holds them.
    std::string_view at(std::int64_t offset, std::size_t count)
    {
        if (const std::string_view held = within(first_, 0, offset, count); held.data())
            return held;
        if (const std::string_view held = within(second_, secondAt_, offset, count); held.data())
            return held;
        if (count > StartRead)
            return {};
        secondAt_ = offset;
        second_ = std::string_view(secondBuffer_, file_.readAt(secondBuffer_, StartRead, offset));
        return second_.substr(0, std::min(count, second_.size()));
    }

private:
    // The bytes of `read` (made at `readAt`) that answer the request; a null view when it
    // does not hold them all (nor does the file).
    std::string_view within(std::string_view read, std::int64_t readAt, std::int64_t offset, std::size_t count) const
    {
        const std::int64_t end = std::min(offset + static_cast<std::int64_t>(count), file_.size());
        if (read.data() == nullptr || offset < readAt || end > readAt + static_cast<std::int64_t>(read.size()))
            return {};
        return read.substr(static_cast<std::size_t>(offset - readAt),
                           static_cast<std::size_t>(std::max<std::int64_t>(end - offset, 0)));
    }

    const ByteSource& file_;
    char firstBuffer_[StartRead];
    char secondBuffer_[StartRead];
    std::string_view first_;
    std::string_view second_;
    std::int64_t secondAt_ = -1;
};

// Where the audio starts, as other readers find it: after further ID3v2 tags (faulty
// taggers write two), at the frame header there, else at the first header within 64 KB
// that the next frame's header confirms; `at` itself when none is found.
struct FirstFrame {
    std::int64_t position;
    bool searched; // found past bytes that were no frame header
};

FirstFrame firstFrame(const ByteSource& file, StartReads& reads, std::int64_t at, std::int64_t fileSize)
{
    std::int64_t position = at;
    for (int tags = 0; tags < 8; ++tags) {
        const std::int64_t size = id3v2Size(reads.at(position, Id3v2HeaderSize), fileSize - position);
        if (size == 0)
            break;
        position += size;
    }
    const std::string_view head = reads.at(position, 4);
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

// Where the footer of an APE tag ends: where the ID3v1 block (or the file) begins, when
// an APE footer stands there; -1 when none does.
std::int64_t apeFooterEnd(std::string_view tail, bool hasV1, std::int64_t fileSize)
{
    const std::size_t footerEnd = tail.size() - (hasV1 ? TagBlock::Size : 0);
    if (footerEnd < ApeTag::FooterSize || ApeTag::sizeOf(tail.substr(0, footerEnd)) == 0)
        return -1;
    return fileSize - static_cast<std::int64_t>(tail.size() - footerEnd);
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
    StartReads reads(file);
    // The first bytes serve every later read within them.
    const SourceWithStart source(file, reads.first());
    const std::int64_t firstTag = id3v2Size(reads.first(), fileSize);
    std::int64_t skipped = firstTag;
    bool searched = false;
    if (extended) {
        const FirstFrame found = firstFrame(source, reads, firstTag, fileSize);
        skipped = found.position;
        searched = found.searched;
    }
    const std::string_view head = reads.at(skipped, 4);
    if (head.size() < 4) {
        probe.status = fail("too short for a frame header");
        return probe;
    }
    const FrameHeader header(reinterpret_cast<const unsigned char*>(head.data()));
    // Of the first frame, what a Xing or VBRI header in it may take.
    const std::string_view frame =
        reads.at(skipped, std::max<std::size_t>(std::min<std::size_t>(header.frameLength(), VbrHeaderBytes), 4));
    probe.headerRead = true;
    probe.Bitrate = header.bitrate();
    probe.Frequency = header.frequency();
    probe.Channels = header.mono() ? 1 : 2;
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
    if (extended)
        probe.extended = ExtendedTags::read(source, tailRead ? apeFooterEnd(end, hasTag, fileSize) : -1);

    // A Xing/Info or VBRI header counts the frames, which gives variable-rate files their
    // true playing time; otherwise the size at the first header's rate decides.
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

Result<> WriteTag(const CollectionItem& item, const CodePage& tagCodePage,
                  const std::function<bool(const std::string&)>& isActiveTrack, bool extended)
{
    TagWriteOptions options(tagCodePage);
    options.extended = extended;
    options.isActiveTrack = isActiveTrack;
    return TagWriter::save(item.Path, TagChange::allOf(item), options);
}

} // namespace cantorel
