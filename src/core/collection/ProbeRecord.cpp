#include "core/collection/ProbeRecord.h"

#include "core/platform/PackedBytes.h"

#include <cstdint>
#include <cstring>

namespace cantorel {

namespace {

constexpr std::uint8_t Version = 4; // 4: packed numbers
enum Flags : std::uint8_t {
    HeaderRead = 1,
    HasDuration = 2,
    HasTag = 4,
    HasExtended = 8,
    Failed = 16,
    Known = 31,
};

void putTag(PackedWriter& out, const TrackProbe::Tag& tag)
{
    for (const std::string* field : {&tag.title, &tag.artist, &tag.album, &tag.year, &tag.comment, &tag.genreText})
        out.text(*field);
    out.byte(tag.genre);
    out.integer(tag.track);
    out.text(tag.albumArtist);
    out.integer(tag.trackTotal);
    out.integer(tag.disc);
    out.integer(tag.discTotal);
}

TrackProbe::Tag readTag(PackedReader& in)
{
    TrackProbe::Tag t;
    for (std::string* field : {&t.title, &t.artist, &t.album, &t.year, &t.comment, &t.genreText})
        *field = in.text();
    t.genre = in.byte();
    t.track = in.int32();
    t.albumArtist = in.text();
    t.trackTotal = in.int32();
    t.disc = in.int32();
    t.discTotal = in.int32();
    return t;
}

} // namespace

std::string ProbeRecord::encode(const TrackProbe& probe)
{
    std::uint8_t flags = 0;
    flags |= probe.headerRead ? HeaderRead : 0;
    flags |= probe.Duration ? HasDuration : 0;
    flags |= probe.tag ? HasTag : 0;
    flags |= probe.extended ? HasExtended : 0;
    flags |= probe.status ? 0 : Failed;
    PackedWriter out;
    out.byte(Version);
    out.byte(flags);
    out.integer(probe.Bitrate);
    out.integer(probe.Frequency);
    out.integer(probe.Channels);
    out.integer(probe.FileSize);
    if (probe.Duration)
        out.integer(*probe.Duration);
    if (probe.tag)
        putTag(out, *probe.tag);
    if (probe.extended)
        putTag(out, *probe.extended);
    if (!probe.status) {
        out.text(probe.status.failure().message);
        out.integer(probe.status.failure().code);
    }
    return out.take();
}

std::optional<TrackProbe> ProbeRecord::decode(std::string_view bytes)
{
    PackedReader in(bytes);
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
        probe.tag = readTag(in);
    if (flags & HasExtended)
        probe.extended = readTag(in);
    if (flags & Failed) {
        std::string message(in.text());
        const std::int32_t code = in.int32();
        probe.status = fail(std::move(message), code);
    }
    if (!in.ok() || !in.atEnd())
        return std::nullopt;
    return probe;
}

} // namespace cantorel
