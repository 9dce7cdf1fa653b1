#include "support/Mp3Fixture.h"

#include <cmath>
#include <cstdint>

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
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    std::string wav = "RIFF";
    put32(wav, 36 + frames * 4);
    wav += "WAVEfmt ";
    put32(wav, 16);
    put16(wav, 1);
    put16(wav, 2);
    put32(wav, static_cast<std::uint32_t>(rate));
    put32(wav, static_cast<std::uint32_t>(rate * 4));
    put16(wav, 4);
    put16(wav, 16);
    wav += "data";
    put32(wav, frames * 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(10000 * std::sin(2 * M_PI * frequency * i / rate));
        put16(wav, static_cast<std::uint16_t>(v));
        put16(wav, static_cast<std::uint16_t>(v));
    }
    return wav;
}

} // namespace cantorel::test
