#include "core/collection/TrackProbe.h"

#include "core/collection/CollectionItem.h"
#include "core/platform/TextRules.h"

namespace cantorel {

void applyProbe(CollectionItem& item, const TrackProbe& probe, const TextSetter& set)
{
    if (probe.headerRead) {
        item.Bitrate = bitrateOf(probe.Bitrate);
        item.Frequency = frequencyOf(probe.Frequency);
        item.FileSize = probe.FileSize;
    }
    if (probe.Duration)
        item.Duration = *probe.Duration;
    if (!probe.tag && !probe.extended)
        return;
    const TrackProbe::Tag none;
    const TrackProbe::Tag& v1 = probe.tag ? *probe.tag : none;
    const TrackProbe::Tag& v2 = probe.extended ? *probe.extended : none;
    const auto put = [&](CompactString& field, std::string_view value) {
        const std::string_view text = text::charPrefix(value, CollectionItem::TextLimit);
        if (set)
            set(field, text);
        else
            field = text;
    };
    const auto store = [&](CompactString& field, const std::string& preferred, const std::string& fallback) {
        const std::string& value = preferred.empty() ? fallback : preferred;
        if (!value.empty())
            put(field, value);
    };
    store(item.Name, v2.title, v1.title);
    store(item.Artist, v2.artist, v1.artist);
    store(item.Album, v2.album, v1.album);
    store(item.Year, v2.year, v1.year);
    store(item.Comment, v2.comment, v1.comment);
    if (probe.tag)
        item.Genre = v1.genre;
    if (v2.genre != 255) {
        item.Genre = v2.genre;
    } else if (!v2.genreText.empty()) {
        item.Genre = 255;
        put(item.GenreText, v2.genreText);
    }
    item.Track = v2.track > 0 ? v2.track : v1.track;
    item.TrackTotal = v2.track > 0 ? v2.trackTotal : 0;
    store(item.AlbumArtist, v2.albumArtist, {});
    item.Disc = v2.disc;
    item.DiscTotal = v2.discTotal;
}

} // namespace cantorel
