#include "core/info/InfoPage.h"

#include "core/collection/CollectionItem.h"
#include "core/collection/FileKinds.h"
#include "core/config/Configuration.h"
#include "core/platform/Collation.h"
#include "core/platform/Paths.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace cantorel {

namespace {

std::string joinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += '\r';
        text += lines[i];
    }
    return text;
}

// The page's lines for one configuration.
class PageLines {
public:
    explicit PageLines(const Configuration& configuration) : c_(configuration) {}

    std::string trackText(const CollectionItem& r, const std::string& genreName) const;
    std::string otherText(const CollectionItem& r, bool playlistsNode) const;

private:
    std::string shown(const std::string& path) const { return displayPath(path, c_.Settings.ansi()); }
    std::string GetUIString(UiString id) const { return c_.GetUIString(id); }
    std::string FormatDuration(std::int64_t seconds) const { return cantorel::FormatDuration(seconds, c_); }

    const Configuration& c_;
};

std::string PageLines::trackText(const CollectionItem& r, const std::string& genreName) const
{
    // The track number, when the tags give one, follows the comment.
    std::string track;
    if (r.Track > 0)
        track.append(1, '\r').append(GetUIString(UiString::TrackNumberCaption)).append(std::to_string(r.Track));
    const double rate = static_cast<double>(static_cast<std::int64_t>(r.Bitrate) * 1000 / 8) / 1024.0;
    return joinLines({
        "",
        GetUIString(UiString::NameCaption) + r.Name,
        GetUIString(UiString::AlbumCaption) + r.Album,
        GetUIString(UiString::ArtistCaption) + r.Artist,
        GetUIString(UiString::GenreCaption) + genreName,
        GetUIString(UiString::YearCaption) + r.Year,
        GetUIString(UiString::CommentCaption) + r.Comment + track,
        GetUIString(UiString::DurationCaption) + FormatDuration(r.Duration),
        "",
        GetUIString(UiString::FileCaption) + shown(r.Path),
        GetUIString(UiString::FileSizeCaption) + std::to_string(r.FileSize / 1024) + " Kb",
        GetUIString(UiString::FrequencyCaption) + std::to_string(r.Frequency) + " Hz",
        GetUIString(UiString::BitrateCaption) + std::to_string(r.Bitrate) + "000 bit/s (" + oneDecimal(rate) + " Kb/s)",
        "",
        GetUIString(UiString::DescriptionCaption) + c_.Settings.FilesBBS + " : " + r.Description,
        GetUIString(UiString::PictureFileCaption) + shown(r.PicturePath),
        GetUIString(UiString::TextFileCaption) + shown(r.TextPath),
    });
}

std::string PageLines::otherText(const CollectionItem& r, bool playlistsNode) const
{
    const bool playlist = FileKinds::isPlaylist(r.Path.fileName());
    std::vector<std::string> lines{"", GetUIString(UiString::NameCaption) + r.Name,
                                   GetUIString(UiString::TotalDurationCaption) + FormatDuration(r.Duration), ""};
    lines.push_back((playlist ? GetUIString(UiString::FileCaption) : GetUIString(UiString::PathCaption)) +
                    shown(r.Path));
    if (!playlist && !playlistsNode)
        lines.push_back(GetUIString(UiString::TotalSizeCaption) +
                        oneDecimal(static_cast<double>(r.FileSize) / 1024.0 / 1024.0) + " Mb");
    lines.push_back("");
    lines.push_back(GetUIString(UiString::DescriptionCaption) + r.Description);
    lines.push_back(GetUIString(UiString::PictureFileCaption) + shown(r.PicturePath));
    lines.push_back(GetUIString(UiString::TextFileCaption) + shown(r.TextPath));
    return joinLines(lines);
}

} // namespace

std::string FormatDuration(std::int64_t t, const Configuration& c)
{
    std::string text = std::to_string(t % 60) + c.GetUIString(UiString::SecondsUnit);
    text = std::to_string((t / 60) % 60) + c.GetUIString(UiString::MinutesUnit) + text;
    if (t / 3600 > 0)
        text = std::to_string(t / 3600) + c.GetUIString(UiString::HoursUnit) + text;
    return text;
}

std::vector<std::pair<std::string, int>> sortedGenreList(const std::vector<GenreEntry>& genres,
                                                         const Collation& collation)
{
    std::vector<std::pair<std::string, int>> entries{{std::string(), -1}};
    for (const GenreEntry& g : genres)
        entries.emplace_back(g.GenreName, g.Number);
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const auto& a, const auto& b) { return collation.less(a.first, b.first); });
    return entries;
}

std::string genreNameOf(std::uint8_t number, const std::vector<GenreEntry>& genres, const Collation& collation)
{
    for (const auto& [name, n] : sortedGenreList(genres, collation)) {
        if (n == number)
            return name;
    }
    return {};
}

std::string genreShown(const CollectionItem& r, const std::vector<GenreEntry>& genres, const Collation& collation)
{
    return r.GenreText.empty() ? genreNameOf(r.Genre, genres, collation) : r.GenreText.str();
}

std::string oneDecimal(double value)
{
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0.0");
}

std::string DescriptionPageText(const InfoPageSubject& s, const Configuration& configuration)
{
    const PageLines lines(configuration);
    return s.track ? lines.trackText(s.record, s.genreName) : lines.otherText(s.record, s.playlistsNode);
}

} // namespace cantorel
