#include "core/collection/OfflineFolders.h"

#include "core/platform/Paths.h"

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

} // namespace

void keepOfflineFolders(CollectionTree& fresh, const CollectionTree& known)
{
    if (fresh.offlineNodes().empty())
        return;
    const auto folders = foldersOf(known);
    std::vector<NodeId> unknown;
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
    }
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
        else if (const CollectionItem* r = tree.record(node))
            folders.push_back(r->Path.str());
    }
    return folders;
}

} // namespace cantorel
