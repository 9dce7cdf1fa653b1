#include "gui/common/CantorelApplication.h"

#include "gui/common/ErrorBox.h"
#include "gui/common/ObjectNameDescriber.h"

#include <QMessageBox>
#include <QSocketNotifier>
#include <QThread>
#include <QWidget>

#include <csignal>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

namespace cantorel {

namespace {
// The write end of the pipe that turns a signal into an event; a signal handler may only
// write to it.
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
}
} // namespace

CantorelApplication::CantorelApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    installEventFilter(new ObjectNameDescriber(this));
}

bool CantorelApplication::showingError()
{
    const auto* app = qobject_cast<CantorelApplication*>(QCoreApplication::instance());
    return app && app->showingError_;
}

bool CantorelApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showUnexpectedError(QString::fromUtf8(e.what()));
    } catch (...) {
        showUnexpectedError("Unknown error");
    }
    return false;
}

void CantorelApplication::closeOnTerminationSignals(QWidget* mainWindow)
{
    mainWindow_ = mainWindow;
    if (signalNotifier_ || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    signalNotifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(signalNotifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        (void)!::read(signalPipe[0], &byte, 1);
        terminationRequested_ = true;
        // During the start-up build no event loop runs yet: start-up ends the program
        // when the build is done.
        if (QThread::currentThread()->loopLevel() == 0)
            return;
        if (mainWindow_)
            mainWindow_->close();
        // A window hidden in the notification area is not the last visible one to close.
        quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

void CantorelApplication::showUnexpectedError(const QString& message)
{
    if (showingError_)
        return;
    showingError_ = true;
    ErrorBox::make(activeWindow(), errorTitle_, message, "OK")->exec();
    showingError_ = false;
}

} // namespace cantorel
