#pragma once

#include "core/collection/CollectionItem.h"
#include "core/platform/Result.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace cantorel {

// What reading a track file found. The reading goes step by step (first frame header and
// file size, playing time, tag block); a failing step ends it, and what the steps before
// it found stays.
struct TrackProbe {
    struct Tag {
        std::string title, artist, album, year, comment;
        std::uint8_t genre = 255;
        std::string genreText; // a genre without a number (ID3v2 and APE tags)
        int track = 0;         // 0: none
        // ID3v2 and APE tags only.
        std::string albumArtist;
        int trackTotal = 0; // the "m" of "n/m"; 0: none
        int disc = 0;
        int discTotal = 0;
    };

    bool headerRead = false; // Bitrate, Frequency, Channels and FileSize are set
    std::int32_t Bitrate = 0;
    std::int32_t Frequency = 0;
    std::int32_t Channels = 0; // 1 or 2
    std::int64_t FileSize = 0;
    std::optional<std::int64_t> Duration;
    std::optional<Tag> tag;      // the ID3v1 block, when the file has one
    std::optional<Tag> extended; // the ID3v2 tag (an APE tag filling its gaps), when read
    Result<> status;             // a failure names the step that failed
};

// Reads one track file; the scan is given one, so that it need not know the file formats.
using TrackProber = std::function<TrackProbe(const std::string& path)>;

// Copies what the probe found into the record: the header fields, the playing time, and
// the tag fields that are not empty, cut to the record's limits: each from the extended
// tag when it has one, else from the ID3v1 block (whose genre always counts). With
// `set`, each text goes through it (see FillEntry).
void applyProbe(CollectionItem& item, const TrackProbe& probe, const TextSetter& set = {});

} // namespace cantorel
