#pragma once

#include <QApplication>

namespace cantorel {

// The application object. No exception ever crosses the event loop: one that reaches an
// event handler's boundary is shown in an error box and the program goes on.
class CantorelApplication : public QApplication {
    Q_OBJECT
public:
    CantorelApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // True while an unexpected-error box is open; timer ticks skip their work then.
    static bool showingError();

private:
    void showUnexpectedError(const QString& message);
    bool showingError_ = false;
};

} // namespace cantorel
