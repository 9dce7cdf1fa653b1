#pragma once

#include "core/collection/CollectionItem.h"
#include "core/platform/TextPool.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace cantorel {

using NodeId = std::int32_t;
constexpr NodeId NoNode = -1;

// Node kinds, which are also the tree's state-image indices.
enum NodeKind : std::uint8_t {
    KindRootOrParent = 1, // the root node, or a directory under which a subdirectory was added
    KindDirectory = 2,
    KindTrack = 3, // a track, and every resolved entry under a playlist
    KindPlaylist = 4,
    KindPlaylists = 5,
};

// The collection tree without any widget: nodes with their kind, caption, record,
// parent and children, plus the node table in tree order. Records are owned here and
// may be shared by several nodes (a track and its playlist entries).
class CollectionTree {
public:
    // A new zero-filled record owned by the tree; its address stays valid.
    CollectionItem* newRecord();
    CollectionItem* newRecord(CollectionItem&& item);

    // Adds a node as the last child of `parent` (a top-level node for NoNode).
    NodeId addNode(NodeId parent, std::string_view caption, CollectionItem* record, std::uint8_t kind);
    // Takes a node without children out of the tree.
    void removeLeaf(NodeId node);
    // Takes a node and everything below it out of the tree. Their records stay allocated
    // until the tree is cleared; with `releaseTexts`, emptied (no other node may share
    // them then).
    void removeSubtree(NodeId node, bool releaseTexts = false);
    // Makes a top-level node the last top-level node.
    void moveToEnd(NodeId node);
    // Makes `node` the last child of `parent`, taking it from where it was.
    void moveUnder(NodeId parent, NodeId node);
    // Keeps the long texts of `record`, a record of this tree, in the tree's text pool
    // instead of heap blocks of their own. Texts assigned later take blocks of their own
    // again, as any string does.
    void keepTexts(CollectionItem& record);
    // Sets `to`, a text of this tree's records, to `text`, kept in the pool when long.
    void keepText(CompactString& to, std::string_view text)
    {
        const bool pooled = text.size() > CompactString::InlineCapacity && text.size() <= CompactString::BorrowLimit;
        to.borrow(pooled ? texts_.keep(text) : text);
    }
    // Gives `to` the text `from` of a record or caption of this tree, kept once.
    void shareText(CompactString& to, const CompactString& from);
    // Sets `to`, the path of a record of this tree, to the whole path `path`, kept in the
    // pool.
    void keepPath(RecordPath& to, std::string_view path)
    {
        to.borrow(path.size() <= CompactString::BorrowLimit ? texts_.keep(path) : path);
    }
    // Sets `to` to the path of the entry `name` of the folder whose record's path is
    // `folder`: a link to the folder's path when the pool keeps that whole, else whole.
    void keepPathIn(RecordPath& to, const RecordPath& folder, std::string_view name);
    // What was made so far: the nodes and records ever made, and the texts kept.
    struct Slots {
        std::size_t nodes = 0;
        std::size_t records = 0;
        TextPool::Mark texts;
    };
    Slots madeSoFar() const { return {nodes_.size(), recordSlots(), texts_.mark()}; }
    // Adds a size and playing time to the record of `folder` and of every folder above it.
    void addToSums(NodeId folder, std::int64_t size, std::int64_t duration);
    // Takes back the nodes, records and texts made after `mark`: the last ones made, each
    // node the last child of its parent.
    void truncate(const Slots& mark);
    void clear();

    NodeId parent(NodeId n) const { return nodes_[n].parent; }
    NodeId firstChild(NodeId n) const { return nodes_[n].firstChild; }
    NodeId lastChild(NodeId n) const { return lastOf(nodes_[n].firstChild); }
    NodeId nextSibling(NodeId n) const { return nodes_[n].nextSibling; }
    NodeId firstTopLevel() const { return firstTop_; }
    int childCount(NodeId n) const;
    std::uint8_t kind(NodeId n) const { return nodes_[n].kind(); }
    // A folder of the collection (the root node too), not a track, playlist or removed node.
    bool isFolder(NodeId n) const { return (kind(n) == KindDirectory || kind(n) == KindRootOrParent) && record(n); }
    void setKind(NodeId n, std::uint8_t kind) { nodes_[n].set(nodes_[n].record(), kind); }
    const CompactString& caption(NodeId n) const { return nodes_[n].caption; }
    void setCaption(NodeId n, std::string_view caption) { nodes_[n].caption = caption; }
    CollectionItem* record(NodeId n) const { return nodes_[n].record(); }
    // The node after `n` in depth-first pre-order, NoNode at the end.
    NodeId nextInPreOrder(NodeId n) const;
    // True when both trees have the same nodes in the same places, with the same kinds,
    // captions, records and offline marks.
    bool sameAs(const CollectionTree& other) const;
    // A digest of the children of `node` (their kinds, captions and records, in order;
    // the top-level nodes for NoNode): two folders whose digests are equal hold the same
    // entries.
    std::uint64_t childrenDigest(NodeId node) const;
    // True when node `a` and `other`'s node `b` have the same kind, caption, record and
    // offline mark, and so have their children, in the same order, down to the leaves.
    bool sameSubtree(NodeId a, const CollectionTree& other, NodeId b) const;
    // Number of nodes in the tree.
    int size() const { return liveNodes_; }

