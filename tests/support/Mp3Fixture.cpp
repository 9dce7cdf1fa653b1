#include "support/Mp3Fixture.h"

#include "support/Process.h"
#include "support/TempDir.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace cantorel::test {

namespace {
void put32(std::string& s, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put16(std::string& s, std::uint16_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}
std::string padded(const std::string& value, std::size_t width, char filler)
{
    std::string out = value.substr(0, width);
    out.resize(width, filler);
    return out;
}
} // namespace

std::string fakeTrack(const std::string& header, std::size_t size, const std::string& tag)
{
    std::string data = header;
    data.resize(size, '\0');
    if (!tag.empty() && size >= tag.size())
        data.replace(size - tag.size(), tag.size(), tag);
    return data;
}

std::string id3v1(const std::string& title, const std::string& artist, const std::string& album,
                  const std::string& year, const std::string& comment, unsigned char genre, char filler)
{
    return "TAG" + padded(title, 30, filler) + padded(artist, 30, filler) + padded(album, 30, filler) +
           padded(year, 4, filler) + padded(comment, 30, filler) + static_cast<char>(genre);
}

std::string sineWav(double frequency, double seconds, int rate)
{
    return toneSequenceWav({{frequency, seconds}}, rate, 2);
}

std::string toneSequenceWav(const std::vector<std::pair<double, double>>& tones, int rate, int channels)
{
    std::uint32_t frames = 0;
    for (const auto& [hz, seconds] : tones)
        frames += static_cast<std::uint32_t>(seconds * rate);
    const auto blockAlign = static_cast<std::uint16_t>(2 * channels);
    std::string wav = "RIFF";
    put32(wav, 36 + frames * blockAlign);
    wav += "WAVEfmt ";
    put32(wav, 16);
    put16(wav, 1);
    put16(wav, static_cast<std::uint16_t>(channels));
    put32(wav, static_cast<std::uint32_t>(rate));
    put32(wav, static_cast<std::uint32_t>(rate) * blockAlign);
    put16(wav, blockAlign);
    put16(wav, 16);
    wav += "data";
    put32(wav, frames * blockAlign);
    for (const auto& [hz, seconds] : tones) {
        const auto n = static_cast<std::uint32_t>(seconds * rate);
        for (std::uint32_t i = 0; i < n; ++i) {
            const auto v = static_cast<std::int16_t>(10000 * std::sin(2 * M_PI * hz * i / rate));
            for (int c = 0; c < channels; ++c)
                put16(wav, static_cast<std::uint16_t>(v));
        }
    }
    return wav;
}

std::string encodeTone(const TempDir& dir, const std::string& name, double hz, double seconds,
                       const std::vector<std::string>& options)
{
    const std::string wav = dir.write(name + ".wav", sineWav(hz, seconds));
    std::vector<std::string> args{"--quiet"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(wav);
    args.push_back(dir / name);
    const ProcessResult r = runProcess("/usr/bin/lame", args);
    if (r.status != 0)
        throw std::runtime_error("lame failed: " + r.err);
    return dir / name;
}

} // namespace cantorel::test
