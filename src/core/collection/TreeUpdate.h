#pragma once

#include "core/collection/CollectionBuilder.h"
#include "core/collection/CollectionTree.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace cantorel {

class BuildProgress;

// A reading of the whole collection that keeps only what differs from the tree shown:
// a folder holding what the shown tree holds there keeps its folder node alone, without
// its tracks, so that the reading costs little memory besides the shown tree. What it
// found is then put in the shown tree in place: every node that stayed keeps its id and
// its record's address.
class TreeUpdate {
public:
    // What the shown tree of the collection at `rootDirectory` (ending with "/") holds,
    // folder by folder (on the shown tree's thread). Nothing when the tree has offline
    // folders or playlists: those are read into a new tree.
    static std::optional<TreeUpdate> plan(const CollectionTree& shown, const std::string& rootDirectory);

    // Reads the collection (on any thread). False when it found offline folders or
    // playlists: then it is read into a new tree.
    bool read(BuildSettings settings, BuildProgress* progress);
    // True when what was read is what `shown` shows.
    bool sameAs(const CollectionTree& shown) const;
    // Puts what was read in `shown`, and fills its node table again. Returns the nodes
    // that stayed but hold a new record; new nodes have new ids.
    std::vector<NodeId> apply(CollectionTree& shown) const;

private:
    // Puts what the read folder `read` holds under the shown folder `shown`.
    void merge(CollectionTree& shown, NodeId shownFolder, NodeId readFolder, std::vector<NodeId>& changed) const;

    std::unordered_map<std::string, std::uint64_t> digests_; // of the shown folders, by path
    std::size_t folders_ = 0;                                // folder nodes of the shown tree
    CollectionTree fresh_;
    std::unordered_set<NodeId> asShown_; // folders of `fresh_` whose tracks were left out (NoNode: the root)
};

} // namespace cantorel
