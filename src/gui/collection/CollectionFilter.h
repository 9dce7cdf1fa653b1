#pragma once

#include "core/collection/CollectionTree.h"
#include "core/collection/SearchIndex.h"

#include <QObject>
#include <QRect>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QTreeView;
class QWidget;

namespace cantorel {

class CollectionModel;
class SearchRunner;

// Find as you type over the collection tree: a field above the tree, shown by Ctrl+F or
// "/", whose words filter the tree to the matching nodes and the folders above them,
// expanded. The search runs off the window thread; its hits come back in one reset of
// the model. Esc clears the field and gives the tree back as it was, on the node picked
// while filtering or else on the one selected before.
class CollectionFilter : public QObject {
    Q_OBJECT
public:
    // How the filter reaches the window: the node selected, selecting one, leaving one
    // (its edits are saved, and no more are taken) before the tree stops showing it, and
    // having the index built before a search.
    struct Window {
        std::function<NodeId()> selected;
        std::function<void(NodeId)> select;
        std::function<void(NodeId)> leave;
        std::function<void()> buildIndex;
    };
    // The texts of the field, of an empty result and of one cut short.
    struct Texts {
        QString placeholder;
        QString noMatch;
        QString moreMatches;
    };
    // The most matches the tree shows: laying out more rows would keep the window busy
    // for longer than a frame, and nobody reads them; the field says there are more.
    static constexpr std::size_t MaxShown = 5000;

    CollectionFilter(QWidget* parent, QTreeView& view, CollectionModel& model, const SearchIndex& index,
                     const Texts& texts, Window window);
    ~CollectionFilter() override;

    QLineEdit* field() const { return field_; }
    bool isOpen() const;
    // True while the filter changes the model: selection changes then are not the user's.
    bool resetting() const { return resetting_; }
    // Shows the field and gives it the focus.
    void open();
    // Clears the field, gives the whole tree back and hides the field.
    void close();
    // The tree was built again: the filter ends without touching the model.
    void treeRebuilt();
    // Places the field at the top of `tree` (when open); the rectangle left for the tree.
    QRect place(QRect tree);

signals:
    // The field was shown or hidden: the window lays out again.
    void openChanged();
    // The hits of the text in the field are shown: `matches` nodes matched (perhaps more
    // than are shown); -1 when the whole tree is back.
    void applied(int matches);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void textChanged(const QString& text);
    void apply(std::uint64_t query, const SearchHits& hits);
    void showAll();

    QTreeView& view_;
    CollectionModel& model_;
    const SearchIndex& index_;
    Window window_;
    QLineEdit* field_;
    QLabel* noMatch_;
    QLabel* moreMatches_;
    std::unique_ptr<SearchRunner> runner_;
    bool filtering_ = false;
    bool resetting_ = false;
    NodeId before_ = NoNode;       // selected when the filtering began
    NodeId picked_ = NoNode;       // selected by the user while filtering
    NodeId firstMatch_ = NoNode;   // of the hits shown
    std::vector<NodeId> expanded_; // when the filtering began
};

} // namespace cantorel
