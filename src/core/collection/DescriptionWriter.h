#pragma once

#include "core/platform/Result.h"

#include <optional>
#include <string>

namespace cantorel {

class CodePage;
class Collation;
struct CollectionItem;

// What the description writer needs from the configuration.
class Journal;

struct DescriptionFormat {
    std::string fileName; // the configured description-file name
    const CodePage& oem;
    const CodePage& ansi;
    const Collation& collation;
    std::string root; // the collection's root directory, ending with "/": nothing is written outside it
};

// Writes the record's Description into the description file of the directory that holds
// the entry: the line that the entry takes among the directory's current entries is
// replaced, or a new line is added; every other line keeps its bytes. The failure's
// message is the one to show: "Error while saving file " and the file's path.
// A file that exists but cannot be read, or holds a NUL byte, is never overwritten. Only
// entries inside the collection are described, and a description file that is a link is
// written through only to an existing file inside the collection. With a `journal`, the
// file as it was (or that there was none) is kept there first, under the collection's root.
Result<> WriteDescription(const CollectionItem& item, const DescriptionFormat& format, Journal* journal = nullptr);

// The line the writer makes: the name (quoted when it holds a blank or another control
// character, or begins with a quote) padded with blanks to 15 bytes, one blank, the
// description; all in OEM bytes.
std::string descriptionLine(const std::string& oemName, const std::string& oemDescription);

// Fails, saying why, when a description cannot be written in the description file's code
// page (it holds characters the page lacks).
Result<> checkDescriptionText(const std::string& description, const CodePage& oem);

// The same for the description file of the entry's directory as it is now (a UTF-8 file
// holds every description; a new one every `typed` description).
Result<> checkDescription(const CollectionItem& item, const std::string& description, const DescriptionFormat& format,
                          bool typed = true);

} // namespace cantorel
