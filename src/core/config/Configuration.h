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
    bool ComposeDescriptions = true; // leaving an undescribed track writes the composed description
    bool ReadID3v2 = true;           // ID3v2 and APE tags beside the ID3v1 block
    bool ProbeCache = true;          // what was read from each track is kept between runs
    bool SearchLatin = true;         // a search also finds text of other scripts by its Latin spelling
    // The window shows the tree the last run knew at once and reads the collection behind
    // it; no: the splash stays until the collection is read.
    bool InstantStart = true;
    // Minutes between the checks of the parts of the collection that watching cannot see
    // (network file systems, folders beyond the watch limit); 0: never.
    int SweepMinutes = 10;
    // ReplayGain: "off", "track" or "album"; the pre-amp in dB (-15 to 15) for tracks
    // that carry a gain.
    std::string ReplayGain = "off";
    double ReplayGainPreamp = 0.0;
    int OEMCodePage = 437;
    int ANSICodePage = 1252;

    const CodePage& oem() const;
    const CodePage& ansi() const;
    // The code page of tag texts.
    const CodePage& tagCodePage() const { return TAGCodePage ? oem() : ansi(); }
};

struct GenreEntry {
    std::uint8_t Number = 0;
    std::string GenreName;
};

// The interface strings by what they are for. Each value is the string's number, the N
// of its "StringN" key; strings 1 to 50 read "String" and their number when unset, the
// later ones have English defaults.
enum class UiString : int {
    SecondsUnit = 1, // a playing time in words: the unit after the seconds
    MinutesUnit = 2,
    HoursUnit = 3,
    NameCaption = 4, // the editor's labels and the description page's captions
    AlbumCaption = 5,
    ArtistCaption = 6,
    YearCaption = 7,
    DurationCaption = 8, // the description page of a track
    FileCaption = 9,
    FileSizeCaption = 10,
    FrequencyCaption = 11,
    BitrateCaption = 12,
    PictureFileCaption = 13,
    TextFileCaption = 14,
    TotalDurationCaption = 15, // the description page of anything but a track
    PathCaption = 16,
    TotalSizeCaption = 17,
    NowPlaying = 18, // before the player panel's track text
    PlaylistsNode = 19,
    PictureTab = 20,
    TextTab = 21,
    DescriptionTab = 22,
    EditorTab = 23,
    GenreCaption = 24,
    CommentCaption = 25,
    DescriptionCaption = 26, // followed by the description file's name
    PriorityIdle = 27,       // the priority selector's four entries
    PriorityNormal = 28,
    PriorityHigh = 29,
    PriorityRealTime = 30,
    PlayItem = 31, // the notification-area menu
    PauseItem = 32,
    PreviousItem = 33,
    NextItem = 34,
    RestoreItem = 35,
    ExitItem = 36,
    SplashPreparing = 37, // the splash window's second line
    SplashReading = 38,
    SplashPlaylists = 39,
    TrackNumberCaption = 51,
    RescanItem = 52,     // the menu item that reads the collection again
    VolumeTip = 53,      // the player panel's volume slider
    PlayingStopped = 54, // before why the playing stopped (an output or a track that failed)
    TrackField = 55,     // the editor's fields of ID3v2 tags
    DiscField = 56,
    AlbumArtistField = 57,
    SetCoverButton = 58, // the picture page of a track, with editing on
    RemoveCoverButton = 59,
    EditMenu = 60,
    UndoItem = 61,
    FilterPlaceholder = 62,
    NoMatch = 63,
    MoreMatches = 64,
    RepairItem = 65,
    RepairCodePage = 66,
    RepairApply = 67,
    NothingToRepair = 68,
    ReadingCollection = 69, // while the collection is read behind the window: before "n of m folders"
    OfflineNote = 70,       // a node whose folder cannot be read now: before why
    WatchLimit = 71,        // the notice when the watch limit is reached
};
constexpr int UIStringCount = 71;
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
    std::string GetUIString(UiString id) const { return GetUIString(static_cast<int>(id)); }
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
