#pragma once

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
    bool TAGCodePage = false; // true: "oem"
    bool AllowEdit = false;
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

constexpr int UIStringCount = 50;
constexpr std::size_t GenreTableCapacity = 200;

// The configuration tables, filled once at start-up and only read afterwards.
extern SettingsRecord Settings;
extern std::array<std::string, UIStringCount> UIStrings; // slot n at index n - 1
extern std::vector<GenreEntry> GenreTable;
int GenreCount();

// Slot `id` for 1 <= id <= 50, else "Invalid String ID " and the id.
std::string GetUIString(int id);

// The configuration file that belongs to a program file: its extension replaced by
// ".ini", or ".ini" appended when it has none.
std::string configurationFileFor(const std::string& programFile);

// Puts the tables back to their values before any file is read; `programDirectory`
// (ending with "/") is the default root directory and the base of a relative one.
void resetConfiguration(const std::string& programDirectory);

// Resets the tables and reads `file`; relative root directories resolve against
// `programDirectory`. Returns "" on success, else the error message.
std::string LoadConfiguration(const std::string& file, const std::string& programDirectory);

// The running program's own configuration file, resolved against its own directory.
std::string LoadConfiguration();

} // namespace cantorel
