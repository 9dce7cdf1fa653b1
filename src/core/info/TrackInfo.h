#pragma once

#include "core/collection/TrackProbe.h"
#include "core/info/TagBlock.h"
#include "core/platform/Result.h"

#include <functional>
#include <optional>
#include <string>

namespace cantorel {

class ByteSource;
class CodePage;
struct CollectionItem;

// Reads a track file: bit rate and sampling frequency from the first frame header (after
// an ID3v2 tag, if any), the file size, the playing time, and the tag block at the end.
// Reads the start of the file up to the end of the first frame and the last 128 bytes,
// nothing else. `extended` also reads the ID3v2 tag (only when the file begins with one)
// and an APE tag (only when its footer ends the file or precedes the ID3v1 block), the
// track number, and looks past a second ID3v2 tag or garbage for the first frame.
TrackProbe ProbeTrack(const std::string& path, const CodePage& tagCodePage, bool extended = true);
// The same for a file's bytes.
TrackProbe ProbeTrack(const ByteSource& file, const CodePage& tagCodePage, bool extended = true);

// The prober the scan uses.
TrackProber trackProber(const CodePage& tagCodePage, bool extended = true);

// Fills a track's record from its file (ProbeTrack, then applyProbe). Fails, naming the
// step, when a step failed; fields stored before a failing step stay.
Result<> ReadTrackInfo(CollectionItem& item, const CodePage& tagCodePage, bool extended = true);

// The tag block of a file, when it has one and it can be read.
std::optional<TagBlock::Fields> readTagFields(const std::string& path, const CodePage& tagCodePage);

// The failure codes of WriteTag's refusals: the track that the player holds, and text
// that the tag's code page cannot hold (never written as question marks) where no ID3v2
// tag may take it.
constexpr int ActiveTrackRefused = 1;
constexpr int TagTextUnencodable = 2;

// Writes the record's tag fields into the file's tag block: over the old block, or
// appended when there is none. `isActiveTrack` tells whether the path names the track
// that the player holds; that track is refused (code ActiveTrackRefused), and so is a
// field the code page cannot hold (code TagTextUnencodable, its message naming the field
// and the characters). A read-only
// file is written all the same and keeps its mode. On failure the file's bytes are as
// they were.
// With `extended`, an ID3v2 tag the file has is updated too (other frames untouched), and
// one is made (ID3v2.4) for texts the code page cannot hold: then the whole file is
// rewritten through a copy renamed over it.
Result<> WriteTag(const CollectionItem& item, const CodePage& tagCodePage,
                  const std::function<bool(const std::string& path)>& isActiveTrack = {}, bool extended = true);

} // namespace cantorel
