#include "core/config/ConfigurationReader.h"

#include "core/platform/CodePage.h"
#include "core/platform/FileSystem.h"
#include "core/platform/Paths.h"
#include "core/platform/TextFile.h"
#include "core/platform/TextRules.h"

#include <charconv>
#include <cstdlib>
#include <functional>
#include <vector>

namespace cantorel {

namespace {

constexpr std::size_t SettingTextLimit = 255;
constexpr std::size_t GenreNameLimit = 40;

std::string lineNumberError(const char* text, int number) { return text + std::to_string(number); }

std::optional<bool> parseSwitch(std::string_view value, const char* yes, const char* no)
{
    const std::string folded = text::foldAZ(value);
    if (folded == yes)
        return true;
    if (folded == no)
        return false;
    return std::nullopt;
}

std::optional<int> parseCodePage(std::string_view value)
{
    int number = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (ec != std::errc() || end != value.data() + value.size() || !CodePage::byNumber(number))
        return std::nullopt;
    return number;
}

} // namespace

ConfigurationReader::ConfigurationReader(Configuration& configuration, std::string programDirectory)
    : settings_(configuration.Settings), strings_(configuration.UIStrings), genres_(configuration.GenreTable),
      programDirectory_(std::move(programDirectory))
{
}

std::optional<std::string_view> ConfigurationReader::matchKey(std::string_view key, std::string_view line)
{
    if (!text::startsWithFolded(line, key))
        return std::nullopt;
    std::string_view rest = text::trim(line.substr(key.size()));
    if (rest.empty() || rest.front() != '=')
        return std::nullopt;
    return text::trim(rest.substr(1));
}

std::optional<long> ConfigurationReader::parseNumber(std::string_view digits)
{
    std::size_t pos = 0;
    while (pos < digits.size() && digits[pos] == ' ')
        ++pos;
    bool negative = false;
    if (pos < digits.size() && (digits[pos] == '+' || digits[pos] == '-'))
        negative = digits[pos++] == '-';
    int base = 10;
    if (pos < digits.size() && digits[pos] == '$') {
        base = 16;
        ++pos;
    }
    if (pos >= digits.size())
        return std::nullopt;
    long value = 0;
    const auto [end, ec] = std::from_chars(digits.data() + pos, digits.data() + digits.size(), value, base);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits[pos] == '-' || digits[pos] == '+')
        return std::nullopt;
    return negative ? -value : value;
}

std::string ConfigurationReader::unquote(std::string_view value)
{
    std::string s(value);
    if (!s.empty() && s.front() == '\'')
        s.erase(0, 1);
    if (!s.empty() && s.back() == '\'')
        s.pop_back();
    if (const std::size_t pair = s.find("''"); pair != std::string::npos)
        s.erase(pair, 1);
    return s;
}

std::string ConfigurationReader::textValue(std::string_view raw) const
{
    if (utf8_)
        return std::string(raw);
    return CodePage::byNumber(textPage_)->decode(raw);
}

void ConfigurationReader::findAnsiPage(const std::string& data)
{
    textPage_ = settings_.ANSICodePage;
    for (std::string_view line : text::splitLines(data)) {
        if (auto value = matchKey("ANSICodePage", text::trim(line))) {
            if (auto page = parseCodePage(*value))
                textPage_ = *page;
        }
    }
}

Result<> ConfigurationReader::read(const std::string& file)
{
    std::optional<std::string> data = fs::readFile(file);
    if (!data)
        return fail("Unable to open file " + paths::expand(fs::currentDirectory(), file));
    return readText(std::move(*data));
}

Result<> ConfigurationReader::readText(std::string bytes)
{
    // The keys are ASCII: a first pass over the bytes finds the ANSI code page the text
    // values of a file that is not UTF-8 are in.
    utf8_ = TextFile::isUtf8(bytes);
    const std::string data(TextFile::withoutMark(bytes));
    if (!utf8_)
        findAnsiPage(data);
    int number = 0;
    for (std::string_view line : text::splitLines(data)) {
        if (Result<> read = readLine(text::trim(line), ++number); !read)
            return read;
    }
    return {};
}

Result<> ConfigurationReader::readLine(std::string_view line, int number)
{
    const Result<bool> key = readKey(line, number);
    if (!key || key.value())
        return key ? Result<>() : Result<>(key.failure());
    if (text::startsWithFolded(line, "genre"))
        readGenre(line);
    else
        readString(line);
    return {};
}

