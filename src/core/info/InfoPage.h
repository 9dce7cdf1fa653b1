#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cantorel {

struct CollectionItem;
struct Configuration;
struct GenreEntry;

// A playing time in words: seconds, minutes always, hours from one hour on, each number
// followed by its unit (interface strings 1, 2, 3), no leading zeros.
std::string FormatDuration(std::int64_t seconds, const Configuration& configuration);

// What the description page shows for a node.
struct InfoPageSubject {
    const CollectionItem& record;
    bool track; // a record and kind 3 (playlist entries included)
    bool playlistsNode;
    std::string genreName;
};

// The description page's text: lines separated by carriage returns, beginning with an
// empty line; each line an interface string followed by its value.
std::string DescriptionPageText(const InfoPageSubject& subject, const Configuration& configuration);

class Collation;

// The name of the genre with this number as the editor's genre list shows it: the list
// is sorted by name (the empty entry first), and the first entry with the number wins;
// "" when no entry has it.
std::string genreNameOf(std::uint8_t number, const std::vector<GenreEntry>& genres, const Collation& collation);

// The genre a record shows: the name its tag gave, else the table's name of its number.
std::string genreShown(const CollectionItem& record, const std::vector<GenreEntry>& genres, const Collation& collation);

// The genre table sorted by name as the editor's list shows it, after the empty entry
// (number -1).
std::vector<std::pair<std::string, int>> sortedGenreList(const std::vector<GenreEntry>& genres,
                                                         const Collation& collation);

// A number with one decimal and a point, whatever the locale ("15.6").
std::string oneDecimal(double value);

} // namespace cantorel
