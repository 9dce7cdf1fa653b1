#include "collection/TrackProbe.h"

#include "collection/CollectionItem.h"
#include "platform/TextRules.h"

namespace cantorel {

void applyProbe(CollectionItem& item, const TrackProbe& probe)
{
    if (probe.headerRead) {
        item.Bitrate = probe.Bitrate;
        item.Frequency = probe.Frequency;
        item.FileSize = probe.FileSize;
    }
    if (probe.Duration)
        item.Duration = *probe.Duration;
    if (!probe.tag)
        return;
    const auto store = [](std::string& field, const std::string& value) {
        if (!value.empty())
            field = text::cutChars(value, CollectionItem::TextLimit);
    };
    store(item.Name, probe.tag->title);
    store(item.Artist, probe.tag->artist);
    store(item.Album, probe.tag->album);
    store(item.Year, probe.tag->year);
    store(item.Comment, probe.tag->comment);
    item.Genre = probe.tag->genre;
}

} // namespace cantorel
