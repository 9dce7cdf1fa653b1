#pragma once

#include "core/collection/CollectionTree.h"

#include <string>
#include <vector>

namespace cantorel {

// Folders a build could not read (offline: not mounted, share down, no permission) stand
// for what an earlier tree held there: their entries, sizes and playing times are copied
// from `known`, the sums of the folders above them grow by them, and the node table is
// made again. The playlists `known` held in such a folder stand in the playlists node
// again, offline too, in their known place, and the other playlists hold their entries of
// its tracks again where they held them. An offline folder that `known` does not hold
// is dropped, as an unreadable folder always was; an offline root keeps its node.
void keepOfflineFolders(CollectionTree& fresh, const CollectionTree& known);

// The folders (paths without the trailing "/") of the offline nodes of a tree.
std::vector<std::string> offlineFolders(const CollectionTree& tree, const std::string& rootDirectory);

// True when one of these offline folders can be read again and holds something (a disk
// mounted again makes no change a watch would see).
bool anyFolderBack(const std::vector<std::string>& folders);

} // namespace cantorel
