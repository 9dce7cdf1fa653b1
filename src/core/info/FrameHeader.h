#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace cantorel {

// The fields of an MPEG audio frame header that the probe uses, decoded from its first
// four bytes without checking the sync word.
class FrameHeader {
public:
    explicit FrameHeader(const unsigned char* bytes);

    bool mpeg1() const { return mpeg1_; }
    // MPEG-2.5: both version bits clear; half the MPEG-2 sampling frequencies.
    bool mpeg25() const { return mpeg25_; }
    int layerCode() const { return layerCode_; } // 3 = Layer I, 2 = II, 1 = III, 0 reserved
    int bitrateIndex() const { return bitrateIndex_; }
    int frequencyIndex() const { return frequencyIndex_; }
    bool padding() const { return padding_; }
    bool mono() const { return mono_; }

    // kbit/s; 0 for free format, forbidden or reserved values.
    int bitrate() const;
    // Hz; 0 for the reserved index.
    int frequency() const;
    int samplesPerFrame() const;
    // Bytes of this frame, header included; 0 when bit rate or frequency is unknown.
    std::size_t frameLength() const;

    // Frame count and audio byte count of a Xing/Info or VBRI header in the frame that
    // starts with this header (`frame` holds at least the frame's bytes read so far).
    struct VbrInfo {
        std::uint32_t frames = 0;
        std::uint32_t bytes = 0; // 0 when the header does not give it
    };
    std::optional<VbrInfo> vbrInfo(std::string_view frame) const;

private:
    bool mpeg1_;
    bool mpeg25_;
    int layerCode_;
    int bitrateIndex_;
    int frequencyIndex_;
    bool padding_;
    bool mono_;
};

} // namespace cantorel
