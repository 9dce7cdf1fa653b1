#pragma once

#include <string>

namespace cantorel::locale {

// The user's locale for one category, as POSIX programs find it: LC_ALL, else the
// category's own variable (LC_CTYPE or LC_COLLATE), else LANG; "C" when none is set.
std::string localeName(const char* categoryVariable);

// The language part of a locale name ("ru" for "ru_RU.UTF-8"); empty for C and POSIX.
std::string languageOf(const std::string& localeName);

struct CodePagePair {
    int oem;
    int ansi;
};

// The OEM and ANSI code pages that a system of this language uses.
CodePagePair defaultCodePages(const std::string& localeName);

} // namespace cantorel::locale
