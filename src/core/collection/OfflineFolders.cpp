#include "core/collection/OfflineFolders.h"

#include "core/platform/Paths.h"

#include <algorithm>
#include <dirent.h>
#include <unordered_map>

namespace cantorel {

namespace {

// The folder nodes of a tree by path.
std::unordered_map<std::string, NodeId> foldersOf(const CollectionTree& tree)
{
    std::unordered_map<std::string, NodeId> folders;
    for (const NodeId n : tree.Nodes) {
        if (tree.isFolder(n))
            folders.emplace(tree.record(n)->Path.str(), n);
    }
    return folders;
}

// The whole collection is offline: everything known stands in for it.
void keepRoot(CollectionTree& fresh, const CollectionTree& known)
{
    if (fresh.RootNode != NoNode && known.RootNode != NoNode) {
        fresh.copyChildren(fresh.RootNode, known, known.RootNode);
        const CollectionItem& k = *known.record(known.RootNode);
        CollectionItem& r = *fresh.record(fresh.RootNode);
        r.FileSize = k.FileSize;
        r.Duration = k.Duration;
        if (fresh.firstChild(fresh.RootNode) != NoNode)
            fresh.setKind(fresh.RootNode, known.kind(known.RootNode));
        for (NodeId n = known.firstTopLevel(); n != NoNode; n = known.nextSibling(n)) {
            if (n == known.PlaylistsNode) {
                CollectionItem* copy = fresh.newRecord(CollectionItem(*known.record(n)));
                fresh.PlaylistsNode = fresh.addNode(NoNode, known.caption(n).view(), copy, KindPlaylists);
                fresh.copyChildren(fresh.PlaylistsNode, known, n);
            }
        }
    } else if (fresh.RootNode == NoNode) {
        fresh.copyChildren(NoNode, known, NoNode);
        for (NodeId n = fresh.firstTopLevel(); n != NoNode; n = fresh.nextSibling(n)) {
            if (fresh.kind(n) == KindPlaylists)
                fresh.PlaylistsNode = n;
        }
    }
}

// True when `path` lies in the folder `folder` (no trailing "/") or below it.
bool liesIn(std::string_view path, std::string_view folder)
{
    return path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/';
}

// The playlists `known` held in the folders put back (paths, with why each is offline)
// stand in the playlists node again, each after the playlist that stood before it there.
void keepOfflinePlaylists(CollectionTree& fresh, const CollectionTree& known,
                          const std::vector<std::pair<std::string, std::string>>& keptFolders)
{
    if (known.PlaylistsNode == NoNode || keptFolders.empty())
        return;
    std::vector<NodeId> order; // of the fresh playlists node
    if (fresh.PlaylistsNode != NoNode) {
        for (NodeId n = fresh.firstChild(fresh.PlaylistsNode); n != NoNode; n = fresh.nextSibling(n))
            order.push_back(n);
    }
    const auto placeOf = [&](const RecordPath& path) {
        return std::find_if(order.begin(), order.end(), [&](NodeId n) { return fresh.record(n)->Path == path; });
    };
    auto after = order.begin(); // where the next playlist put back goes
    for (NodeId k = known.firstChild(known.PlaylistsNode); k != NoNode; k = known.nextSibling(k)) {
        const CollectionItem& playlist = *known.record(k);
        const std::string path = playlist.Path.str();
        const auto folder = std::find_if(keptFolders.begin(), keptFolders.end(),
                                         [&](const auto& kept) { return liesIn(path, kept.first); });
        if (folder == keptFolders.end()) {
            if (const auto at = placeOf(playlist.Path); at != order.end())
                after = at + 1;
            continue;
        }
        if (fresh.PlaylistsNode == NoNode) {
            CollectionItem* record = fresh.newRecord(CollectionItem(*known.record(known.PlaylistsNode)));
            record->Duration = 0;
            fresh.PlaylistsNode =
                fresh.addNode(NoNode, known.caption(known.PlaylistsNode).view(), record, KindPlaylists);
        }
        const NodeId copy = fresh.addNode(fresh.PlaylistsNode, known.caption(k).view(),
                                          fresh.newRecord(CollectionItem(playlist)), known.kind(k));
        fresh.copyChildren(copy, known, k);
        fresh.markOffline(copy, folder->second);
        fresh.record(fresh.PlaylistsNode)->Duration += playlist.Duration;
        after = order.insert(after, copy) + 1;
    }
    for (const NodeId n : order)
        fresh.moveUnder(fresh.PlaylistsNode, n);
}

// The records of the tracks in and below `folder`, by path.
void tracksBelow(const CollectionTree& tree, NodeId folder, std::unordered_map<std::string, CollectionItem*>& tracks)
{
    for (NodeId c = tree.firstChild(folder); c != NoNode; c = tree.nextSibling(c)) {
        if (tree.kind(c) == KindTrack && tree.record(c))
            tracks.emplace(tree.record(c)->Path.str(), tree.record(c));
        tracksBelow(tree, c, tracks);
    }
}

// A playlist read now lacks the entries of the tracks in the folders put back: they are
// put back too, where the playlist known before held them (after the entry before them).
void keepOfflineEntries(CollectionTree& fresh, const CollectionTree& known, const std::vector<NodeId>& keptFolders)
{
    if (fresh.PlaylistsNode == NoNode || known.PlaylistsNode == NoNode || keptFolders.empty())
        return;
    std::unordered_map<std::string, CollectionItem*> putBack;
    for (const NodeId folder : keptFolders)
        tracksBelow(fresh, folder, putBack);
    std::unordered_map<std::string, NodeId> knownLists;
    for (NodeId k = known.firstChild(known.PlaylistsNode); k != NoNode; k = known.nextSibling(k))
        knownLists.emplace(known.record(k)->Path.str(), k);
    for (NodeId list = fresh.firstChild(fresh.PlaylistsNode); list != NoNode; list = fresh.nextSibling(list)) {
        const auto was = knownLists.find(fresh.record(list)->Path.str());
        if (was == knownLists.end() || !fresh.offlineReason(list).empty())
            continue;
        std::vector<NodeId> order;
        for (NodeId e = fresh.firstChild(list); e != NoNode; e = fresh.nextSibling(e))
            order.push_back(e);
        std::size_t next = 0; // the place after the last entry matched or put back
        bool added = false;
        for (NodeId k = known.firstChild(was->second); k != NoNode; k = known.nextSibling(k)) {
            const CollectionItem* entry = known.record(k);
            if (!entry)
                continue;
            const auto track = putBack.find(entry->Path.str());
            if (track == putBack.end()) {
                const auto same = std::find_if(order.begin() + static_cast<std::ptrdiff_t>(next), order.end(),
                                               [&](NodeId e) { return fresh.record(e)->Path == entry->Path; });
                if (same != order.end())
                    next = static_cast<std::size_t>(same - order.begin()) + 1;
                continue;
            }
            CollectionItem* record = track->second;
            const NodeId copy = fresh.addNode(list, record->Name, record, KindTrack);
            order.insert(order.begin() + static_cast<std::ptrdiff_t>(next++), copy);
            fresh.record(list)->Duration += record->Duration;
            fresh.record(fresh.PlaylistsNode)->Duration += record->Duration;
            added = true;
        }
        if (added) {
            for (const NodeId e : order)
                fresh.moveUnder(list, e);
        }
    }
}

} // namespace

void keepOfflineFolders(CollectionTree& fresh, const CollectionTree& known)
{
    if (fresh.offlineNodes().empty())
        return;
    const auto folders = foldersOf(known);
    std::vector<NodeId> unknown;
    std::vector<std::pair<std::string, std::string>> kept; // the folders put back, and why
    std::vector<NodeId> keptNodes;
    // Copied first: the marks change while folders are put back.
    const auto offline = fresh.offlineNodes();
    for (const auto& [node, reason] : offline) {
        if (node == NoNode || node == fresh.RootNode) {
            keepRoot(fresh, known);
            continue;
        }
        CollectionItem& r = *fresh.record(node);
        const auto found = folders.find(r.Path.str());
        if (found == folders.end()) {
            unknown.push_back(node);
            continue;
        }
        const CollectionItem& k = *known.record(found->second);
        fresh.copyChildren(node, known, found->second);
        fresh.setKind(node, known.kind(found->second));
        r.FileSize = k.FileSize;
        r.Duration = k.Duration;
        r.TextPath = k.TextPath;
        r.PicturePath = k.PicturePath;
        fresh.addToSums(fresh.parent(node), k.FileSize, k.Duration);
        kept.emplace_back(found->first, reason);
        keptNodes.push_back(node);
    }
    keepOfflineEntries(fresh, known, keptNodes);
    keepOfflinePlaylists(fresh, known, kept);
    for (const NodeId node : unknown) {
        fresh.clearOffline(node);
        fresh.removeLeaf(node);
    }
    fresh.fillNodeTable();
}

bool anyFolderBack(const std::vector<std::string>& folders)
{
    for (const std::string& folder : folders) {
        DIR* dir = ::opendir(folder.c_str());
        if (!dir)
            continue;
        bool entries = false;
        while (const dirent* e = ::readdir(dir)) {
            const std::string_view name = e->d_name;
            if (name != "." && name != "..") {
                entries = true;
                break;
            }
        }
        ::closedir(dir);
        if (entries)
            return true;
    }
    return false;
}

std::vector<std::string> offlineFolders(const CollectionTree& tree, const std::string& rootDirectory)
{
    std::vector<std::string> folders;
    for (const auto& [node, reason] : tree.offlineNodes()) {
        if (node == NoNode || node == tree.RootNode)
            folders.push_back(paths::withoutTrailingSlash(rootDirectory));
        else if (tree.isFolder(node)) // not a playlist put back from such a folder
            folders.push_back(tree.record(node)->Path.str());
    }
    return folders;
}

} // namespace cantorel
