#pragma once

#include "core/info/CodePageRepair.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QTableWidget;

namespace cantorel {

// The preview of a folder's repair: each text as it is shown and as it would be, side by
// side, in the proposed code page or another chosen from the list. Apply accepts it.
class RepairDialog : public QDialog {
    Q_OBJECT
public:
    struct Texts {
        QString title;
        QString codePage;
        QString apply;
    };
    // `read(page)` gives the proposal in `page`, or the best one for "".
    using Reader = std::function<std::optional<RepairProposal>(const std::string& page)>;

    RepairDialog(QWidget* parent, const QString& folder, const Texts& texts, Reader read);

    // The proposal shown, if any; what Apply writes.
    const std::optional<RepairProposal>& proposal() const { return proposal_; }
    // Shows the proposal in `page` instead.
    void choose(const std::string& page);

private:
    void display(std::optional<RepairProposal> proposal);

    Reader read_;
    std::optional<RepairProposal> proposal_;
    QComboBox* pages_;
    QTableWidget* table_;
    QDialogButtonBox* buttons_;
};

} // namespace cantorel
