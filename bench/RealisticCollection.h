#pragma once

// A generated collection shaped like a real one, for the benchmarks that must see what
// real tracks cost: folders of ten tracks under an artist folder each, ID3v2.4 tags of 5-6
// text frames with 0-2 KB padding on every track, a 20 KB cover on one in nine, ID3v1
// blocks on three in four, a UTF-8 description file in every folder; names and texts in
// Latin with accents, Cyrillic, Greek and Japanese. Made once under `root` and kept.

#include "BenchSupport.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace cantorel::bench {

constexpr const char* RealisticShape =
    "10 tracks a folder, ID3v2.4 tags of 5-6 text frames and 0-2 KB padding on every track, a 20 KB cover on 1 "
    "in 9, ID3v1 on 3 in 4, UTF-8 description files; Latin with accents, Cyrillic, Greek, Japanese";

namespace realistic {

inline const char* const Artists[] = {"Кино",
                                      "Аквариум",
                                      "Die Ärzte",
                                      "Sigur Rós",
                                      "Björk",
                                      "Café Tacvba",
                                      "坂本龍一",
                                      "Μάνος Χατζιδάκις",
                                      "Nina Simone",
                                      "Miles Davis",
                                      "きゃりーぱみゅぱみゅ",
                                      "Ólafur Arnalds"};
inline const char* const Words[] = {"light",    "morning", "кровь",   "звезда", "river", "東京",   "さくら", "noche",
                                    "café",     "ωδή",     "silence", "winter", "песня", "garden", "blue",   "último",
                                    "midnight", "город",   "dream",   "fire",   "ocean", "вечер",  "paris",  "tokyo"};

inline std::string frame(const char* id, const std::string& text)
{
    const std::string body = std::string(1, '\x03') + text; // UTF-8
    const std::size_t n = body.size();
    std::string f = id;
    f += static_cast<char>((n >> 21) & 0x7F);
    f += static_cast<char>((n >> 14) & 0x7F);
    f += static_cast<char>((n >> 7) & 0x7F);
    f += static_cast<char>(n & 0x7F);
    return f + std::string(2, '\0') + body;
}

// An ID3v2.4 tag of several text frames, padding, on some tracks a cover; an MPEG frame
// header and silence; an ID3v1 block on most.
inline std::string track(int d, int t, const std::string& title, const std::string& artist, const std::string& album)
{
    std::string frames = frame("TIT2", title) + frame("TPE1", artist) + frame("TALB", album) +
                         frame("TRCK", std::to_string(t + 1) + "/10") + frame("TDRC", std::to_string(1970 + d % 50));
    if (d % 3 == 0)
        frames += frame("TPE2", artist);
    if ((d * 10 + t) % 9 == 0)
        frames += "APIC" + std::string("\x00\x00\xA0\x00\x00\x00", 6) + std::string(1, '\0') + "image/jpeg" +
                  std::string(1, '\0') + "\x03" + std::string(1, '\0') + std::string(20480 - 14, '\xAA');
    frames += std::string(static_cast<std::size_t>((d * 37 + t * 11) % 2048), '\0'); // padding
    const std::size_t n = frames.size();
    std::string tag = "ID3\x04";
    tag += std::string(2, '\0');
    tag += static_cast<char>((n >> 21) & 0x7F);
    tag += static_cast<char>((n >> 14) & 0x7F);
    tag += static_cast<char>((n >> 7) & 0x7F);
    tag += static_cast<char>(n & 0x7F);
    std::string data = tag + frames + "\xFF\xFB\x90\x44" + std::string(3000, '\0');
    if (d % 4 != 0)
        data += "TAG" + std::string(125, '\0');
    return data;
}

} // namespace realistic

inline void generateRealistic(const std::filesystem::path& root, int tracks)
{
    if (std::filesystem::exists(root / ".complete"))
        return;
    std::printf("generating %d tracks in %s ...\n", tracks, root.c_str());
    std::filesystem::remove_all(root);
    using namespace realistic;
    const int words = static_cast<int>(std::size(Words));
    for (int d = 0; d * 10 < tracks; ++d) {
        const std::string artist = Artists[d % std::size(Artists)];
        const std::string album =
            std::string(Words[(d * 7) % words]) + " " + Words[(d * 13 + 5) % words] + " " + std::to_string(d);
        const std::filesystem::path dir =
            root / artist.c_str() / (std::to_string(1970 + d % 50) + " - " + album).c_str();
        std::filesystem::create_directories(dir);
        std::string bbs;
        for (int t = 0; t < 10 && d * 10 + t < tracks; ++t) {
            const std::string title = std::string(Words[(d + t * 5) % words]) + " " + Words[(d * 3 + t) % words];
            const std::string name = (t < 9 ? "0" : "") + std::to_string(t + 1) + " - " + title + ".mp3";
            writeFile(dir / name.c_str(), track(d, t, title, artist, album));
            bbs += name + " " + artist + " - " + title + "\r\n";
        }
        writeFile(dir / "files.bbs", "\xEF\xBB\xBF" + bbs);
    }
    writeFile(root / ".complete", "");
}

} // namespace cantorel::bench
