#include "core/collection/TreeUpdate.h"

namespace cantorel {

namespace {

bool isFolder(const CollectionTree& tree, NodeId n)
{
    const std::uint8_t kind = tree.kind(n);
    return (kind == KindDirectory || kind == KindRootOrParent) && tree.record(n);
}

} // namespace

std::optional<TreeUpdate> TreeUpdate::plan(const CollectionTree& shown)
{
    if (shown.RootNode == NoNode || shown.PlaylistsNode != NoNode || !shown.offlineNodes().empty())
        return std::nullopt;
    TreeUpdate update;
    for (const NodeId n : shown.Nodes) {
        if (isFolder(shown, n)) {
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
    return fresh_.RootNode != NoNode && fresh_.PlaylistsNode == NoNode && fresh_.offlineNodes().empty();
}

bool TreeUpdate::sameAs(const CollectionTree& shown) const
{
    // Each folder read holds what the shown one holds: from the root down, the trees are
    // the same.
    std::size_t folders = 0;
    for (const NodeId n : fresh_.Nodes) {
        if (!isFolder(fresh_, n))
            continue;
        if (!asShown_.contains(n))
            return false;
        ++folders;
    }
    return folders == folders_ && *fresh_.record(fresh_.RootNode) == *shown.record(shown.RootNode) &&
           fresh_.FolderDevices == shown.FolderDevices;
}

std::vector<NodeId> TreeUpdate::apply(CollectionTree& shown) const
{
    std::vector<NodeId> changed;
    CollectionItem& root = *shown.record(shown.RootNode);
    if (const CollectionItem& read = *fresh_.record(fresh_.RootNode); !(root == read)) {
        root = read; // in place: the record's address stays
        changed.push_back(shown.RootNode);
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
        NodeId s = shown.firstChild(shownFolder);
        for (NodeId r = fresh_.firstChild(readFolder); r != NoNode && s != NoNode; r = fresh_.nextSibling(r)) {
            merge(shown, s, r, changed);
            s = shown.nextSibling(s);
        }
        return;
    }
    // The folders shown stay where they are read again; everything else is made anew.
    std::unordered_map<std::string_view, NodeId> folders;
    std::vector<NodeId> gone;
    for (NodeId s = shown.firstChild(shownFolder); s != NoNode; s = shown.nextSibling(s)) {
        if (isFolder(shown, s))
            folders.emplace(shown.record(s)->Path.view(), s);
        else
            gone.push_back(s);
    }
    std::vector<NodeId> order;
    for (NodeId r = fresh_.firstChild(readFolder); r != NoNode; r = fresh_.nextSibling(r)) {
        const CollectionItem& read = *fresh_.record(r);
        const auto kept = isFolder(fresh_, r) ? folders.find(read.Path.view()) : folders.end();
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
