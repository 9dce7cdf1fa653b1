#include "core/collection/CollectionTree.h"

namespace cantorel {

CollectionItem* CollectionTree::newRecord()
{
    if (records_.empty() || recordsInLastChunk_ == RecordChunk) {
        records_.push_back(std::make_unique<CollectionItem[]>(RecordChunk));
        recordsInLastChunk_ = 0;
    }
    return &records_.back()[recordsInLastChunk_++];
}

CollectionItem* CollectionTree::newRecord(CollectionItem&& item)
{
    CollectionItem* record = newRecord();
    *record = std::move(item);
    return record;
}

void CollectionTree::link(NodeId parent, NodeId n)
{
    NodeId& first = parent == NoNode ? firstTop_ : nodes_[parent].firstChild;
    NodeId& last = parent == NoNode ? lastTop_ : nodes_[parent].lastChild;
    nodes_[n].parent = parent;
    nodes_[n].previousSibling = last;
    nodes_[n].nextSibling = NoNode;
    if (last != NoNode)
        nodes_[last].nextSibling = n;
    else
        first = n;
    last = n;
}

void CollectionTree::unlink(NodeId n)
{
    Node& node = nodes_[n];
    NodeId& first = node.parent == NoNode ? firstTop_ : nodes_[node.parent].firstChild;
    NodeId& last = node.parent == NoNode ? lastTop_ : nodes_[node.parent].lastChild;
    if (node.previousSibling != NoNode)
        nodes_[node.previousSibling].nextSibling = node.nextSibling;
    else
        first = node.nextSibling;
    if (node.nextSibling != NoNode)
        nodes_[node.nextSibling].previousSibling = node.previousSibling;
    else
        last = node.previousSibling;
    node.previousSibling = node.nextSibling = NoNode;
}

NodeId CollectionTree::addNode(NodeId parent, std::string_view caption, CollectionItem* record, std::uint8_t kind)
{
    const auto id = static_cast<NodeId>(nodes_.size());
    Node& node = nodes_.emplace_back();
    node.caption = caption;
    node.record = record;
    node.kind = kind;
    link(parent, id);
    ++liveNodes_;
    return id;
}

void CollectionTree::removeLeaf(NodeId node)
{
    unlink(node);
    nodes_[node].record = nullptr;
    nodes_[node].caption.clear();
    --liveNodes_;
}

void CollectionTree::moveToEnd(NodeId node)
{
    unlink(node);
    link(NoNode, node);
}

void CollectionTree::clear() { *this = CollectionTree(); }

int CollectionTree::childCount(NodeId n) const
{
    int count = 0;
    for (NodeId c = firstChild(n); c != NoNode; c = nextSibling(c))
        ++count;
    return count;
}

NodeId CollectionTree::nextInPreOrder(NodeId n) const
{
    if (nodes_[n].firstChild != NoNode)
        return nodes_[n].firstChild;
    for (NodeId up = n; up != NoNode; up = nodes_[up].parent) {
        if (nodes_[up].nextSibling != NoNode)
            return nodes_[up].nextSibling;
    }
    return NoNode;
}

void CollectionTree::fillNodeTable(const std::function<void(int)>& step)
{
    Nodes.clear();
    Nodes.reserve(static_cast<std::size_t>(liveNodes_));
    for (NodeId n = firstTop_; n != NoNode; n = nextInPreOrder(n)) {
        Nodes.push_back(n);
        if (step)
            step(static_cast<int>(Nodes.size()));
    }
}

std::vector<NodeId> CollectionTree::RenameSharedNodes(const CollectionItem* record, const std::string& text)
{
    std::vector<NodeId> changed;
    for (NodeId n : Nodes) {
        if (nodes_[n].record == record) {
            nodes_[n].caption = text;
            changed.push_back(n);
        }
    }
    return changed;
}

} // namespace cantorel
