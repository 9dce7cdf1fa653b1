#pragma once

#include <QApplication>
#include <QPointer>

class QSocketNotifier;

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

    // The title of the unexpected-error boxes (the configuration's window title).
    void setErrorTitle(const QString& title) { errorTitle_ = title; }

    // SIGTERM and SIGHUP close the main window through the event loop, so that its edits
    // are saved and the icon removed as on any other end, and end the program also while
    // the window is hidden in the notification area. One that arrives before the event
    // loop runs is only noted.
    void closeOnTerminationSignals(QWidget* mainWindow);
    bool terminationRequested() const { return terminationRequested_; }

private:
    void showUnexpectedError(const QString& message);
    bool showingError_ = false;
    bool terminationRequested_ = false;
    QString errorTitle_;
    QPointer<QWidget> mainWindow_;
    QSocketNotifier* signalNotifier_ = nullptr;
};

} // namespace cantorel
