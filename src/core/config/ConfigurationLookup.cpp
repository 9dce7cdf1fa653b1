#include "core/config/ConfigurationLookup.h"

#include "core/platform/FileSystem.h"
#include "core/platform/Paths.h"

#include <cstdlib>

namespace cantorel {

namespace {

constexpr const char* FileInFolder = "cantorel/cantorel.ini";

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

ConfigurationEnvironment ConfigurationEnvironment::fromProcess()
{
    return {variable("HOME"), variable("XDG_CONFIG_HOME"), variable("XDG_CONFIG_DIRS")};
}

std::string ConfigurationEnvironment::userFile() const
{
    // A relative value counts as unset, as the XDG base directory rules say.
    const std::string base = configHome.starts_with('/') ? configHome : home + "/.config";
    return paths::withTrailingSlash(base) + FileInFolder;
}

std::vector<std::string> configurationPlaces(const std::string& beside, const ConfigurationEnvironment& env)
{
    std::vector<std::string> places{beside, env.userFile()};
    const std::string dirs = env.configDirs.empty() ? "/etc/xdg" : env.configDirs;
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, end - start);
        if (dir.starts_with('/'))
            places.push_back(paths::withTrailingSlash(dir) + FileInFolder);
        start = end + 1;
    }
    return places;
}

std::optional<std::string> firstExisting(const std::vector<std::string>& places)
{
    for (const std::string& place : places) {
        if (fs::isRegularFile(place))
            return place;
    }
    return std::nullopt;
}

std::string noConfigurationMessage(const std::vector<std::string>& places)
{
    std::string message = "No configuration file was found. Looked at:";
    for (const std::string& place : places)
        message += "\n" + place;
    return message;
}

} // namespace cantorel