    // Fills the node table with every node in pre-order, calling `step` once per entry.
    void fillNodeTable(const std::function<void(int index)>& step = {});

    // Gives every node of the table whose record is `record` the caption `text`; returns
    // the nodes it changed.
    std::vector<NodeId> RenameSharedNodes(const CollectionItem* record, const std::string& text);

    // Folders that could not be read at the last build: the node stands for what an earlier
    // build found there (offline), with why it cannot be read now.
    void markOffline(NodeId node, std::string reason) { offline_[node] = std::move(reason); }
    void clearOffline(NodeId node) { offline_.erase(node); }
    // Why `node` or the folder it lies in is offline; "" when it is not.
    std::string offlineReason(NodeId node) const;
    const std::unordered_map<NodeId, std::string>& offlineNodes() const { return offline_; }
    // Copies the children of `from`'s node `source` (records and all) under `parent`, in
    // their order; node tables are not touched.
    void copyChildren(NodeId parent, const CollectionTree& from, NodeId source);

    // The device of the root folder and of each folder on another device than its parent
    // folder's, by path (no trailing "/"), as the build met them.
    std::unordered_map<std::string, std::uint64_t> FolderDevices;

    // The node table: all nodes in tree order after the build.
    std::vector<NodeId> Nodes;
    int NodeCount() const { return static_cast<int>(Nodes.size()); }
    NodeId RootNode = NoNode;
    NodeId PlaylistsNode = NoNode;

private:
    // 32 bytes. The last of a node's children is the first child's previous sibling, so
    // that the previous siblings make a ring; the kind lies in the low bits of the
    // record's address.
    struct Node {
        static constexpr std::uintptr_t KindBits = 7;
        NodeId parent = NoNode;
        NodeId firstChild = NoNode;
        NodeId nextSibling = NoNode;
        NodeId previousSibling = NoNode; // in the ring: the last sibling for the first
        std::uintptr_t recordAndKind = 0;
        CompactString caption;

        CollectionItem* record() const { return reinterpret_cast<CollectionItem*>(recordAndKind & ~KindBits); }
        std::uint8_t kind() const { return static_cast<std::uint8_t>(recordAndKind & KindBits); }
        void set(CollectionItem* record, std::uint8_t kind)
        {
            recordAndKind = reinterpret_cast<std::uintptr_t>(record) | (kind & KindBits);
        }
    };
    static_assert(alignof(CollectionItem) > Node::KindBits && KindPlaylists <= Node::KindBits);
    NodeId& firstOf(NodeId parent) { return parent == NoNode ? firstTop_ : nodes_[parent].firstChild; }
    NodeId lastOf(NodeId first) const { return first == NoNode ? NoNode : nodes_[first].previousSibling; }
    void unlink(NodeId n);
    void link(NodeId parent, NodeId n);
    std::size_t recordSlots() const;

    std::deque<Node> nodes_; // a deque: no spare capacity, as a vector grows
    // Records in chunks of their own: a deque's blocks would hold two records each, with
    // a third of the block unused.
    static constexpr std::size_t RecordChunk = 256;
    std::vector<std::unique_ptr<CollectionItem[]>> records_;
    std::size_t recordsInLastChunk_ = 0;
    TextPool texts_;   // long texts of the records and captions
    std::string link_; // keepPathIn's, kept for its capacity
    std::unordered_map<NodeId, std::string> offline_;
    NodeId firstTop_ = NoNode;
    int liveNodes_ = 0;
};

} // namespace cantorel
