#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cantorel {

// What the configuration lookup reads from the environment.
struct ConfigurationEnvironment {
    std::string home;       // $HOME
    std::string configHome; // $XDG_CONFIG_HOME, "" when unset
    std::string configDirs; // $XDG_CONFIG_DIRS, "" when unset

    static ConfigurationEnvironment fromProcess();
    // $XDG_CONFIG_HOME/cantorel/cantorel.ini ($HOME/.config when unset or relative).
    std::string userFile() const;
};

// The configuration files a program looks at, first match wins: `beside` (the file beside
// the program), the user's ($XDG_CONFIG_HOME), then each of $XDG_CONFIG_DIRS (/etc/xdg
// when unset).
std::vector<std::string> configurationPlaces(const std::string& beside, const ConfigurationEnvironment& env);

// The first of `places` that is a regular file.
std::optional<std::string> firstExisting(const std::vector<std::string>& places);

// The message when none exists: every place looked at.
std::string noConfigurationMessage(const std::vector<std::string>& places);

} // namespace cantorel
