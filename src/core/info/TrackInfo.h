#pragma once

#include "core/collection/TrackProbe.h"
#include "core/info/TagBlock.h"
#include "core/info/TagWriter.h"
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
// nothing else. `extended` also reads the fields' frames of the ID3v2 tag (only when the
// file begins with one, passing over the others and pictures unread) and an APE tag (only
// when its footer ends the file or precedes the ID3v1 block), the track number, and looks
// past a second ID3v2 tag or garbage for the first frame.
TrackProbe ProbeTrack(const std::string& path, const CodePage& tagCodePage, bool extended = true);
// The same for a file's bytes.
TrackProbe ProbeTrack(const ByteSource& file, const CodePage& tagCodePage, bool extended = true);

// The prober the scan uses.
TrackProber trackProber(const CodePage& tagCodePage, bool extended = true);

// Fills a track's record from its file (ProbeTrack, then applyProbe). Fails, naming the
// step, when a step failed; fields stored before a failing step stay.
Result<> ReadTrackInfo(CollectionItem& item, const CodePage& tagCodePage, bool extended = true);

// Writes every tag field of the record into its track (TagWriter::save with
// TagChange::allOf): `isActiveTrack` tells whether the path names the track that the player
// holds, which is refused (ActiveTrackRefused); with `extended` ID3v2 tags are written too.
Result<> WriteTag(const CollectionItem& item, const CodePage& tagCodePage,
                  const std::function<bool(const std::string& path)>& isActiveTrack = {}, bool extended = true);

} // namespace cantorel
