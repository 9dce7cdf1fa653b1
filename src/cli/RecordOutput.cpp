#include "cli/RecordOutput.h"

#include "core/collection/CollectionItem.h"

#include "cli/JsonWriter.h"

#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace cantorel::cli {

namespace {

using Value = std::variant<std::string, std::int64_t>;

std::vector<std::pair<const char*, Value>> fieldsOf(const CollectionItem& r, const CodePage& ansi)
{
    return {
        {"Path", displayPath(r.Path, ansi)},
        {"Name", r.Name},
        {"Artist", r.Artist},
        {"Album", r.Album},
        {"Year", r.Year},
        {"Comment", r.Comment},
        {"Genre", std::int64_t(r.Genre)},
        {"GenreText", r.GenreText},
        {"Track", std::int64_t(r.Track)},
        {"Disc", std::int64_t(r.Disc)},
        {"AlbumArtist", r.AlbumArtist},
        {"FileSize", r.FileSize},
        {"Bitrate", std::int64_t(r.Bitrate)},
        {"Frequency", std::int64_t(r.Frequency)},
        {"Duration", r.Duration},
        {"Description", r.Description},
        {"PicturePath", displayPath(r.PicturePath, ansi)},
        {"TextPath", displayPath(r.TextPath, ansi)},
    };
}

} // namespace

void writeRecord(JsonWriter& json, const CollectionItem& item, const CodePage& ansi)
{
    json.beginObject();
    for (const auto& [key, value] : fieldsOf(item, ansi)) {
        json.key(key);
        std::visit([&](const auto& v) { json.value(v); }, value);
    }
    json.endObject();
}

void printRecord(std::ostream& out, const CollectionItem& item, const CodePage& ansi, const char* indent)
{
    for (const auto& [key, value] : fieldsOf(item, ansi)) {
        out << indent << key << ": ";
        std::visit([&](const auto& v) { out << v; }, value);
        out << '\n';
    }
}

} // namespace cantorel::cli
