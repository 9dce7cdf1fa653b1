#include "core/collection/FolderUpdate.h"

#include "core/platform/Paths.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace cantorel {

namespace {

// A folder below the root.
bool isFolder(const CollectionTree& tree, NodeId n) { return tree.isFolder(n) && n != tree.RootNode; }

bool isUnder(std::string_view path, std::string_view folder)
{
    return path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/';
}

// The folder nodes of a tree by path (no trailing "/").
std::unordered_map<std::string, NodeId> folderNodes(const CollectionTree& tree)
{
    std::unordered_map<std::string, NodeId> byPath;
    for (const NodeId n : tree.Nodes) {
        if (isFolder(tree, n))
            byPath.emplace(tree.record(n)->Path.str(), n);
    }
    return byPath;
}

// The device a folder lies on, as the build recorded it for it or the nearest folder above.
std::uint64_t deviceOf(const CollectionTree& tree, std::string folder)
{
    for (;;) {
        if (const auto it = tree.FolderDevices.find(folder); it != tree.FolderDevices.end())
            return it->second;
        const std::size_t slash = folder.rfind('/');
        if (slash == std::string::npos || slash == 0)
            return 0;
        folder.resize(slash);
    }
}

// Adds the records of the tracks below `node` to `tracks`.
void tracksBelow(const CollectionTree& tree, NodeId node, std::unordered_set<const CollectionItem*>& tracks)
{
    for (NodeId n = tree.firstChild(node); n != NoNode; n = tree.nextSibling(n)) {
        if (tree.kind(n) == KindTrack)
            tracks.insert(tree.record(n));
        else
            tracksBelow(tree, n, tracks);
    }
}

bool sameDevicesUnder(const CollectionTree& a, const CollectionTree& b, const std::string& folder)
{
    const auto under = [&](const CollectionTree& t) {
        std::map<std::string, std::uint64_t> devices;
        for (const auto& [path, device] : t.FolderDevices) {
            if (path == folder || isUnder(path, folder))
                devices.emplace(path, device);
        }
        return devices;
    };
    return under(a) == under(b);
}

} // namespace

std::optional<FolderUpdate> FolderUpdate::plan(const CollectionTree& tree, const std::string& rootDirectory,
                                               const std::vector<std::string>& changed)
{
    if (!tree.offlineNodes().empty() || tree.NodeCount() == 0 || changed.empty())
        return std::nullopt;
    const std::string root = paths::withoutTrailingSlash(rootDirectory);
    const std::unordered_map<std::string, NodeId> byPath = folderNodes(tree);
    // The nearest folder of the tree at or above each changed one; one of them holds a
    // folder that is not in the tree yet.
    std::vector<std::string> anchors;
    for (std::string path : changed) {
        while (!byPath.contains(path)) {
            if (!isUnder(path, root))
                return std::nullopt; // the root itself, or outside the collection
            path.resize(path.rfind('/'));
        }
        anchors.push_back(std::move(path));
    }
    std::sort(anchors.begin(), anchors.end());
    anchors.erase(std::unique(anchors.begin(), anchors.end()), anchors.end());
    const std::vector<std::string> all = anchors;
    std::erase_if(anchors, [&](const std::string& path) {
        return std::any_of(all.begin(), all.end(), [&](const std::string& a) { return isUnder(path, a); });
    });

    FolderUpdate update;
    std::unordered_set<const CollectionItem*> below; // the records of the tracks the folders hold
    for (const std::string& path : anchors) {
        const NodeId node = byPath.at(path);
        Folder& f = update.folders_.emplace_back();
        const CollectionItem& r = *tree.record(node);
        f.seed.record.Path = r.Path;
        f.seed.record.Name = r.Name;
        f.seed.record.Description = r.Description;
        f.seed.record.Genre = r.Genre;
        const NodeId up = tree.parent(node);
        if (const CollectionItem* parent = up == NoNode ? nullptr : tree.record(up)) {
            f.seed.textPage = parent->TextPath;
            f.seed.picture = parent->PicturePath;
        }
        f.seed.device = deviceOf(tree, path.substr(0, path.rfind('/')));
        f.seed.above.push_back(rootDirectory);
        for (NodeId n = up; n != NoNode; n = tree.parent(n)) {
            if (n != tree.RootNode)
                f.seed.above.push_back(tree.record(n)->Path + "/");
        }
        tracksBelow(tree, node, below);
    }
    // Playlists are resolved against the whole tree: a change that touches one is not a
    // change of a few folders.
    if (tree.PlaylistsNode != NoNode) {
        for (NodeId p = tree.firstChild(tree.PlaylistsNode); p != NoNode; p = tree.nextSibling(p)) {
            for (const std::string& path : anchors) {
                if (isUnder(tree.record(p)->Path.str(), path))
                    return std::nullopt;
            }
            for (NodeId e = tree.firstChild(p); e != NoNode; e = tree.nextSibling(e)) {
                if (below.contains(tree.record(e)))
                    return std::nullopt;
            }
        }
    }
    return update;
}

