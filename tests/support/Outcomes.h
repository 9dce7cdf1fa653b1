#pragma once

#include "core/config/Configuration.h"
#include "core/config/ConfigurationReader.h"
#include "core/info/TrackInfo.h"
#include "core/platform/Result.h"

#include <stdexcept>
#include <string>

namespace cantorel::test {

// "" for success, else the failure's message: the form the tests compare.
inline std::string errorOf(const Result<>& result) { return result ? std::string() : result.error(); }

// A tag write's outcome as a word: "written", "refused" (the active track) or "failed".
inline std::string outcomeOf(const Result<>& result)
{
    if (result)
        return "written";
    return result.failure().code == ActiveTrackRefused ? "refused" : "failed";
}

// A configuration made in memory from the text of a configuration file, for a program
// living in `programDirectory`.
inline Configuration configurationOf(const std::string& text, const std::string& programDirectory)
{
    Configuration c = Configuration::defaults(programDirectory);
    if (const Result<> read = ConfigurationReader(c, programDirectory).readText(text); !read)
        throw std::runtime_error("bad test configuration: " + read.error());
    return c;
}

} // namespace cantorel::test
