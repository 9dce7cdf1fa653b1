#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct mpg123_handle_struct;

namespace cantorel::mpeg {

// ReplayGain as the host asks for it (CANTOREL_REPLAYGAIN, see mpeg.h) and as a stream
// carries it. libmpg123 reads the gain and peak of ID3v2 TXXX and RVA2 frames and of the
// LAME header, applies them and keeps the peak from clipping; APE items of a file are read
// here and applied the same way.
class ReplayGain {
public:
    enum class Mode { Off, Track, Album };

    // What the environment asks for now.
    static ReplayGain fromEnvironment();

    Mode mode() const { return mode_; }
    // Set on the decoder before a stream is opened, so that it reads the gains it knows.
    void prepare(mpg123_handle_struct* mh) const;
    // Sets the decoder's scale once the stream is open: the pre-amp for a stream whose
    // gain libmpg123 found, the APE gain of `file` (empty for a stream) with the pre-amp,
    // or none.
    void apply(mpg123_handle_struct* mh, const std::string& file) const;

    struct Gain {
        double db = 0;
        double peak = 0; // 0: unknown
    };
    // The gain of an APE tag at the end of `file` (before an ID3v1 block), for `album` or
    // the track; nothing without one. Reads at most the tag's last 64 KB.
    static std::optional<Gain> apeGain(const std::string& file, bool album);

private:
    static std::optional<Gain> gainInItems(const std::vector<unsigned char>& items, std::uint32_t count, bool album);

    Mode mode_ = Mode::Off;
    double preampDb_ = 0;
};

} // namespace cantorel::mpeg