bool FolderUpdate::read(const BuildSettings& settings)
{
    for (Folder& f : folders_) {
        f.found = CollectionBuilder(f.fresh, settings).BuildFolder(f.seed);
        if (f.found == FolderRead::Whole)
            return false;
    }
    return true;
}

bool FolderUpdate::sameAs(const CollectionTree& tree) const
{
    const std::unordered_map<std::string, NodeId> byPath = folderNodes(tree);
    for (const Folder& f : folders_) {
        const auto it = byPath.find(f.seed.record.Path.str());
        if (f.found != FolderRead::Tracks || it == byPath.end() ||
            !tree.sameSubtree(it->second, f.fresh, f.fresh.firstTopLevel()) ||
            !sameDevicesUnder(tree, f.fresh, f.seed.record.Path))
            return false;
    }
    return true;
}

std::vector<NodeId> FolderUpdate::apply(CollectionTree& tree) const
{
    std::vector<NodeId> changed;
    for (const Folder& f : folders_) {
        if (const NodeId node = applyFolder(tree, f); node != NoNode)
            changed.push_back(node);
    }
    tree.fillNodeTable();
    return changed;
}

NodeId FolderUpdate::applyFolder(CollectionTree& tree, const Folder& f) const
{
    const std::string path = f.seed.record.Path.str();
    NodeId node = NoNode;
    for (const NodeId n : tree.Nodes) {
        if (isFolder(tree, n) && tree.record(n)->Path == path) {
            node = n;
            break;
        }
    }
    if (node == NoNode)
        return NoNode;
    std::erase_if(tree.FolderDevices,
                  [&](const auto& entry) { return entry.first == path || isUnder(entry.first, path); });
    const CollectionItem old = *tree.record(node);
    NodeId up = tree.parent(node);
    if (f.found != FolderRead::Tracks) {
        // Without tracks the folder leaves the tree, and so does each folder above it that
        // holds nothing else now (never the root).
        tree.removeSubtree(node, true);
        tree.addToSums(up, -old.FileSize, -old.Duration);
        while (up != NoNode && up != tree.RootNode && tree.firstChild(up) == NoNode) {
            const NodeId next = tree.parent(up);
            tree.removeSubtree(up, true);
            up = next;
        }
        return NoNode;
    }
    const NodeId top = f.fresh.firstTopLevel();
    const CollectionItem& now = *f.fresh.record(top);
    while (tree.firstChild(node) != NoNode)
        tree.removeSubtree(tree.firstChild(node), true);
    *tree.record(node) = now; // in place: the record's address stays
    tree.setKind(node, f.fresh.kind(top));
    tree.setCaption(node, f.fresh.caption(top));
    tree.copyChildren(node, f.fresh, top);
    tree.addToSums(up, now.FileSize - old.FileSize, now.Duration - old.Duration);
    tree.FolderDevices.insert(f.fresh.FolderDevices.begin(), f.fresh.FolderDevices.end());
    return node;
}

} // namespace cantorel
