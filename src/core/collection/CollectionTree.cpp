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
    NodeId& first = firstOf(parent);
    nodes_[n].parent = parent;
    nodes_[n].nextSibling = NoNode;
    if (first == NoNode) {
        first = n;
        nodes_[n].previousSibling = n;
        return;
    }
    const NodeId last = nodes_[first].previousSibling;
    nodes_[last].nextSibling = n;
    nodes_[n].previousSibling = last;
    nodes_[first].previousSibling = n;
}

void CollectionTree::unlink(NodeId n)
{
    Node& node = nodes_[n];
    NodeId& first = firstOf(node.parent);
    const NodeId last = nodes_[first].previousSibling;
    if (n == first) {
        first = node.nextSibling;
        if (first != NoNode)
            nodes_[first].previousSibling = last;
    } else {
        nodes_[node.previousSibling].nextSibling = node.nextSibling;
        if (node.nextSibling != NoNode)
            nodes_[node.nextSibling].previousSibling = node.previousSibling;
        else
            nodes_[first].previousSibling = node.previousSibling;
    }
    node.previousSibling = node.nextSibling = NoNode;
}

NodeId CollectionTree::addNode(NodeId parent, std::string_view caption, CollectionItem* record, std::uint8_t kind)
{
    const auto id = static_cast<NodeId>(nodes_.size());
    Node& node = nodes_.emplace_back();
    // A caption is mostly its record's name.
    if (record && record->Name.borrowed() && record->Name.view() == caption)
        node.caption.borrow(record->Name.view());
    else
        keepText(node.caption, caption);
    node.set(record, kind);
    link(parent, id);
    ++liveNodes_;
    return id;
}

void CollectionTree::removeLeaf(NodeId node)
{
    unlink(node);
    nodes_[node].set(nullptr, nodes_[node].kind());
    nodes_[node].caption.clear();
    --liveNodes_;
}

void CollectionTree::removeSubtree(NodeId node, bool releaseTexts)
{
    while (nodes_[node].firstChild != NoNode)
        removeSubtree(nodes_[node].firstChild, releaseTexts);
    offline_.erase(node);
    if (releaseTexts && record(node))
        *record(node) = CollectionItem();
    removeLeaf(node);
}

void CollectionTree::moveToEnd(NodeId node)
{
    unlink(node);
    link(NoNode, node);
}

void CollectionTree::moveUnder(NodeId parent, NodeId node)
{
    unlink(node);
    link(parent, node);
}

void CollectionTree::addToSums(NodeId folder, std::int64_t size, std::int64_t duration)
{
    for (NodeId n = folder; n != NoNode; n = nodes_[n].parent) {
        if (isFolder(n)) {
            record(n)->FileSize += size;
            record(n)->Duration += duration;
        }
    }
}

std::size_t CollectionTree::recordSlots() const
{
    return records_.empty() ? 0 : (records_.size() - 1) * RecordChunk + recordsInLastChunk_;
}

void CollectionTree::keepTexts(CollectionItem& r)
{
    if (!r.Path.empty() && !r.Path.borrowed())
        keepPath(r.Path, r.Path.wholeText());
    for (CompactString* text : {&r.Name, &r.Artist, &r.Album, &r.Year, &r.Comment, &r.GenreText, &r.Description,
                                &r.PicturePath, &r.TextPath, &r.AlbumArtist}) {
        if (text->ownsBlock() && text->size() <= CompactString::BorrowLimit)
            text->borrow(texts_.keep(text->view()));
    }
}

void CollectionTree::shareText(CompactString& to, const CompactString& from)
{
    if (from.borrowed())
        to.borrow(from.view());
    else
        keepText(to, from.view());
}

void CollectionTree::keepPathIn(RecordPath& to, const RecordPath& folder, std::string_view name)
{
    if (folder.borrowed() && !folder.linked() && !name.empty()) {
        RecordPath::linkText(link_, folder.wholeText(), name);
        to.borrowLink(texts_.keep(link_));
        return;
    }
    std::string path = folder.str();
    if (!path.ends_with('/'))
        path += '/';
    keepPath(to, path.append(name));
}

