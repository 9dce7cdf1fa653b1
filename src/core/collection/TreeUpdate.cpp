#include "core/collection/TreeUpdate.h"

namespace cantorel {

namespace {

// The first entry of a folder; NoNode stands for the root folder without a root node.
NodeId firstIn(const CollectionTree& tree, NodeId folder)
{
    return folder == NoNode ? tree.firstTopLevel() : tree.firstChild(folder);
}

} // namespace

std::optional<TreeUpdate> TreeUpdate::plan(const CollectionTree& shown, const std::string& rootDirectory)
{
    if (shown.PlaylistsNode != NoNode || !shown.offlineNodes().empty())
        return std::nullopt;
    TreeUpdate update;
    if (shown.RootNode == NoNode) {
        update.digests_.emplace(rootDirectory, shown.childrenDigest(NoNode));
        ++update.folders_;
    }
    for (const NodeId n : shown.Nodes) {
        if (shown.isFolder(n)) {
            update.digests_.emplace(shown.record(n)->Path.str(), shown.childrenDigest(n));
            ++update.folders_;
        }
    }
    return update;
}

bool TreeUpdate::read(BuildSettings settings, BuildProgress* progress)
{
    settings.shownFolders = &digests_;
    CollectionBuilder builder(fresh_, settings, progress);
    builder.BuildTree();
    asShown_.insert(builder.foldersAsShown().begin(), builder.foldersAsShown().end());
    return fresh_.PlaylistsNode == NoNode && fresh_.offlineNodes().empty();
}

bool TreeUpdate::sameAs(const CollectionTree& shown) const
{
    // Each folder read holds what the shown one holds: from the root down, the trees are
    // the same.
    if ((fresh_.RootNode == NoNode) != (shown.RootNode == NoNode))
        return false;
    std::size_t folders = 0;
    if (fresh_.RootNode == NoNode) {
        if (!asShown_.contains(NoNode))
            return false;
        ++folders;
    }
    for (const NodeId n : fresh_.Nodes) {
        if (!fresh_.isFolder(n))
            continue;
        if (!asShown_.contains(n))
            return false;
        ++folders;
    }
    return folders == folders_ && fresh_.FolderDevices == shown.FolderDevices &&
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
    shown.FolderDevices = fresh_.FolderDevices;
    shown.fillNodeTable();
    return changed;
}

void TreeUpdate::merge(CollectionTree& shown, NodeId shownFolder, NodeId readFolder, std::vector<NodeId>& changed) const
{
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
    std::unordered_map<std::string_view, NodeId> folders;
    std::vector<NodeId> gone;
    for (NodeId s = firstIn(shown, shownFolder); s != NoNode; s = shown.nextSibling(s)) {
        if (shown.isFolder(s))
            folders.emplace(shown.record(s)->Path.view(), s);
        else
            gone.push_back(s);
    }
    std::vector<NodeId> order;
    for (NodeId r = firstIn(fresh_, readFolder); r != NoNode; r = fresh_.nextSibling(r)) {
        const CollectionItem& read = *fresh_.record(r);
        const auto kept = fresh_.isFolder(r) ? folders.find(read.Path.view()) : folders.end();
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
        shown.removeSubtree(s);
    for (const NodeId s : order)
        shown.moveUnder(shownFolder, s);
}

} // namespace cantorel
