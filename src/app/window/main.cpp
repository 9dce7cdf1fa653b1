#include "app/window/CantorelApplication.h"
#include "app/window/ErrorBox.h"
#include "app/window/TMainForm.h"
#include "app/window/TSplashForm.h"
#include "config/Configuration.h"

#include <QLabel>
#include <iostream>

using namespace cantorel;

int main(int argc, char** argv)
{
    CantorelApplication app(argc, argv);
    // The one configuration of the program's lifetime.
    Configuration configuration;
    const Result<> loaded = LoadConfiguration(configuration);
    auto errorBox = std::make_shared<ErrorBox>();
    if (!loaded) {
        errorBox->show(nullptr, "Error", QString::fromStdString(loaded.error()), "&Abort");
        return 0;
    }
    app.setErrorTitle(QString::fromStdString(configuration.Settings.WindowTitle));
    TMainForm MainForm(configuration, errorBox);
    if (MainForm.libraryMissing()) {
        errorBox->show(nullptr, "Error", "Unable to load file MPEG.SO.", "&Abort");
        return 1;
    }
    if (!MainForm.setupError().isEmpty()) {
        std::cerr << "cantorel: " << MainForm.setupError().toStdString() << '\n';
        return 1;
    }
    TSplashForm SplashForm;
    SplashForm.Label1->setText(QString::fromStdString(configuration.Settings.WindowTitle));
    SplashForm.Label2->setText(QString::fromStdString(configuration.GetUIString(37)));
    SplashForm.show();
    SplashForm.repaintNow();
    app.closeOnTerminationSignals(&MainForm);
    MainForm.InitialFill(&SplashForm);
    SplashForm.hide();
    if (app.terminationRequested()) {
        MainForm.close();
        return 0;
    }
    MainForm.show();
    return app.exec();
}
