#include "app/window/CantorelApplication.h"

#include "app/Configuration.h"
#include "app/window/ErrorBox.h"
#include "app/window/ObjectNameDescriber.h"

#include <QMessageBox>
#include <exception>

namespace cantorel {

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

void CantorelApplication::showUnexpectedError(const QString& message)
{
    if (showingError_)
        return;
    showingError_ = true;
    ErrorBox::make(activeWindow(), QString::fromStdString(Settings.WindowTitle), message, "OK")->exec();
    showingError_ = false;
}

} // namespace cantorel
