#include "core/collection/CollectionItem.h"

#include "core/platform/CodePage.h"
#include "core/platform/Paths.h"
#include "core/platform/TextRules.h"

#include <algorithm>

namespace cantorel {

std::string displayName(const std::string& name, const CodePage& ansi)
{
    return text::isValidUtf8(name) ? name : ansi.decode(name);
}

std::string displayPath(const std::string& path, const CodePage& ansi)
{
    if (text::isValidUtf8(path))
        return path;
    std::string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        out += displayName(path.substr(start, slash - start), ansi);
        if (slash < path.size())
            out += '/';
        start = slash + 1;
    }
    return out;
}

void FillEntry(CollectionItem& item, const std::string& name, const CodePage& ansi,
               const std::optional<std::string_view>& description, const TextSetter& set)
{
    item.Genre = 255;
    // A matched line with an empty description keeps the entry's own name as caption.
    if (description && !description->empty()) {
        set(item.Description, text::charPrefix(*description, CollectionItem::DescriptionLimit));
        set(item.Name, text::charPrefix(*description, CollectionItem::TextLimit));
    } else if (text::isValidUtf8(name)) {
        set(item.Name, text::charPrefix(name, CollectionItem::TextLimit));
    } else {
        set(item.Name, text::charPrefix(ansi.decode(name), CollectionItem::TextLimit));
    }
}

CollectionItem CreateEntry(const std::string& directory, const std::string& name, const CodePage& ansi,
                           const std::optional<std::string>& description)
{
    CollectionItem item;
    item.Path = directory + name;
    FillEntry(item, name, ansi, description ? std::optional<std::string_view>(*description) : std::nullopt,
              [](CompactString& field, std::string_view text) { field = text; });
    return item;
}

} // namespace cantorel
