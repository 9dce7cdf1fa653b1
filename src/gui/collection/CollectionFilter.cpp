#include "gui/collection/CollectionFilter.h"

#include "core/collection/SearchRunner.h"

#include "gui/collection/CollectionModel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>

#include <algorithm>

namespace cantorel {

CollectionFilter::CollectionFilter(QWidget* parent, QTreeView& view, CollectionModel& model, const SearchIndex& index,
                                   const Texts& texts, Window window)
    : QObject(parent), view_(view), model_(model), index_(index), window_(std::move(window)),
      field_(new QLineEdit(parent)), noMatch_(new QLabel(texts.noMatch, parent)),
      moreMatches_(new QLabel(texts.moreMatches, parent))
{
    field_->setObjectName("edFilter");
    field_->setPlaceholderText(texts.placeholder);
    field_->setClearButtonEnabled(true);
    field_->hide();
    field_->installEventFilter(this);
    noMatch_->setObjectName("lbNoMatch");
    noMatch_->setAlignment(Qt::AlignCenter);
    noMatch_->hide();
    moreMatches_->setObjectName("lbMoreMatches");
    moreMatches_->setAlignment(Qt::AlignCenter);
    moreMatches_->setAutoFillBackground(true);
    moreMatches_->hide();
    connect(field_, &QLineEdit::textChanged, this, &CollectionFilter::textChanged);
    runner_ = std::make_unique<SearchRunner>(
        index_,
        [this](std::uint64_t query, SearchHits hits) {
            QMetaObject::invokeMethod(
                this, [this, query, hits = std::move(hits)] { apply(query, hits); }, Qt::QueuedConnection);
        },
        MaxShown);
}

CollectionFilter::~CollectionFilter() = default;

bool CollectionFilter::isOpen() const { return !field_->isHidden(); }

void CollectionFilter::open()
{
    if (window_.buildIndex)
        window_.buildIndex(); // now rather than at the first keystroke
    if (!isOpen()) {
        field_->show();
        emit openChanged();
    }
    field_->setFocus();
    field_->selectAll();
}

void CollectionFilter::close()
{
    field_->clear(); // gives the whole tree back
    if (!isOpen())
        return;
    field_->hide();
    noMatch_->hide();
    moreMatches_->hide();
    view_.setFocus();
    emit openChanged();
}

void CollectionFilter::treeRebuilt()
{
    runner_->cancel();
    filtering_ = false;
    expanded_.clear();
    field_->blockSignals(true);
    field_->clear();
    field_->blockSignals(false);
    if (isOpen()) {
        field_->hide();
        noMatch_->hide();
        moreMatches_->hide();
        emit openChanged();
    }
}

QRect CollectionFilter::place(QRect tree)
{
    if (!isOpen())
        return tree;
    const int height = field_->sizeHint().height();
    field_->setGeometry(tree.left(), tree.top(), tree.width(), height);
    const QRect rest(tree.left(), tree.top() + height + 1, tree.width(), tree.height() - height - 1);
    noMatch_->setGeometry(rest);
    const int line = moreMatches_->sizeHint().height();
    moreMatches_->setGeometry(rest.left() + 2, rest.bottom() - line - 1, rest.width() - 4, line);
    return rest;
}

void CollectionFilter::textChanged(const QString& text)
{
    if (index_.words(text.toStdString()).empty()) {
        runner_->cancel();
        showAll();
        return;
    }
    if (!filtering_) {
        // The tree as it is now, to give back at the end.
        filtering_ = true;
        before_ = window_.selected();
        picked_ = NoNode;
        expanded_.clear();
        for (const NodeId n : model_.tree().Nodes) {
            if (model_.tree().firstChild(n) != NoNode && view_.isExpanded(model_.indexOf(n)))
                expanded_.push_back(n);
        }
    }
    if (window_.buildIndex)
        window_.buildIndex();
    runner_->find(text.toStdString());
}

void CollectionFilter::apply(std::uint64_t query, const SearchHits& hits)
{
    if (query != runner_->last() || !filtering_)
        return; // a later keystroke, or the filter ended meanwhile
    const NodeId current = window_.selected();
    const bool keep = current != NoNode && std::find(hits.shown.begin(), hits.shown.end(), current) != hits.shown.end();
    if (current != NoNode && !keep)
        window_.leave(current);
    if (current != NoNode && current != before_)
        picked_ = current;
    resetting_ = true;
    model_.showOnly(&hits.shown);
    view_.expandAll();
    if (keep)
        view_.setCurrentIndex(model_.indexOf(current));
    resetting_ = false;
    firstMatch_ = hits.matches.empty() ? NoNode : hits.matches.front();
    noMatch_->setVisible(hits.matches.empty());
    noMatch_->raise();
    moreMatches_->setVisible(hits.total > hits.matches.size());
    moreMatches_->raise();
    emit applied(static_cast<int>(hits.total));
}

void CollectionFilter::showAll()
{
    noMatch_->hide();
    moreMatches_->hide();
    if (!filtering_)
        return;
    filtering_ = false;
    const NodeId current = window_.selected();
    if (current != NoNode && current != before_)
        picked_ = current;
    if (current != NoNode)
        window_.leave(current);
    resetting_ = true;
    model_.showOnly(nullptr);
    for (const NodeId n : expanded_)
        view_.setExpanded(model_.indexOf(n), true);
    resetting_ = false;
    expanded_.clear();
    firstMatch_ = NoNode;
    // The pages show the node again, as a new selection would.
    window_.select(picked_ != NoNode ? picked_ : before_);
    emit applied(-1);
}

bool CollectionFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != field_ || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Escape) {
        close();
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Down) {
        // To the tree, on the first match (Enter selects it as a click would).
        if (firstMatch_ != NoNode && filtering_ && (key != Qt::Key_Down || window_.selected() == NoNode))
            window_.select(firstMatch_);
        view_.setFocus();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace cantorel
