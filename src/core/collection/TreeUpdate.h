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

// A reading of the collection that keeps only what differs from the tree shown: a folder
// holding what the shown tree holds there keeps its folder node alone, without its
// tracks, so that the reading costs little memory besides the shown tree; when the
// folders where changes were seen are known, the folders beside them are not entered at
// all. What it found is then put in the shown tree in place: every node that stayed
// keeps its id and its record's address.
class TreeUpdate {
public:
    // What the shown tree of the collection at `rootDirectory` (ending with "/") holds,
    // folder by folder (on the shown tree's thread). With `changed` folders (paths
    // without a trailing "/"), the folders where nothing changed are not read again.
    // Nothing when the tree has offline folders or playlists: those are read into a new
    // tree.
    static std::optional<TreeUpdate> plan(const CollectionTree& shown, const std::string& rootDirectory,
                                          const std::vector<std::string>& changed = {});

    // Reads the collection (on any thread). False when it found offline folders or
    // playlists, or a change above a folder not read that it may inherit: then it is
    // read into a new tree.
    bool read(BuildSettings settings, BuildProgress* progress);
    // The folders not read (paths without a trailing "/"): what is known of their tracks
    // stays known.
    std::vector<std::string> foldersNotRead() const;
    // The nodes of the tree shown when the update was planned.
    std::size_t shownNodes() const { return shownNodes_; }
    // True when what was read is what `shown` shows.
    bool sameAs(const CollectionTree& shown) const;
    // Puts what was read in `shown`, and fills its node table again. Returns the nodes
    // that stayed but hold a new record; new nodes have new ids.
    std::vector<NodeId> apply(CollectionTree& shown) const;

private:
    // Puts what the read folder `read` holds under the shown folder `shown`.
    void merge(CollectionTree& shown, NodeId shownFolder, NodeId readFolder, std::vector<NodeId>& changed) const;
    // True for a path in or below a folder not read.
    bool inSkipped(std::string_view path) const;

    std::unordered_map<std::string, std::uint64_t> digests_; // of the shown folders read, by path
    std::unordered_map<std::string, KnownFolder> skip_;      // folders not read, by path
    CollectionTree fresh_;
    std::size_t shownNodes_ = 0;
    std::unordered_set<NodeId> asShown_; // folders of `fresh_` whose tracks were left out (NoNode: the root)
    std::unordered_set<NodeId> skipped_; // folders of `fresh_` not read: the shown ones stay
};

} // namespace cantorel
