#pragma once

#include "core/collection/CollectionTree.h"

#include <QAbstractItemModel>
#include <QList>
#include <QPixmap>

#include <span>
#include <vector>

namespace cantorel {

// The tree view's model over the core's collection tree: no widget or object per node,
// just each node's children and row kept in flat arrays, so 100,000 nodes stay cheap.
class CollectionModel : public QAbstractItemModel {
    Q_OBJECT
public:
    CollectionModel(const CollectionTree& tree, QList<QPixmap> stateImages, QObject* parent = nullptr);

    // Call around a build of the tree: the view shows nothing in between.
    void beginBuild();
    void endBuild();
    // Shows only `nodes` (in tree order, each with its parent), or every node again for
    // nullptr; one reset of the model. A build shows every node.
    void showOnly(const std::vector<NodeId>* nodes);
    // The tool tip's text before why a node is offline; offline nodes are shown greyed.
    void setOfflineNote(const QString& note) { offlineNote_ = note; }
    // Tells the view that these nodes have new captions.
    void captionsChanged(const std::vector<NodeId>& nodes);

    const CollectionTree& tree() const { return tree_; }
    QModelIndex indexOf(NodeId node) const;
    NodeId nodeOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void indexTree(const std::vector<NodeId>& nodes);
    std::span<const NodeId> childrenOf(NodeId parent) const;

    const CollectionTree& tree_;
    QList<QPixmap> stateImages_;
    bool building_ = false;
    QString offlineNote_;
    std::vector<NodeId> topLevel_;
    // The children of node n are children_[start_[n]] up to children_[start_[n + 1]].
    std::vector<NodeId> children_;
    std::vector<std::int32_t> start_; // by node id, and one more
    std::vector<int> row_;            // by node id
};

} // namespace cantorel
