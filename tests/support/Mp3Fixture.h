#pragma once

#include <string>
#include <utility>
#include <vector>

namespace cantorel::test {

class TempDir;

// A file that begins with the four header bytes `header`, filled with zeros to `size`
// bytes; when `tag` is not empty it is laid over the last 128 bytes.
std::string fakeTrack(const std::string& header, std::size_t size, const std::string& tag = {});

// A 128-byte ID3v1 block with the given fields (each padded with `filler`).
std::string id3v1(const std::string& title, const std::string& artist = {}, const std::string& album = {},
                  const std::string& year = {}, const std::string& comment = {}, unsigned char genre = 255,
                  char filler = ' ');

// A 16-bit stereo WAV of a sine tone.
std::string sineWav(double frequency, double seconds, int rate = 44100);

// An MP3 of a sine tone made with lame, with lame's `options`; its path in `dir`.
std::string encodeTone(const TempDir& dir, const std::string& name, double hz, double seconds,
                       const std::vector<std::string>& options = {"-b", "128"});

// A 16-bit WAV of sine tones one after the other: (frequency, seconds) pairs.
std::string toneSequenceWav(const std::vector<std::pair<double, double>>& tones, int rate, int channels);

} // namespace cantorel::test
