#pragma once

#include "core/platform/Result.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace cantorel {

class CodePage;

struct SettingsRecord {
    std::string WindowTitle = "MP3 Audio Library";
    std::string Icon;
    std::string MP3RootName;
    std::string MP3RootDir; // always ends with "/"
    std::string FilesBBS = "files.bbs";
    std::string DirInfoTXT = "dirinfo.";
    std::string DirInfoRTF = "dirinfo.rtf";
    std::string DirInfoBMP = "dirinfo.bmp";
    bool TXTCodePage = true;  // true: "oem"
    bool TXTUtf8 = false;     // TXTCodePage 65001: plain text pages are UTF-8
    bool TAGCodePage = false; // true: "oem"
    bool AllowEdit = false;
    bool ReadID3v2 = true;  // ID3v2 and APE tags beside the ID3v1 block
    bool ProbeCache = true; // what was read from each track is kept between runs
    int OEMCodePage = 437;
    int ANSICodePage = 1252;

    const CodePage& oem() const;
    const CodePage& ansi() const;
    // The code page of tag texts.
    const CodePage& tagPage() const { return TAGCodePage ? oem() : ansi(); }
};

struct GenreEntry {
    std::uint8_t Number = 0;
    std::string GenreName;
};

// Strings 1 to 50 read "String" and their number when unset; the later ones have English
// defaults.
constexpr int UIStringCount = 52;
constexpr int TrackLabelString = 51;
constexpr int RescanString = 52; // the menu item that reads the collection again
constexpr std::size_t GenreTableCapacity = 200;

// The configuration: settings, interface strings and genre table. The program reads one
// at start-up and hands it to whoever needs it; tests build theirs in memory.
struct Configuration {
    SettingsRecord Settings;
    std::array<std::string, UIStringCount> UIStrings; // slot n at index n - 1
    std::vector<GenreEntry> GenreTable;

    // The values before any file is read: `programDirectory` (ending with "/") is the
    // root directory, the code pages follow the locale, string n reads "String" n.
    static Configuration defaults(const std::string& programDirectory);

    // Slot `id` for 1 <= id <= 50, else "Invalid String ID " and the id.
    std::string GetUIString(int id) const;
    int GenreCount() const { return static_cast<int>(GenreTable.size()); }
};

// The configuration file that belongs to a program file: its extension replaced by
// ".ini", or ".ini" appended when it has none.
std::string configurationFileFor(const std::string& programFile);

// Resets `configuration` to its defaults and reads `file` into it, stopping at the first
// error (what was read before it stays); relative root directories resolve against
// `programDirectory`.
Result<> LoadConfiguration(Configuration& configuration, const std::string& file, const std::string& programDirectory);

// The failure code of a lookup that found no configuration file anywhere.
constexpr int NoConfigurationFile = 1;

// The first of `places` that exists, its relative paths resolved against its own
// directory; the failure names every place looked at (code NoConfigurationFile) when none
// does.
Result<> LoadConfiguration(Configuration& configuration, const std::vector<std::string>& places);

// The running program's configuration: the file beside the program file, then the user's
// and the system's (configurationPlaces).
Result<> LoadConfiguration(Configuration& configuration);

// The configuration of a run of a program: `given` (its --config, relative to the current
// directory; the file's folder stands for the program's) when not empty, else the first
// that exists of `besideProgram`, the user's and the system's.
Result<> LoadRunConfiguration(Configuration& configuration, const std::string& given, const std::string& besideProgram);

} // namespace cantorel
