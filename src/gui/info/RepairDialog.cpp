#include "gui/info/RepairDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace cantorel {

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }
} // namespace

RepairDialog::RepairDialog(QWidget* parent, const QString& folder, const Texts& texts, Reader read)
    : QDialog(parent), read_(std::move(read)), pages_(new QComboBox(this)), table_(new QTableWidget(0, 3, this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Cancel, this))
{
    setObjectName("RepairDialog");
    setWindowTitle(texts.title + " " + folder);
    pages_->setObjectName("cbRepairPage");
    for (const std::string& page : CodePageRepair::candidates())
        pages_->addItem(qs(page));
    table_->setObjectName("tbRepair");
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->hide();
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QPushButton* apply = buttons_->addButton(texts.apply, QDialogButtonBox::AcceptRole);
    apply->setObjectName("btnRepairApply");
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(texts.codePage, this));
    row->addWidget(pages_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(table_, 1);
    layout->addWidget(buttons_);
    resize(640, 400);
    display(read_({}));
    connect(pages_, &QComboBox::currentTextChanged, this, [this](const QString& page) {
        if (!proposal_ || page.toStdString() != proposal_->codePage)
            display(read_(page.toStdString()));
    });
}

void RepairDialog::choose(const std::string& page) { pages_->setCurrentText(qs(page)); }

void RepairDialog::display(std::optional<RepairProposal> proposal)
{
    proposal_ = std::move(proposal);
    table_->setRowCount(0);
    for (QAbstractButton* b : buttons_->buttons()) {
        if (buttons_->buttonRole(b) == QDialogButtonBox::AcceptRole)
            b->setEnabled(proposal_.has_value());
    }
    if (!proposal_)
        return;
    const QSignalBlocker quiet(pages_);
    pages_->setCurrentText(qs(proposal_->codePage));
    for (const RepairField& f : proposal_->fields) {
        const int r = table_->rowCount();
        table_->insertRow(r);
        const QString where =
            QFileInfo(qs(f.path)).fileName() + " " + qs(f.name) + (f.entry.empty() ? QString() : " " + qs(f.entry));
        table_->setItem(r, 0, new QTableWidgetItem(where));
        table_->setItem(r, 1, new QTableWidgetItem(qs(f.shown)));
        table_->setItem(r, 2, new QTableWidgetItem(qs(f.repaired)));
    }
    table_->resizeColumnsToContents();
}

} // namespace cantorel
