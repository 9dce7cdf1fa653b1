#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace cantorel {

class ByteSource;

// The text items of an APEv2 tag that ends at a given place of a file (its footer the 32
// bytes before). Reading is bounded: items past the limits are not read, binary items and
// long values are passed over without reading them.
class ApeTag {
public:
    static constexpr std::size_t FooterSize = 32;
    struct Limits {
        std::size_t items = 512;
        std::size_t valueBytes = 64 * 1024;
    };

    // The size of the tag (items, footer and header) whose footer is the last 32 bytes of
    // `end`, or 0 when they are no APE footer.
    static std::int64_t sizeOf(std::string_view end);
    // The tag whose footer ends at `footerEnd`; nothing when there is none there.
    static std::optional<ApeTag> read(const ByteSource& source, std::int64_t footerEnd, const Limits& limits);
    static std::optional<ApeTag> read(const ByteSource& source, std::int64_t footerEnd)
    {
        return read(source, footerEnd, Limits());
    }

    // A text item's value (keys match whatever the case of their letters); "" when the tag
    // has no such text item.
    std::string text(std::string_view key) const;

private:
    std::map<std::string, std::string> items_; // keys in capitals
};

} // namespace cantorel
