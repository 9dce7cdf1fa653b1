#pragma once

#include "core/config/Configuration.h"

#include <optional>
#include <string>
#include <string_view>

namespace cantorel {

// Reads one configuration file into the configuration it is given, line by line, stopping at the
// first error. Used through LoadConfiguration.
class ConfigurationReader {
public:
    ConfigurationReader(Configuration& configuration, std::string programDirectory);

    Result<> read(const std::string& file);
    // The same for the text of a file.
    Result<> readText(std::string data);

    // The value of `line` for `key`: the key's letters compared with A-Z folded, then "=",
    // blanks allowed around it; nothing when the line is not that key.
    static std::optional<std::string_view> matchKey(std::string_view key, std::string_view line);

    // Reads a number the way the genre lines write it: leading blanks, a sign, "$" for
    // hexadecimal; nothing when the text holds anything else.
    static std::optional<long> parseNumber(std::string_view digits);

    // The quote rules of interface-string values.
    static std::string unquote(std::string_view value);

private:
    // Fails with the message of a line that cannot be read; a line no key, genre or
    // string matches is passed over.
    Result<> readLine(std::string_view line, int number);
    // True when the line sets a key, which may fail.
    Result<bool> readKey(std::string_view line, int number);
    void readGenre(std::string_view line);
    bool readString(std::string_view line);
    std::string textValue(std::string_view raw) const;
    void findAnsiPage(const std::string& data);

    SettingsRecord& settings_;
    std::array<std::string, UIStringCount>& strings_;
    std::vector<GenreEntry>& genres_;
    std::string programDirectory_;
    bool utf8_ = true;
    int textPage_ = 1252;
};

} // namespace cantorel