Result<bool> ConfigurationReader::readKey(std::string_view line, int number)
{
    std::string error;
    using Handler = std::function<void(std::string_view)>;
    const auto text255 = [this](std::string& field) {
        return [this, &field](std::string_view v) { field = text::cutChars(textValue(v), SettingTextLimit); };
    };
    const auto fileName = [](std::string& field) {
        return [&field](std::string_view v) { field = paths::namePartOfSetting(v); };
    };
    // A switch of two words: `yes` sets the field, `no` clears it, anything else is an error.
    const auto choice = [&](bool& field, const char* yes, const char* no) {
        return [&, number, yes, no](std::string_view v) {
            if (auto value = parseSwitch(v, yes, no))
                field = *value;
            else
                error = lineNumberError("Invalid parameter value in line ", number);
        };
    };
    const auto yesNo = [&](bool& field) { return choice(field, "yes", "no"); };
    const auto codePageSwitch = [&](bool& field) { return choice(field, "oem", "ansi"); };
    const auto codePageNumber = [&](int& field) {
        return [&, number](std::string_view v) {
            if (auto page = parseCodePage(v))
                field = *page;
            else
                error = lineNumberError("Invalid parameter value in line ", number);
        };
    };
    const std::pair<const char*, Handler> keys[] = {
        {"WindowTitle", text255(settings_.WindowTitle)},
        {"Icon",
         [&, number](std::string_view v) {
             const std::string path = paths::expand(fs::currentDirectory(), v, true);
             if (v.empty() || !fs::isRegularFile(path))
                 error = "Can't find file (line " + std::to_string(number) + ")";
             else
                 settings_.Icon = path;
         }},
        {"MP3RootName", text255(settings_.MP3RootName)},
        {"MP3RootDir",
         [this](std::string_view v) {
             settings_.MP3RootDir = paths::withTrailingSlash(paths::expand(programDirectory_, v, true));
         }},
        {"FilesBBS", fileName(settings_.FilesBBS)},
        {"DirInfoTXT", fileName(settings_.DirInfoTXT)},
        {"DirInfoRTF", fileName(settings_.DirInfoRTF)},
        {"DirInfoBMP", fileName(settings_.DirInfoBMP)},
        {"TXTCodePage",
         [&, number](std::string_view v) {
             // "65001": text pages are UTF-8.
             settings_.TXTUtf8 = v == "65001";
             if (settings_.TXTUtf8)
                 return;
             if (auto value = parseSwitch(v, "oem", "ansi"))
                 settings_.TXTCodePage = *value;
             else
                 error = lineNumberError("Invalid parameter value in line ", number);
         }},
        {"TAGCodePage", codePageSwitch(settings_.TAGCodePage)},
        {"AllowEdit", yesNo(settings_.AllowEdit)},
        {"ComposeDescriptions", yesNo(settings_.ComposeDescriptions)},
        {"ReadID3v2", yesNo(settings_.ReadID3v2)},
        {"ProbeCache", yesNo(settings_.ProbeCache)},
        {"SearchLatin", yesNo(settings_.SearchLatin)},
        {"InstantStart", yesNo(settings_.InstantStart)},
        {"SweepMinutes",
         [&, number](std::string_view v) {
             int minutes = -1;
             const auto [end, status] = std::from_chars(v.data(), v.data() + v.size(), minutes);
             if (v.empty() || status != std::errc() || end != v.data() + v.size() || minutes < 0 || minutes > 10080)
                 error = lineNumberError("Invalid parameter value in line ", number);
             else
                 settings_.SweepMinutes = minutes;
         }},
        {"ReplayGain",
         [&, number](std::string_view v) {
             const std::string mode = text::foldAZ(std::string(v));
             if (mode == "off" || mode == "track" || mode == "album")
                 settings_.ReplayGain = mode;
             else
                 error = lineNumberError("Invalid parameter value in line ", number);
         }},
        {"ReplayGainPreamp",
         [&, number](std::string_view v) {
             // Read the same in every locale: a point before the decimals.
             const std::string_view text = !v.empty() && v.front() == '+' ? v.substr(1) : v;
             double db = 0;
             const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), db);
             if (text.empty() || status != std::errc() || end != text.data() + text.size() ||
                 !(db >= -15.0 && db <= 15.0))
                 error = lineNumberError("Invalid parameter value in line ", number);
             else
                 settings_.ReplayGainPreamp = db;
         }},
        {"OEMCodePage", codePageNumber(settings_.OEMCodePage)},
        {"ANSICodePage", codePageNumber(settings_.ANSICodePage)},
    };
    for (const auto& [key, handler] : keys) {
        if (auto value = matchKey(key, line)) {
            handler(*value);
            if (!error.empty())
                return fail(std::move(error));
            return true;
        }
    }
    return false;
}

void ConfigurationReader::readGenre(std::string_view line)
{
    const std::string_view rest = line.substr(5);
    const std::size_t numberBytes = text::cutChars(rest, 3).size();
    const auto number = parseNumber(rest.substr(0, numberBytes));
    if (!number || genres_.size() >= GenreTableCapacity)
        return;
    std::string_view name = text::trim(rest.substr(numberBytes));
    if (!name.empty() && name.front() == '=')
        name = text::trim(name.substr(1));
    genres_.push_back({static_cast<std::uint8_t>(*number & 0xFF), text::cutChars(textValue(name), GenreNameLimit)});
}

bool ConfigurationReader::readString(std::string_view line)
{
    for (int n = UIStringCount; n >= 1; --n) {
        if (auto value = matchKey("String" + std::to_string(n), line)) {
            strings_[static_cast<std::size_t>(n - 1)] = unquote(textValue(*value));
            return true;
        }
    }
    return false;
}

} // namespace cantorel
