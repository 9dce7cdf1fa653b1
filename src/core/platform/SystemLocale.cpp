#include "core/platform/SystemLocale.h"

#include <array>
#include <cstdlib>
#include <string_view>

namespace cantorel::locale {

namespace {

std::string nonEmptyVariable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& list, std::string_view value)
{
    for (std::string_view item : list) {
        if (item == value)
            return true;
    }
    return false;
}

} // namespace

std::string localeName(const char* categoryVariable)
{
    for (const char* name : {"LC_ALL", categoryVariable, "LANG"}) {
        std::string value = nonEmptyVariable(name);
        if (!value.empty())
            return value;
    }
    return "C";
}

std::string languageOf(const std::string& localeName)
{
    const std::size_t end = localeName.find_first_of("_.@");
    std::string language = localeName.substr(0, end);
    if (language == "C" || language == "POSIX")
        return {};
    return language;
}

CodePagePair defaultCodePages(const std::string& localeName)
{
    static constexpr std::array<std::string_view, 5> cyrillic{"ru", "uk", "be", "bg", "sr"};
    static constexpr std::array<std::string_view, 7> central{"pl", "cs", "sk", "hu", "hr", "sl", "ro"};
    static constexpr std::array<std::string_view, 17> western{"de", "fr", "es", "it", "pt", "nl", "da", "sv", "nb",
                                                              "nn", "no", "fi", "is", "ca", "eu", "gl", "ga"};
    const std::string language = languageOf(localeName);
    if (contains(cyrillic, language))
        return {866, 1251};
    if (contains(central, language))
        return {852, 1250};
    if (contains(western, language))
        return {850, 1252};
    return {437, 1252};
}

} // namespace cantorel::locale
