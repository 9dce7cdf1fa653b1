#pragma once

#include "core/info/Id3v2Frame.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cantorel {

class ByteSource;

// An ID3v2 tag (2.2, 2.3 or 2.4) at the start of a file: its header and the frames that
// were asked for, each as stored. Reading costs little whatever the tag holds: frames that
// were not asked for are passed over unread, and a tag of more frames or bytes than the
// limits is read up to them. A frame whose size is wrong ends the reading (what came
// before stays); a frame whose contents are wrong costs only that frame.
class Id3v2Tag {
public:
    static constexpr std::size_t HeaderSize = 10;

    struct Limits {
        std::size_t frames = 4096;          // frames looked at
        std::size_t frameBytes = 1 << 20;   // a larger frame that was asked for is passed over
        std::int64_t tagBytes = 64LL << 20; // a larger tag is not read at all
    };
    using Wanted = std::function<bool(std::string_view id)>;

    // The bytes of the tag whose header is `header` (header, body and footer), 0 when the
    // bytes are no ID3v2 header.
    static std::int64_t sizeOf(std::string_view header);

    // The tag at the start of `source`; nothing when there is none or its size points past
    // the end of the source.
    static std::optional<Id3v2Tag> read(const ByteSource& source, const Wanted& wanted, const Limits& limits);
    static std::optional<Id3v2Tag> read(const ByteSource& source, const Wanted& wanted)
    {
        return read(source, wanted, Limits());
    }

    int version = 4; // the major version: 2, 3 or 4
    std::uint8_t flags = 0;
    std::int64_t size = 0; // as stored: header, body and footer
    // Every frame up to the padding was looked at.
    bool complete = true;
    // A frame that was asked for was passed over: it was larger than the limit.
    bool oversized = false;
    std::vector<Id3v2Frame> frames;

    bool hasFooter() const { return version == 4 && (flags & 0x10); }
    // The first frame of `id` that was read, if any.
    const Id3v2Frame* find(std::string_view id) const;

    // The tag with its frames as they are: no extended header and no unsynchronisation,
    // a footer when it had one, padded with zeros to `paddedSize` bytes when that is more
    // than the frames need (and the tag has no footer, which forbids padding).
    std::string render(std::int64_t paddedSize = 0) const;
};

} // namespace cantorel
