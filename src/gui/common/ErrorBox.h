#pragma once

#include <QString>

#include <memory>

class QMessageBox;
class QWidget;

namespace cantorel {

// Shows the program's modal error boxes. The window takes one as a parameter so that
// tests can record the boxes instead of blocking on them.
class ErrorBox {
public:
    virtual ~ErrorBox() = default;
    // A modal box with the critical icon, `title` and one button `button`.
    virtual void show(QWidget* parent, const QString& title, const QString& text, const QString& button);

    // The box itself, not yet shown.
    static std::unique_ptr<QMessageBox> make(QWidget* parent, const QString& title, const QString& text,
                                             const QString& button);
};

} // namespace cantorel
