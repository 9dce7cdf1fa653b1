#include "core/collection/ProbeRecord.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace cantorel {

namespace {

constexpr std::uint8_t Version = 3;
enum Flags : std::uint8_t {
    HeaderRead = 1,
    HasDuration = 2,
    HasTag = 4,
    HasExtended = 8,
    Failed = 16,
    Known = 31,
};

void putInt(std::string& out, std::int64_t value)
{
    char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<char>(static_cast<std::uint64_t>(value) >> (8 * i));
    out.append(bytes, 8);
}

void putText(std::string& out, const std::string& text)
{
    putInt(out, static_cast<std::int64_t>(text.size()));
    out += text;
}

void putTag(std::string& out, const TrackProbe::Tag& tag)
{
    for (const std::string* field : {&tag.title, &tag.artist, &tag.album, &tag.year, &tag.comment, &tag.genreText})
        putText(out, *field);
    out += static_cast<char>(tag.genre);
    putInt(out, tag.track);
    putText(out, tag.albumArtist);
    putInt(out, tag.trackTotal);
    putInt(out, tag.disc);
    putInt(out, tag.discTotal);
}

// Reads from the front of the bytes; any read past the end leaves it failed.
class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return rest_.empty(); }
    std::uint8_t byte()
    {
        if (!need(1))
            return 0;
        const auto b = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    std::int64_t integer()
    {
        if (!need(8))
            return 0;
        std::uint64_t value = 0;
        for (int i = 0; i < 8; ++i)
            value |= std::uint64_t{static_cast<std::uint8_t>(rest_[static_cast<std::size_t>(i)])} << (8 * i);
        rest_.remove_prefix(8);
        return static_cast<std::int64_t>(value);
    }
    std::int32_t int32()
    {
        const std::int64_t value = integer();
        if (value < INT32_MIN || value > INT32_MAX)
            ok_ = false;
        return ok_ ? static_cast<std::int32_t>(value) : 0;
    }
    std::string text()
    {
        const std::int64_t size = integer();
        if (size < 0)
            ok_ = false;
        if (!need(static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0))))
            return {};
        std::string value(rest_.substr(0, static_cast<std::size_t>(size)));
        rest_.remove_prefix(static_cast<std::size_t>(size));
        return value;
    }
    TrackProbe::Tag tag()
    {
        TrackProbe::Tag t;
        for (std::string* field : {&t.title, &t.artist, &t.album, &t.year, &t.comment, &t.genreText})
            *field = text();
        t.genre = byte();
        t.track = int32();
        t.albumArtist = text();
        t.trackTotal = int32();
        t.disc = int32();
        t.discTotal = int32();
        return t;
    }

private:
    bool need(std::uint64_t count)
    {
        ok_ = ok_ && count <= rest_.size();
        return ok_;
    }
    std::string_view rest_;
    bool ok_ = true;
};

} // namespace

std::string ProbeRecord::encode(const TrackProbe& probe)
{
    std::uint8_t flags = 0;
    flags |= probe.headerRead ? HeaderRead : 0;
    flags |= probe.Duration ? HasDuration : 0;
    flags |= probe.tag ? HasTag : 0;
    flags |= probe.extended ? HasExtended : 0;
    flags |= probe.status ? 0 : Failed;
    std::string out;
    out += static_cast<char>(Version);
    out += static_cast<char>(flags);
    putInt(out, probe.Bitrate);
    putInt(out, probe.Frequency);
    putInt(out, probe.Channels);
    putInt(out, probe.FileSize);
    if (probe.Duration)
        putInt(out, *probe.Duration);
    if (probe.tag)
        putTag(out, *probe.tag);
    if (probe.extended)
        putTag(out, *probe.extended);
    if (!probe.status) {
        putText(out, probe.status.failure().message);
        putInt(out, probe.status.failure().code);
    }
    return out;
}

std::optional<TrackProbe> ProbeRecord::decode(std::string_view bytes)
{
    Reader in(bytes);
    if (in.byte() != Version)
        return std::nullopt;
    const std::uint8_t flags = in.byte();
    if ((flags & ~Known) != 0)
        return std::nullopt;
    TrackProbe probe;
    probe.headerRead = (flags & HeaderRead) != 0;
    probe.Bitrate = in.int32();
    probe.Frequency = in.int32();
    probe.Channels = in.int32();
    probe.FileSize = in.integer();
    if (flags & HasDuration)
        probe.Duration = in.integer();
    if (flags & HasTag)
        probe.tag = in.tag();
    if (flags & HasExtended)
        probe.extended = in.tag();
    if (flags & Failed) {
        std::string message = in.text();
        const std::int32_t code = in.int32();
        probe.status = fail(std::move(message), code);
    }
    if (!in.ok() || !in.atEnd())
        return std::nullopt;
    return probe;
}

} // namespace cantorel
