#include "core/info/InfoPage.h"

#include "core/collection/CollectionItem.h"
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
    std::string GetUIString(int id) const { return c_.GetUIString(id); }
    std::string FormatDuration(std::int64_t seconds) const { return cantorel::FormatDuration(seconds, c_); }

    const Configuration& c_;
};

std::string PageLines::trackText(const CollectionItem& r, const std::string& genreName) const
{
    // The track number, when the tags give one, follows the comment.
    std::string track;
    if (r.Track > 0)
        track.append(1, '\r').append(GetUIString(TrackLabelString)).append(std::to_string(r.Track));
    const double rate = static_cast<double>(static_cast<std::int64_t>(r.Bitrate) * 1000 / 8) / 1024.0;
    return joinLines({
        "",
        GetUIString(4) + r.Name,
        GetUIString(5) + r.Album,
        GetUIString(6) + r.Artist,
        GetUIString(24) + genreName,
        GetUIString(7) + r.Year,
        GetUIString(25) + r.Comment + track,
        GetUIString(8) + FormatDuration(r.Duration),
        "",
        GetUIString(9) + shown(r.Path),
        GetUIString(10) + std::to_string(r.FileSize / 1024) + " Kb",
        GetUIString(11) + std::to_string(r.Frequency) + " Hz",
        GetUIString(12) + std::to_string(r.Bitrate) + "000 bit/s (" + oneDecimal(rate) + " Kb/s)",
        "",
        GetUIString(26) + c_.Settings.FilesBBS + " : " + r.Description,
        GetUIString(13) + shown(r.PicturePath),
        GetUIString(14) + shown(r.TextPath),
    });
}

std::string PageLines::otherText(const CollectionItem& r, bool playlistsNode) const
{
    const bool playlist = isPlaylist(r.Path);
    std::vector<std::string> lines{"", GetUIString(4) + r.Name, GetUIString(15) + FormatDuration(r.Duration), ""};
    lines.push_back((playlist ? GetUIString(9) : GetUIString(16)) + shown(r.Path));
    if (!playlist && !playlistsNode)
        lines.push_back(GetUIString(17) + oneDecimal(static_cast<double>(r.FileSize) / 1024.0 / 1024.0) + " Mb");
    lines.push_back("");
    lines.push_back(GetUIString(26) + r.Description);
    lines.push_back(GetUIString(13) + shown(r.PicturePath));
    lines.push_back(GetUIString(14) + shown(r.TextPath));
    return joinLines(lines);
}

} // namespace

std::string FormatDuration(std::int64_t t, const Configuration& c)
{
    std::string text = std::to_string(t % 60) + c.GetUIString(1);
    text = std::to_string((t / 60) % 60) + c.GetUIString(2) + text;
    if (t / 3600 > 0)
        text = std::to_string(t / 3600) + c.GetUIString(3) + text;
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
