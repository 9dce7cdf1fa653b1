#include "core/collection/DescriptionWriter.h"

#include "core/collection/CollectionItem.h"
#include "core/collection/DescriptionList.h"
#include "core/collection/DirectoryListing.h"
#include "core/collection/Journal.h"
#include "core/platform/CodePage.h"
#include "core/platform/FileSystem.h"
#include "core/platform/Paths.h"
#include "core/platform/SafeFileWriter.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace cantorel {

namespace {

constexpr std::size_t NameColumn = 15;
// How long a save waits for another writer of the same directory.
constexpr int LockSeconds = 5;

// The entry's name in OEM bytes, or why it cannot stand in a line of the file.
Result<std::string> oemNameOf(const std::string& shownName, const CodePage& oem)
{
    if (const std::string missing = oem.unencodable(shownName); !missing.empty())
        return fail("its code page " + std::to_string(oem.number()) +
                    " cannot hold these characters of the name: " + missing);
    std::string encoded = oem.encode(shownName);
    if (encoded.empty() || text::trim(encoded).size() != encoded.size())
        return fail("a name that begins or ends with a blank cannot be found again in it");
    if (encoded.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return fail("a name holding a line break or a NUL cannot stand in one of its lines");
    return encoded;
}

bool needsQuotes(const std::string& oemName)
{
    return oemName.front() == '"' || std::any_of(oemName.begin(), oemName.end(), [](char c) {
               return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F;
           });
}

// Line ends inside a description would split the entry's line in two.
std::string oneLine(std::string description)
{
    std::replace_if(
        description.begin(), description.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
    return description;
}

// Fails, saying why, when writing through the link at `path` would leave the collection;
// a file that is no link, or links to an existing file inside `root`, is fine.
Result<> checkLink(const std::string& path, const std::string& root)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    const std::string target = fs::realPath(path);
    if (target.empty())
        return fail("it is a link to a file that does not exist");
    const std::string inside = paths::withTrailingSlash(fs::realPath(root));
    if (!target.starts_with(inside))
        return fail("it is a link to a file outside the collection");
    return {};
}

bool isCtrlZLine(const DescriptionList::Line& line) { return line.raw == "\x1A"; }

// True when a reader of the new lines gives entry `self` the line `written`.
bool readsBack(const std::vector<std::string>& lines, const CodePage& oem, const std::vector<std::string>& names,
               int self, std::size_t written)
{
    std::string data;
    for (const std::string& line : lines)
        data += line + "\r\n";
    return DescriptionList::fromBytes(data, oem).assign(names)[static_cast<std::size_t>(self)] ==
           static_cast<int>(written);
}

} // namespace

std::string descriptionLine(const std::string& oemName, const std::string& oemDescription)
{
    std::string column = needsQuotes(oemName) ? "\"" + oemName + "\"" : oemName;
    if (column.size() < NameColumn)
        column.append(NameColumn - column.size(), ' ');
    return column + " " + oemDescription;
}

Result<> checkDescriptionText(const std::string& description, const CodePage& oem)
{
    const std::string missing = oem.unencodable(description);
    if (missing.empty())
        return {};
    return fail("The description was not saved: code page " + std::to_string(oem.number()) +
                " cannot hold these characters of it: " + missing);
}

Result<> checkDescription(const CollectionItem& item, const std::string& description, const DescriptionFormat& format,
                          bool typed)
{
    const std::string directory = paths::directoryOf(paths::withoutTrailingSlash(item.Path.str()));
    const std::optional<std::string> file = fs::findNameIgnoringCase(directory, format.fileName);
    // A new file holds any typed text: it is made UTF-8 when it must be. A composed text is
    // never the cause of a UTF-8 file.
    if (!file)
        return typed ? Result<>() : checkDescriptionText(description, format.oem);
    const std::optional<DescriptionList> list = DescriptionList::load(directory + *file, format.oem);
    return checkDescriptionText(description, list && list->utf8() ? *CodePage::byNumber(CodePage::Utf8) : format.oem);
}

Result<> WriteDescription(const CollectionItem& item, const DescriptionFormat& format, Journal* journal)
{
    const std::string entryPath = paths::withoutTrailingSlash(item.Path.str());
    if (entryPath.size() < format.root.size() || !entryPath.starts_with(format.root))
        return fail("Not in the collection " + format.root + ": " + item.Path);
    const std::string directory = paths::directoryOf(entryPath);
    const std::string name = paths::fileNameOf(entryPath);
    // One writer at a time in a directory, across processes: what is read below is what
    // the rename replaces.
    const Result<fs::DirectoryLock> lock = fs::DirectoryLock::acquire(directory, LockSeconds);
    if (!lock)
        return fail("Error while saving file " + directory + format.fileName + ": " + lock.error());
    const DirectoryListing listing = DirectoryListing::read(directory, format.collation);
    const std::string fileName = listing.findFile(format.fileName).value_or(format.fileName);
    const std::string filePath = directory + fileName;
    const Failure failure = fail("Error while saving file " + directory + fileName);
    const auto failureBecause = [&](const std::string& reason) { return fail(failure.message + ": " + reason); };
    if (const Result<> link = checkLink(filePath, format.root); !link)
        return failureBecause(link.error());

    const std::optional<fs::FileState> readAs = fs::fileStateOf(filePath);
    DescriptionList list;
    const bool exists = ::access(filePath.c_str(), F_OK) == 0;
    if (exists) {
        std::optional<DescriptionList> loaded = DescriptionList::load(filePath, format.oem);
        if (!loaded || loaded->holdsNul())
            return failure;
        list = std::move(*loaded);
    }
    const std::string shownName = displayName(name, format.ansi);
    // A UTF-8 file takes its new line in UTF-8, whatever the OEM code page; so does a new
    // file whose first text that page cannot hold (the reader knows UTF-8 files again), so
    // that no typed text is refused where nothing stands in its way.
    const bool newInUtf8 = !exists && (!format.oem.canEncode(item.Description) || !format.oem.canEncode(shownName));
    const CodePage& codePage = list.utf8() || newInUtf8 ? *CodePage::byNumber(CodePage::Utf8) : format.oem;
    const Result<std::string> oemName = oemNameOf(shownName, codePage);
    if (!oemName)
        return failureBecause(oemName.error());
    if (Result<> writable = checkDescriptionText(item.Description, codePage); !writable)
        return writable;

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
    int lineIndex = list.assign(names)[static_cast<std::size_t>(self)];
    // A line the entry took only because it begins with the name, going on with another
    // character, names another, longer file: it stays, and the entry gets a line of its own.
    if (lineIndex >= 0) {
        const std::string_view taken = list.lines()[static_cast<std::size_t>(lineIndex)].text;
        const std::string_view t = text::trim(taken);
        if (!DescriptionList::matchesWholeName(taken, shownName) && t.size() > shownName.size() &&
            t[shownName.size()] != '"')
            lineIndex = -1;
    }

    std::vector<std::string> out;
    out.reserve(list.lines().size() + 1);
    for (const DescriptionList::Line& line : list.lines())
        out.emplace_back(line.raw);
    const std::string newLine = descriptionLine(oemName.value(), codePage.encode(oneLine(item.Description)));
    std::size_t written = static_cast<std::size_t>(lineIndex);
    if (lineIndex >= 0) {
        out[written] = newLine;
    } else {
        const bool ctrlZ = !list.lines().empty() && isCtrlZLine(list.lines().back());
        written = out.size() - (ctrlZ ? 1 : 0);
        out.insert(out.begin() + static_cast<long>(written), newLine);
    }
    if (!readsBack(out, format.oem, names, self, written))
        return failureBecause("the name \"" + shownName + "\" would not find its line in it again");
    std::string data;
    for (const std::string& line : out) {
        data += line;
        data += "\r\n";
    }
    std::optional<std::int64_t> save;
    if (journal) {
        const std::optional<std::string> before = exists ? fs::readFile(filePath) : std::nullopt;
        if (exists && !before)
            return failure;
        const JournalEdit::Kind kind = exists ? JournalEdit::Kind::Region : JournalEdit::Kind::MakesFile;
        const Result<std::int64_t> recorded =
            journal->record("description", format.root, {{filePath, 0, before.value_or(""), data, kind}});
        if (!recorded)
            return failureBecause("its old bytes could not be kept first (" + recorded.error() + ")");
        save = recorded.value();
    }
    if (const Result<> replaced = fs::replaceFile(filePath, data, readAs); !replaced)
        return replaced.error() == "another program changed the file meanwhile" ? failureBecause(replaced.error())
                                                                                : failure;
    if (save)
        (void)journal->written(*save); // done; an unreadable journal only loses the undo
    return {};
}

} // namespace cantorel
