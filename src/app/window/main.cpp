#include "app/Configuration.h"
#include "app/window/CantorelApplication.h"
#include "app/window/ErrorBox.h"
#include "app/window/TMainForm.h"
#include "app/window/TSplashForm.h"

#include <QLabel>
#include <iostream>

using namespace cantorel;

int main(int argc, char** argv)
{
    CantorelApplication app(argc, argv);
    const std::string StartupError = LoadConfiguration();
    auto errorBox = std::make_shared<ErrorBox>();
    if (!StartupError.empty()) {
        errorBox->show(nullptr, "Error", QString::fromStdString(StartupError), "&Abort");
        return 0;
    }
    TMainForm MainForm(errorBox);
    if (MainForm.libraryMissing()) {
        errorBox->show(nullptr, "Error", "Unable to load file MPEG.SO.", "&Abort");
        return 1;
    }
    if (!MainForm.setupError().isEmpty()) {
        std::cerr << "cantorel: " << MainForm.setupError().toStdString() << '\n';
        return 1;
    }
    TSplashForm SplashForm;
    SplashForm.Label1->setText(QString::fromStdString(Settings.WindowTitle));
    SplashForm.Label2->setText(QString::fromStdString(GetUIString(37)));
    SplashForm.show();
    SplashForm.repaintNow();
    app.closeOnTerminationSignals(&MainForm);
    MainForm.InitialFill(&SplashForm);
    SplashForm.hide();
    MainForm.show();
    return app.exec();
}
