#pragma once

#include "core/collection/CollectionBuilder.h"
#include "core/collection/CollectionTree.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace cantorel {

// A change seen in a few folders of a collection, read without reading the rest: each
// changed folder is read again with what lies below it, and put in the shown tree in
// place of what it held there. The sums of the folders above follow, a folder left
// without tracks leaves the tree (and so does a folder above it left empty), and every
// other node keeps its id.
class FolderUpdate {
public:
    // What to read for the `changed` folders (paths without a trailing "/") of `tree`:
    // the nearest folder of the tree at or above each. Nothing when the change reaches the
    // root, or the tree has offline folders, or a playlist lies in a changed folder or
    // names a track in it: then the whole collection is read.
    static std::optional<FolderUpdate> plan(const CollectionTree& tree, const std::string& rootDirectory,
                                            const std::vector<std::string>& changed);

    // Reads the folders (on any thread). False when one of them holds what only a reading
    // of the whole collection can place (a playlist, an offline or a linked folder).
    bool read(const BuildSettings& settings);
    // True when what was read is what `tree` shows.
    bool sameAs(const CollectionTree& tree) const;
    // Puts what was read in `tree`, and fills its node table again. Returns the nodes that
    // stayed but hold a new record (the folders read); new nodes have new ids.
    std::vector<NodeId> apply(CollectionTree& tree) const;

private:
    struct Folder {
        FolderSeed seed;
        FolderRead found = FolderRead::Whole;
        CollectionTree fresh;
    };
    NodeId applyFolder(CollectionTree& tree, const Folder& folder) const;

    std::deque<Folder> folders_; // a deque: a tree does not move without throwing
};

} // namespace cantorel
