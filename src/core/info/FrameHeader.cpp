#include "core/info/FrameHeader.h"

namespace cantorel {

namespace {

// kbit/s by bit-rate index; columns Layer I, II, III of MPEG-1 and Layer I, II/III of
// MPEG-2 (lower sampling frequencies).
constexpr int Mpeg1Rates[3][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
};
constexpr int Mpeg2Rates[2][16] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
constexpr int Frequencies[3][3] = {{11025, 12000, 8000}, {22050, 24000, 16000}, {44100, 48000, 32000}};

std::uint32_t bigEndian32(std::string_view s, std::size_t at)
{
    return (std::uint32_t(static_cast<unsigned char>(s[at])) << 24) |
           (std::uint32_t(static_cast<unsigned char>(s[at + 1])) << 16) |
           (std::uint32_t(static_cast<unsigned char>(s[at + 2])) << 8) |
           std::uint32_t(static_cast<unsigned char>(s[at + 3]));
}

} // namespace

FrameHeader::FrameHeader(const unsigned char* b)
    : mpeg1_((b[1] & 0x08) != 0), mpeg25_((b[1] & 0x18) == 0), layerCode_((b[1] & 0x06) >> 1),
      bitrateIndex_((b[2] & 0xF0) >> 4), frequencyIndex_((b[2] & 0x0C) >> 2), padding_((b[2] & 0x02) != 0),
      mono_((b[3] & 0xC0) == 0xC0)
{
}

int FrameHeader::bitrate() const
{
    if (layerCode_ == 0)
        return 0;
    const int layer = 4 - layerCode_; // 1, 2 or 3
    if (mpeg1_)
        return Mpeg1Rates[layer - 1][bitrateIndex_];
    return Mpeg2Rates[layer == 1 ? 0 : 1][bitrateIndex_];
}

int FrameHeader::frequency() const
{
    return frequencyIndex_ == 3 ? 0 : Frequencies[mpeg1_ ? 2 : mpeg25_ ? 0 : 1][frequencyIndex_];
}

int FrameHeader::samplesPerFrame() const
{
    switch (layerCode_) {
    case 3: return 384;
    case 2: return 1152;
    case 1: return mpeg1_ ? 1152 : 576;
    default: return 0;
    }
}

std::size_t FrameHeader::frameLength() const
{
    const long rate = bitrate() * 1000L;
    const long hz = frequency();
    if (rate == 0 || hz == 0)
        return 0;
    if (layerCode_ == 3)
        return static_cast<std::size_t>((12 * rate / hz + (padding_ ? 1 : 0)) * 4);
    const long factor = (layerCode_ == 1 && !mpeg1_) ? 72 : 144;
    return static_cast<std::size_t>(factor * rate / hz + (padding_ ? 1 : 0));
}

std::optional<FrameHeader::VbrInfo> FrameHeader::vbrInfo(std::string_view frame) const
{
    if (layerCode_ != 1)
        return std::nullopt;
    const std::size_t sideInfo = mpeg1_ ? (mono_ ? 17 : 32) : (mono_ ? 9 : 17);
    const std::size_t xing = 4 + sideInfo;
    if (frame.size() >= xing + 8 && (frame.substr(xing, 4) == "Xing" || frame.substr(xing, 4) == "Info")) {
        const std::uint32_t flags = bigEndian32(frame, xing + 4);
        std::size_t at = xing + 8;
        VbrInfo info;
        if (flags & 1) {
            if (frame.size() < at + 4)
                return std::nullopt;
            info.frames = bigEndian32(frame, at);
            at += 4;
        }
        if ((flags & 2) && frame.size() >= at + 4)
            info.bytes = bigEndian32(frame, at);
        return info;
    }
    constexpr std::size_t vbri = 4 + 32;
    if (frame.size() >= vbri + 18 && frame.substr(vbri, 4) == "VBRI")
        return VbrInfo{bigEndian32(frame, vbri + 14), bigEndian32(frame, vbri + 10)};
    return std::nullopt;
}

} // namespace cantorel
