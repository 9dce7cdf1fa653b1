#include "core/collection/TreeUpdate.h"

#include <algorithm>

namespace cantorel {

namespace {

// The first entry of a folder; NoNode stands for the root folder without a root node.
NodeId firstIn(const CollectionTree& tree, NodeId folder)
{
    return folder == NoNode ? tree.firstTopLevel() : tree.firstChild(folder);
}

} // namespace

std::optional<TreeUpdate> TreeUpdate::plan(const CollectionTree& shown, const std::string& rootDirectory,
                                           const std::vector<std::string>& changed)
{
    if (shown.PlaylistsNode != NoNode || !shown.offlineNodes().empty())
        return std::nullopt;
    TreeUpdate update;
    update.shownNodes_ = static_cast<std::size_t>(shown.size());
    // Each changed folder and the folders above it are read; a folder beside them is not.
    std::unordered_set<std::string> touched;
    for (std::string path : changed) {
        while (path.size() > 1 && touched.insert(path).second)
            path.resize(std::max<std::size_t>(path.rfind('/'), 1));
    }
    if (shown.RootNode == NoNode)
        update.digests_.emplace(rootDirectory, shown.childrenDigest(NoNode));
    for (const NodeId n : shown.Nodes) {
        if (!shown.isFolder(n))
            continue;
        const CollectionItem& r = *shown.record(n);
        const bool root = n == shown.RootNode;
        if (!root && update.inSkipped(r.Path.str()))
            continue; // below a folder not read
        if (!root && !changed.empty() && !touched.contains(r.Path.str())) {
            const NodeId up = shown.parent(n);
            const CollectionItem* parent = up == NoNode ? nullptr : shown.record(up);
            update.skip_.emplace(r.Path.str(), KnownFolder{r, shown.kind(n), parent ? parent->TextPath.str() : "",
                                                           parent ? parent->PicturePath.str() : ""});
            continue;
        }
        update.digests_.emplace(r.Path.str(), shown.childrenDigest(n));
    }
    return update;
}

bool TreeUpdate::inSkipped(std::string_view path) const
{
    if (skip_.empty())
        return false;
    for (std::string_view p = path;;) {
        if (skip_.contains(std::string(p)))
            return true;
        const std::size_t slash = p.rfind('/');
        if (slash == std::string_view::npos || slash == 0)
            return false;
        p = p.substr(0, slash);
    }
}

bool TreeUpdate::read(BuildSettings settings, BuildProgress* progress)
{
    settings.shownFolders = &digests_;
    settings.skipFolders = skip_.empty() ? nullptr : &skip_;
    CollectionBuilder builder(fresh_, settings, progress);
    builder.BuildTree();
    asShown_.insert(builder.foldersAsShown().begin(), builder.foldersAsShown().end());
    skipped_.insert(builder.foldersSkipped().begin(), builder.foldersSkipped().end());
    return fresh_.PlaylistsNode == NoNode && fresh_.offlineNodes().empty() && !builder.skippedInheritanceChanged();
}

std::vector<std::string> TreeUpdate::foldersNotRead() const
{
    std::vector<std::string> folders;
    for (const auto& [path, known] : skip_)
        folders.push_back(path);
    return folders;
}

bool TreeUpdate::sameAs(const CollectionTree& shown) const
{
    // Each folder read holds what the shown one holds: from the root down, the trees are
    // the same (a folder not read is the same below its record, which its parent's
    // digest holds).
    if ((fresh_.RootNode == NoNode) != (shown.RootNode == NoNode))
        return false;
    if (fresh_.RootNode == NoNode && !asShown_.contains(NoNode))
        return false;
    for (const NodeId n : fresh_.Nodes) {
        if (fresh_.isFolder(n) && !asShown_.contains(n) && !skipped_.contains(n))
            return false;
    }
    const auto devicesRead = [&](const CollectionTree& t) {
        std::unordered_map<std::string, std::uint64_t> devices;
        for (const auto& [path, device] : t.FolderDevices) {
            if (!inSkipped(path))
                devices.emplace(path, device);
        }
        return devices;
    };
    return devicesRead(fresh_) == devicesRead(shown) &&
           (shown.RootNode == NoNode || *fresh_.record(fresh_.RootNode) == *shown.record(shown.RootNode));
}

std::vector<NodeId> TreeUpdate::apply(CollectionTree& shown) const
{
    std::vector<NodeId> changed;
    if (shown.RootNode != NoNode && fresh_.RootNode != NoNode) {
        CollectionItem& root = *shown.record(shown.RootNode);
        if (const CollectionItem& read = *fresh_.record(fresh_.RootNode); !(root == read)) {
            root = read; // in place: the record's address stays
            changed.push_back(shown.RootNode);
        }
    }
    merge(shown, shown.RootNode, fresh_.RootNode, changed);
    // The devices below the folders not read stay as they were.
    std::erase_if(shown.FolderDevices, [&](const auto& entry) { return !inSkipped(entry.first); });
    shown.FolderDevices.insert(fresh_.FolderDevices.begin(), fresh_.FolderDevices.end());
    shown.fillNodeTable();
    return changed;
}

void TreeUpdate::merge(CollectionTree& shown, NodeId shownFolder, NodeId readFolder, std::vector<NodeId>& changed) const
{
    if (skipped_.contains(readFolder))
        return; // not read: what the shown folder holds stays
    if (asShown_.contains(readFolder)) {
        // The same entries, the folders first: only what lies below them may differ.
        NodeId s = firstIn(shown, shownFolder);
        for (NodeId r = firstIn(fresh_, readFolder); r != NoNode && s != NoNode; r = fresh_.nextSibling(r)) {
            merge(shown, s, r, changed);
            s = shown.nextSibling(s);
        }
        return;
    }
    // The folders shown stay where they are read again; everything else is made anew.
    std::unordered_map<std::string, NodeId> folders;
    std::vector<NodeId> gone;
    for (NodeId s = firstIn(shown, shownFolder); s != NoNode; s = shown.nextSibling(s)) {
        if (shown.isFolder(s))
            folders.emplace(shown.record(s)->Path.str(), s);
        else
            gone.push_back(s);
    }
    std::vector<NodeId> order;
    for (NodeId r = firstIn(fresh_, readFolder); r != NoNode; r = fresh_.nextSibling(r)) {
        const CollectionItem& read = *fresh_.record(r);
        const auto kept = fresh_.isFolder(r) ? folders.find(read.Path.str()) : folders.end();
        if (kept == folders.end()) {
            // Not shown before: read whole, since no digest stood for it.
            const NodeId made = shown.addNode(shownFolder, fresh_.caption(r).view(),
                                              shown.newRecord(CollectionItem(read)), fresh_.kind(r));
            shown.copyChildren(made, fresh_, r);
            order.push_back(made);
            continue;
        }
        const NodeId s = kept->second;
        folders.erase(kept);
        if (!(*shown.record(s) == read) || shown.caption(s) != fresh_.caption(r)) {
            *shown.record(s) = read;
            shown.setCaption(s, fresh_.caption(r));
            changed.push_back(s);
        }
        shown.setKind(s, fresh_.kind(r));
        merge(shown, s, r, changed);
        order.push_back(s);
    }
    for (const auto& [path, s] : folders)
        gone.push_back(s);
    for (const NodeId s : gone)
        shown.removeSubtree(s, true);
    for (const NodeId s : order)
        shown.moveUnder(shownFolder, s);
}

} // namespace cantorel
