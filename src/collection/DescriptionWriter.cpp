#include "collection/DescriptionWriter.h"

#include "collection/CollectionItem.h"
#include "collection/DescriptionList.h"
#include "collection/DirectoryListing.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/SafeFileWriter.h"
#include "platform/TextRules.h"

#include <algorithm>
#include <unistd.h>

namespace cantorel {

namespace {

constexpr std::size_t NameColumn = 15;

// The entry's name in OEM bytes, or nothing when the name could not be matched again
// after a round trip through the file.
std::optional<std::string> oemNameOf(const std::string& shownName, const CodePage& oem)
{
    if (!oem.canEncode(shownName))
        return std::nullopt;
    std::string encoded = oem.encode(shownName);
    if (encoded.empty() || text::trim(encoded).size() != encoded.size())
        return std::nullopt;
    if (encoded.find_first_of("\r\n\"") != std::string::npos || encoded.find('\0') != std::string::npos)
        return std::nullopt;
    return encoded;
}

// Line ends inside a description would split the entry's line in two.
std::string oneLine(std::string description)
{
    std::replace_if(
        description.begin(), description.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
    return description;
}

bool isCtrlZLine(const DescriptionList::Line& line) { return line.raw == "\x1A"; }

} // namespace

std::string descriptionLine(const std::string& oemName, const std::string& oemDescription)
{
    std::string column = oemName.find(' ') != std::string::npos ? "\"" + oemName + "\"" : oemName;
    if (column.size() < NameColumn)
        column.append(NameColumn - column.size(), ' ');
    return column + " " + oemDescription;
}

Result<> WriteDescription(const CollectionItem& item, const DescriptionFormat& format)
{
    const std::string entryPath = paths::withoutTrailingSlash(item.Path);
    const std::string directory = paths::directoryOf(entryPath);
    const std::string name = paths::fileNameOf(entryPath);
    const DirectoryListing listing = DirectoryListing::read(directory, format.collation);
    const std::string fileName = listing.findFile(format.fileName).value_or(format.fileName);
    const std::string filePath = directory + fileName;
    const Failure failure = fail("Error while saving file " + directory + fileName);

    const std::string shownName = displayName(name, format.ansi);
    const std::optional<std::string> oemName = oemNameOf(shownName, format.oem);
    if (!oemName)
        return failure;

    DescriptionList list;
    if (::access(filePath.c_str(), F_OK) == 0) {
        std::optional<DescriptionList> loaded = DescriptionList::load(filePath, format.oem);
        if (!loaded || loaded->holdsNul())
            return failure;
        list = std::move(*loaded);
    }

    // The entry takes the line that the scan would give it among the directory's
    // current entries; an entry the scan would not list comes after them.
    std::vector<std::string> names;
    int self = -1;
    for (const std::string& entry : listing.scanOrder()) {
        if (entry == name)
            self = static_cast<int>(names.size());
        names.push_back(displayName(entry, format.ansi));
    }
    if (self < 0) {
        self = static_cast<int>(names.size());
        names.push_back(shownName);
    }
    const int lineIndex = list.assign(names)[static_cast<std::size_t>(self)];

    std::vector<std::string> out;
    out.reserve(list.lines().size() + 1);
    for (const DescriptionList::Line& line : list.lines())
        out.push_back(line.raw);
    const std::string newLine = descriptionLine(*oemName, format.oem.encode(oneLine(item.Description)));
    if (lineIndex >= 0) {
        out[static_cast<std::size_t>(lineIndex)] = newLine;
    } else {
        const bool ctrlZ = !list.lines().empty() && isCtrlZLine(list.lines().back());
        out.insert(ctrlZ ? out.end() - 1 : out.end(), newLine);
    }
    std::string data;
    for (const std::string& line : out) {
        data += line;
        data += "\r\n";
    }
    if (!fs::replaceFile(filePath, data))
        return failure;
    return {};
}

} // namespace cantorel