void CollectionTree::truncate(const Slots& mark)
{
    const std::size_t nodes = mark.nodes, records = mark.records;
    while (nodes_.size() > nodes) {
        const auto n = static_cast<NodeId>(nodes_.size() - 1);
        if (nodes_[n].previousSibling != NoNode) { // still in the tree
            unlink(n);
            offline_.erase(n);
            --liveNodes_;
        }
        nodes_.pop_back();
    }
    while (recordSlots() > records) {
        records_.back()[--recordsInLastChunk_] = CollectionItem();
        if (recordsInLastChunk_ == 0 && recordSlots() > records) {
            records_.pop_back();
            recordsInLastChunk_ = RecordChunk;
        }
    }
    texts_.rewind(mark.texts);
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

namespace {

bool sameRecord(const CollectionItem* a, const CollectionItem* b) { return a && b ? *a == *b : a == b; }

} // namespace

bool CollectionTree::sameAs(const CollectionTree& other) const
{
    if (Nodes.size() != other.Nodes.size() || offline_.size() != other.offline_.size())
        return false;
    // Places in the node table, to compare parents.
    std::vector<std::size_t> place(nodes_.size()), otherPlace(other.nodes_.size());
    for (std::size_t i = 0; i < Nodes.size(); ++i) {
        const NodeId a = Nodes[i], b = other.Nodes[i];
        place[static_cast<std::size_t>(a)] = i;
        otherPlace[static_cast<std::size_t>(b)] = i;
        const NodeId pa = parent(a), pb = other.parent(b);
        if ((pa == NoNode) != (pb == NoNode) ||
            (pa != NoNode && place[static_cast<std::size_t>(pa)] != otherPlace[static_cast<std::size_t>(pb)]))
            return false;
        if (kind(a) != other.kind(b) || caption(a) != other.caption(b) || !sameRecord(record(a), other.record(b)) ||
            offlineReason(a) != other.offlineReason(b))
            return false;
    }
    return (RootNode == NoNode) == (other.RootNode == NoNode) && offlineReason(NoNode) == other.offlineReason(NoNode);
}

bool CollectionTree::sameSubtree(NodeId a, const CollectionTree& other, NodeId b) const
{
    if (kind(a) != other.kind(b) || caption(a) != other.caption(b) || !sameRecord(record(a), other.record(b)) ||
        offlineReason(a) != other.offlineReason(b))
        return false;
    NodeId ca = firstChild(a), cb = other.firstChild(b);
    for (; ca != NoNode && cb != NoNode; ca = nextSibling(ca), cb = other.nextSibling(cb)) {
        if (!sameSubtree(ca, other, cb))
            return false;
    }
    return ca == NoNode && cb == NoNode;
}

std::uint64_t CollectionTree::childrenDigest(NodeId node) const
{
    std::uint64_t digest = 0x9E3779B97F4A7C15ULL;
    const auto mix = [&](std::uint64_t value) {
        digest ^= value + 0x9E3779B97F4A7C15ULL + (digest << 6) + (digest >> 2);
        digest *= 0xBF58476D1CE4E5B9ULL;
    };
    const auto text = [&](std::string_view t) { mix(std::hash<std::string_view>()(t)); };
    std::string path; // a linked path is put together here, in one buffer for all
    for (NodeId c = node == NoNode ? firstTop_ : firstChild(node); c != NoNode; c = nextSibling(c)) {
        mix(kind(c));
        text(caption(c));
        const CollectionItem* r = record(c);
        if (!r) {
            mix(0);
            continue;
        }
        path.clear();
        r->Path.appendTo(path);
        text(path);
        for (const CompactString* field : {&r->Name, &r->Artist, &r->Album, &r->Year, &r->Comment, &r->GenreText,
                                           &r->Description, &r->PicturePath, &r->TextPath, &r->AlbumArtist})
            text(*field);
        for (const std::int64_t number :
             {r->FileSize, r->Duration, std::int64_t(r->Track), std::int64_t(r->Bitrate), std::int64_t(r->Frequency),
              std::int64_t(r->Genre), std::int64_t(r->TrackTotal), std::int64_t(r->Disc), std::int64_t(r->DiscTotal)})
            mix(static_cast<std::uint64_t>(number));
        mix(offline_.contains(c));
    }
    return digest;
}

std::string CollectionTree::offlineReason(NodeId node) const
{
    if (offline_.empty())
        return {};
    for (NodeId n = node; n != NoNode; n = nodes_[n].parent) {
        if (const auto it = offline_.find(n); it != offline_.end())
            return it->second;
    }
    const auto whole = offline_.find(NoNode); // the root, without a root node
    return whole == offline_.end() ? std::string() : whole->second;
}

void CollectionTree::copyChildren(NodeId parent, const CollectionTree& from, NodeId source)
{
    for (NodeId c = source == NoNode ? from.firstTop_ : from.firstChild(source); c != NoNode; c = from.nextSibling(c)) {
        const CollectionItem* r = from.record(c);
        CollectionItem* record = r ? newRecord(CollectionItem(*r)) : nullptr;
        const NodeId copy = addNode(parent, from.caption(c).view(), record, from.kind(c));
        copyChildren(copy, from, c);
    }
}

std::vector<NodeId> CollectionTree::RenameSharedNodes(const CollectionItem* record, const std::string& text)
{
    std::vector<NodeId> changed;
    for (NodeId n : Nodes) {
        if (this->record(n) == record) {
            nodes_[n].caption = text;
            changed.push_back(n);
        }
    }
    return changed;
}

} // namespace cantorel
