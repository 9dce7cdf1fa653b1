#include "core/config/Configuration.h"

#include "core/config/ConfigurationLookup.h"
#include "core/config/ConfigurationReader.h"
#include "core/platform/CodePage.h"
#include "core/platform/FileSystem.h"
#include "core/platform/Paths.h"
#include "core/platform/SystemLocale.h"

namespace cantorel {

namespace {

// The pair is validated when it is set, so a missing page can only mean a programming
// error; the default pair is the fallback then.
const CodePage& pageOrDefault(int number, int fallback)
{
    if (const CodePage* page = CodePage::byNumber(number))
        return *page;
    return *CodePage::byNumber(fallback);
}

} // namespace

const CodePage& SettingsRecord::oem() const { return pageOrDefault(OEMCodePage, 437); }
const CodePage& SettingsRecord::ansi() const { return pageOrDefault(ANSICodePage, 1252); }

Configuration Configuration::defaults(const std::string& programDirectory)
{
    Configuration c;
    c.Settings.MP3RootDir = paths::withTrailingSlash(programDirectory);
    const locale::CodePagePair pair = locale::defaultCodePages(locale::localeName("LC_CTYPE"));
    c.Settings.OEMCodePage = pair.oem;
    c.Settings.ANSICodePage = pair.ansi;
    for (int n = 1; n <= 50; ++n)
        c.UIStrings[static_cast<std::size_t>(n - 1)] = "String" + std::to_string(n);
    c.UIStrings[static_cast<std::size_t>(UiString::TrackNumberCaption) - 1] = "Track: ";
    c.UIStrings[static_cast<std::size_t>(UiString::RescanItem) - 1] = "Rescan";
    c.UIStrings[static_cast<std::size_t>(UiString::VolumeTip) - 1] = "Volume";
    c.UIStrings[static_cast<std::size_t>(UiString::PlayingStopped) - 1] = "Playing stopped: ";
    const std::pair<UiString, const char*> later[] = {
        {UiString::TrackField, "Track (n/m)"},
        {UiString::DiscField, "Disc (n/m)"},
        {UiString::AlbumArtistField, "Album artist"},
        {UiString::SetCoverButton, "Set cover from file..."},
        {UiString::RemoveCoverButton, "Remove cover"},
        {UiString::EditMenu, "&Edit"},
        {UiString::UndoItem, "&Undo last save"},
        {UiString::FilterPlaceholder, "Find (Ctrl+F)"},
        {UiString::NoMatch, "No match"},
        {UiString::MoreMatches, "More matches: type more to see them"},
        {UiString::RepairItem, "&Repair text..."},
        {UiString::RepairCodePage, "Written in code page:"},
        {UiString::RepairApply, "&Apply"},
        {UiString::NothingToRepair, "Nothing in this folder needs repair."},
        {UiString::ReadingCollection, "Reading the collection: "},
        {UiString::OfflineNote, "Offline: "},
        {UiString::WatchLimit, "Too many folders to watch: changes in the others are found by a check every few "
                               "minutes (raise fs.inotify.max_user_watches to watch them all)"},
    };
    for (const auto& [id, text] : later)
        c.UIStrings[static_cast<std::size_t>(id) - 1] = text;
    return c;
}

std::string Configuration::GetUIString(int id) const
{
    if (id < 1 || id > UIStringCount)
        return "Invalid String ID " + std::to_string(id);
    return UIStrings[static_cast<std::size_t>(id - 1)];
}

std::string configurationFileFor(const std::string& programFile)
{
    const std::string name = paths::fileNameOf(programFile);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return programFile + ".ini";
    return programFile.substr(0, programFile.size() - (name.size() - dot)) + ".ini";
}

Result<> LoadConfiguration(Configuration& configuration, const std::string& file, const std::string& programDirectory)
{
    configuration = Configuration::defaults(programDirectory);
    return ConfigurationReader(configuration, paths::withTrailingSlash(programDirectory)).read(file);
}

Result<> LoadConfiguration(Configuration& configuration)
{
    return LoadConfiguration(configuration, configurationPlaces(configurationFileFor(fs::programFile()),
                                                                ConfigurationEnvironment::fromProcess()));
}

Result<> LoadRunConfiguration(Configuration& configuration, const std::string& given, const std::string& besideProgram)
{
    if (given.empty())
        return LoadConfiguration(configuration,
                                 configurationPlaces(besideProgram, ConfigurationEnvironment::fromProcess()));
    const std::string file = paths::expand(fs::currentDirectory(), given);
    return LoadConfiguration(configuration, file, paths::directoryOf(file));
}

Result<> LoadConfiguration(Configuration& configuration, const std::vector<std::string>& places)
{
    const std::optional<std::string> found = firstExisting(places);
    if (!found) {
        configuration = Configuration::defaults(fs::programDirectory());
        return fail(noConfigurationMessage(places), NoConfigurationFile);
    }
    return LoadConfiguration(configuration, *found, paths::directoryOf(*found));
}

} // namespace cantorel
