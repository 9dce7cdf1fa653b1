#include "cli/CliApplication.h"

#include "app/Configuration.h"
#include "cli/JsonWriter.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/TextRules.h"

#include <ostream>

namespace cantorel::cli {

namespace {

constexpr const char* Version = "0.1.0";

constexpr const char* HelpText = R"(Usage: cantorel-cli [--config FILE] [--json] COMMAND [ARGS]

Runs the Cantorel core without a window.

Options:
  --config FILE   read this configuration file (default: cantorel.ini beside the program);
                  its directory stands for the program's directory
  --json          print one JSON document instead of text

Commands:
  config          print the settings, the interface strings and the genre table
  version         print the version
  --help          print this text

Exit status: 0 on success, 1 when a command fails, 2 on a configuration or usage error.
)";

const char* codePageName(bool oem) { return oem ? "oem" : "ansi"; }

} // namespace

std::string displayPath(const std::string& path)
{
    if (text::isValidUtf8(path))
        return path;
    return Settings.ansi().decode(path);
}

CliApplication::CliApplication(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

std::vector<CliApplication::Command> CliApplication::commands()
{
    return {
        {"config", true, [this](const auto&) { return printConfiguration(); }},
        {"version", false, [this](const auto&) { return printVersion(); }},
        {"--help", false, [this](const auto&) { return printHelp(); }},
        {"help", false, [this](const auto&) { return printHelp(); }},
    };
}

int CliApplication::usageError(const std::string& message)
{
    err_ << "cantorel-cli: " << message << "\nTry 'cantorel-cli --help'.\n";
    return 2;
}

void CliApplication::emit(const JsonWriter& json) { out_ << json.text(); }

int CliApplication::run(const std::vector<std::string>& args)
{
    std::string configFile;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json_ = true;
        } else if (args[i] == "--config") {
            if (++i >= args.size())
                return usageError("--config needs a file name");
            configFile = args[i];
        } else {
            break;
        }
    }
    if (i >= args.size())
        return usageError("no command given");
    const std::string name = args[i];
    const std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
    for (const Command& command : commands()) {
        if (name != command.name)
            continue;
        if (command.needsConfiguration) {
            if (configFile.empty())
                configFile = fs::programDirectory() + "cantorel.ini";
            const std::string full = paths::expand(fs::currentDirectory(), configFile);
            const std::string error = LoadConfiguration(full, paths::directoryOf(full));
            if (!error.empty()) {
                err_ << error << '\n';
                return 2;
            }
        }
        return command.run(rest);
    }
    return usageError("unknown command '" + name + "'");
}

int CliApplication::printHelp()
{
    out_ << HelpText;
    return 0;
}

int CliApplication::printVersion()
{
    if (json_) {
        JsonWriter json;
        json.beginObject();
        json.key("version");
        json.value(Version);
        json.endObject();
        emit(json);
    } else {
        out_ << "cantorel-cli " << Version << '\n';
    }
    return 0;
}

int CliApplication::printConfiguration()
{
    const SettingsRecord& s = Settings;
    const std::pair<const char*, std::string> texts[] = {
        {"WindowTitle", s.WindowTitle},        {"Icon", displayPath(s.Icon)},
        {"MP3RootName", s.MP3RootName},        {"MP3RootDir", displayPath(s.MP3RootDir)},
        {"FilesBBS", displayPath(s.FilesBBS)}, {"DirInfoTXT", displayPath(s.DirInfoTXT)},
        {"DirInfoRTF", displayPath(s.DirInfoRTF)}, {"DirInfoBMP", displayPath(s.DirInfoBMP)},
        {"TXTCodePage", codePageName(s.TXTCodePage)}, {"TAGCodePage", codePageName(s.TAGCodePage)},
    };
    if (!json_) {
        for (const auto& [key, value] : texts)
            out_ << key << " = " << value << '\n';
        out_ << "AllowEdit = " << (s.AllowEdit ? "yes" : "no") << '\n';
        out_ << "OEMCodePage = " << s.OEMCodePage << "\nANSICodePage = " << s.ANSICodePage << '\n';
        for (int n = 1; n <= UIStringCount; ++n)
            out_ << "String" << n << " = " << GetUIString(n) << '\n';
        for (const GenreEntry& g : GenreTable)
            out_ << "Genre " << int(g.Number) << " = " << g.GenreName << '\n';
        return 0;
    }
    JsonWriter json;
    json.beginObject();
    json.key("Settings");
    json.beginObject();
    for (const auto& [key, value] : texts) {
        json.key(key);
        json.value(value);
    }
    json.key("AllowEdit");
    json.value(s.AllowEdit);
    json.key("OEMCodePage");
    json.value(s.OEMCodePage);
    json.key("ANSICodePage");
    json.value(s.ANSICodePage);
    json.endObject();
    json.key("UIStrings");
    json.beginArray();
    for (int n = 1; n <= UIStringCount; ++n)
        json.value(GetUIString(n));
    json.endArray();
    json.key("Genres");
    json.beginArray();
    for (const GenreEntry& g : GenreTable) {
        json.beginObject();
        json.key("Number");
        json.value(int(g.Number));
        json.key("GenreName");
        json.value(g.GenreName);
        json.endObject();
    }
    json.endArray();
    json.endObject();
    emit(json);
    return 0;
}

} // namespace cantorel::cli
