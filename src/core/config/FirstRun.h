#pragma once

#include "core/platform/SystemLocale.h"

#include <string>
#include <vector>

namespace cantorel {

// The configuration a first run writes: the chosen music folder, the code-page pair of the
// user's locale, every interface string in English, the genre list (`genreNames[n]` is
// genre n) and editing off, with comments.
std::string firstRunConfiguration(const std::string& musicFolder, const std::vector<std::string>& genreNames,
                                  const locale::CodePagePair& codePages);

} // namespace cantorel
