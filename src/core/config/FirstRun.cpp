#include "core/config/FirstRun.h"

namespace cantorel {

namespace {

// Interface strings 1 to 39 and 51 in English; the numbers in between are unused.
constexpr const char* EnglishStrings[] = {
    "' s'",
    "' min '",
    "' h '",
    "'Title: '",
    "'Album: '",
    "'Artist: '",
    "'Year: '",
    "'Playing time: '",
    "'File: '",
    "'File size: '",
    "'Sampling frequency: '",
    "'Bit rate: '",
    "'Picture: '",
    "'Text: '",
    "'Total playing time: '",
    "'Path: '",
    "'Total size: '",
    "'Now playing: '",
    "Playlists",
    "Picture",
    "Text",
    "Description",
    "Editor",
    "'Genre: '",
    "'Comment: '",
    "'Description in '",
    "Idle",
    "Normal",
    "High",
    "Real time",
    "Play",
    "Pause",
    "Previous",
    "Next",
    "Restore",
    "Exit",
    "Preparing the collection...",
    "Reading the collection...",
    "Reading the playlists...",
};

// "genre" and the number in three digits at least.
std::string genreKey(std::size_t number)
{
    const std::string digits = std::to_string(number);
    return std::string("genre").append(digits.size() < 3 ? 3 - digits.size() : 0, '0').append(digits);
}

} // namespace

std::string firstRunConfiguration(const std::string& musicFolder, const std::vector<std::string>& genreNames,
                                  const locale::CodePagePair& codePages)
{
    std::string text = "; Cantorel's configuration, written at its first run. Lines are KEY = VALUE;\n"
                       "; a line that begins with ';' or any other unknown line is passed over.\n\n"
                       "WindowTitle = Cantorel\n"
                       "; The music folder; a relative path is taken from this file's folder.\n"
                       "MP3RootDir = " +
                       musicFolder +
                       "\n"
                       "FilesBBS = files.bbs\n"
                       "; The code pages of description files (OEM) and of tags, text pages and names\n"
                       "; that are not UTF-8 (ANSI), as your locale had them at the first run: 866/1251\n"
                       "; Cyrillic, 852/1250 Central European, 850/1252 Western European, 437/1252 others;\n"
                       "; 65001 is UTF-8.\n"
                       "OEMCodePage = " +
                       std::to_string(codePages.oem) +
                       "\n"
                       "ANSICodePage = " +
                       std::to_string(codePages.ansi) +
                       "\n"
                       "; yes: the editor page changes tags and descriptions.\n"
                       "AllowEdit = no\n"
                       "; With AllowEdit = yes, leaving a track that has no description writes the\n"
                       "; description composed of its artist, album and title into the description file;\n"
                       "; no: such composed descriptions are shown but not written.\n"
                       "ComposeDescriptions = yes\n"
                       "; no: only the ID3v1 block of each track is read and written.\n"
                       "ReadID3v2 = yes\n"
                       "; no: every track is read at every start, none is remembered.\n"
                       "ProbeCache = yes\n"
                       "; yes: the filter also finds text in other scripts by its Latin spelling (kino: Кино).\n"
                       "SearchLatin = yes\n"
                       "; yes: the window shows the collection as the last run left it at once and reads it\n"
                       "; behind the window; no: the window waits until the collection is read.\n"
                       "InstantStart = yes\n"
                       "; Minutes between checks of folders that cannot be watched (network shares); 0: never.\n"
                       "SweepMinutes = 10\n\n"
                       "; The interface texts; quotes keep leading and trailing blanks.\n";
    for (std::size_t n = 0; n < std::size(EnglishStrings); ++n)
        text += "String" + std::to_string(n + 1) + " = " + EnglishStrings[n] + "\n";
    text += "String51 = 'Track: '\nString52 = Rescan\n\n; The genres of the editor's list.\n";
    for (std::size_t n = 0; n < genreNames.size(); ++n)
        text += genreKey(n) + " = " + genreNames[n] + "\n";
    return text;
}

} // namespace cantorel
