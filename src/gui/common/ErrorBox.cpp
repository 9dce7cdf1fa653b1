#include "gui/common/ErrorBox.h"

#include <QMessageBox>
#include <QPushButton>

namespace cantorel {

std::unique_ptr<QMessageBox> ErrorBox::make(QWidget* parent, const QString& title, const QString& text,
                                            const QString& button)
{
    auto box = std::make_unique<QMessageBox>(parent);
    box->setIcon(QMessageBox::Critical);
    box->setWindowTitle(title);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->addButton(button, QMessageBox::RejectRole);
    return box;
}

void ErrorBox::show(QWidget* parent, const QString& title, const QString& text, const QString& button)
{
    make(parent, title, text, button)->exec();
}

} // namespace cantorel
