#include "collection/CollectionItem.h"

#include "platform/CodePage.h"
#include "platform/TextRules.h"

namespace cantorel {

std::string displayName(const std::string& name, const CodePage& ansi)
{
    return text::isValidUtf8(name) ? name : ansi.decode(name);
}

CollectionItem CreateEntry(const std::string& directory, const std::string& name, const CodePage& ansi,
                           const std::optional<std::string>& description)
{
    CollectionItem item;
    item.Path = directory + name;
    item.Name = text::cutChars(displayName(name, ansi), CollectionItem::TextLimit);
    item.Genre = 255;
    // A matched line with an empty description keeps the entry's own name as caption.
    if (description && !description->empty()) {
        item.Description = text::cutChars(*description, CollectionItem::DescriptionLimit);
        item.Name = text::cutChars(*description, CollectionItem::TextLimit);
    }
    return item;
}

} // namespace cantorel
