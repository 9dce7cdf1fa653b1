#include "gui/collection/CollectionModel.h"

#include <QGuiApplication>
#include <QPalette>

namespace cantorel {

CollectionModel::CollectionModel(const CollectionTree& tree, QList<QPixmap> stateImages, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree), stateImages_(std::move(stateImages))
{
    indexTree(tree_.Nodes);
}

void CollectionModel::beginBuild()
{
    beginResetModel();
    building_ = true;
    topLevel_.clear();
    children_.clear();
    start_.clear();
    row_.clear();
}

void CollectionModel::endBuild()
{
    building_ = false;
    indexTree(tree_.Nodes);
    endResetModel();
}

void CollectionModel::showOnly(const std::vector<NodeId>* nodes)
{
    beginResetModel();
    indexTree(nodes ? *nodes : tree_.Nodes);
    endResetModel();
}

void CollectionModel::indexTree(const std::vector<NodeId>& nodes)
{
    topLevel_.clear();
    NodeId maxId = NoNode;
    for (NodeId n : tree_.Nodes)
        maxId = std::max(maxId, n);
    const auto ids = static_cast<std::size_t>(maxId + 1);
    row_.assign(ids, 0);
    // Each node's children in one array, in the order of `nodes`: counted first, then
    // put in place.
    start_.assign(ids + 1, 0);
    for (NodeId n : nodes) {
        if (const NodeId p = tree_.parent(n); p != NoNode)
            ++start_[static_cast<std::size_t>(p) + 1];
    }
    for (std::size_t i = 1; i < start_.size(); ++i)
        start_[i] += start_[i - 1];
    children_.assign(static_cast<std::size_t>(start_.back()), NoNode);
    std::vector<std::int32_t> placed(ids, 0); // by parent: children put so far
    for (NodeId n : nodes) {
        const NodeId p = tree_.parent(n);
        if (p == NoNode) {
            row_[static_cast<std::size_t>(n)] = static_cast<int>(topLevel_.size());
            topLevel_.push_back(n);
            continue;
        }
        const auto parent = static_cast<std::size_t>(p);
        row_[static_cast<std::size_t>(n)] = placed[parent];
        children_[static_cast<std::size_t>(start_[parent] + placed[parent]++)] = n;
    }
}

std::span<const NodeId> CollectionModel::childrenOf(NodeId parent) const
{
    if (parent == NoNode)
        return topLevel_;
    if (parent < 0 || static_cast<std::size_t>(parent) + 1 >= start_.size())
        return {};
    const auto p = static_cast<std::size_t>(parent);
    return std::span<const NodeId>(children_).subspan(static_cast<std::size_t>(start_[p]),
                                                      static_cast<std::size_t>(start_[p + 1] - start_[p]));
}

void CollectionModel::captionsChanged(const std::vector<NodeId>& nodes)
{
    for (NodeId n : nodes) {
        const QModelIndex i = indexOf(n);
        emit dataChanged(i, i, {Qt::DisplayRole});
    }
}

QModelIndex CollectionModel::indexOf(NodeId node) const
{
    if (node == NoNode || building_ || static_cast<std::size_t>(node) >= row_.size())
        return {};
    return createIndex(row_[static_cast<std::size_t>(node)], 0, static_cast<quintptr>(node));
}

NodeId CollectionModel::nodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<NodeId>(index.internalId()) : NoNode;
}

QModelIndex CollectionModel::index(int row, int column, const QModelIndex& parent) const
{
    if (building_ || column != 0 || row < 0)
        return {};
    const std::span<const NodeId> siblings = childrenOf(nodeOf(parent));
    if (static_cast<std::size_t>(row) >= siblings.size())
        return {};
    return createIndex(row, 0, static_cast<quintptr>(siblings[static_cast<std::size_t>(row)]));
}

QModelIndex CollectionModel::parent(const QModelIndex& child) const
{
    const NodeId n = nodeOf(child);
    return n == NoNode ? QModelIndex() : indexOf(tree_.parent(n));
}

int CollectionModel::rowCount(const QModelIndex& parent) const
{
    if (building_ || parent.column() > 0)
        return 0;
    return static_cast<int>(childrenOf(nodeOf(parent)).size());
}

int CollectionModel::columnCount(const QModelIndex&) const { return 1; }

QVariant CollectionModel::data(const QModelIndex& index, int role) const
{
    const NodeId n = nodeOf(index);
    if (n == NoNode || building_)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromStdString(tree_.caption(n));
    if (role == Qt::DecorationRole) {
        const int kind = tree_.kind(n);
        return kind < stateImages_.size() ? QVariant(stateImages_[kind]) : QVariant();
    }
    if ((role == Qt::ForegroundRole || role == Qt::ToolTipRole) && !tree_.offlineNodes().empty()) {
        const std::string reason = tree_.offlineReason(n);
        if (reason.empty())
            return {};
        if (role == Qt::ToolTipRole)
            return offlineNote_ + QString::fromStdString(reason);
        return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
    }
    return {};
}

} // namespace cantorel
