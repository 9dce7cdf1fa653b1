#include "core/config/Configuration.h"
#include "core/config/ConfigurationLookup.h"
#include "core/config/ConfigurationReader.h"
#include "core/config/FirstRun.h"
#include "core/info/ExtendedTags.h"
#include "core/platform/FileSystem.h"
#include "core/platform/Paths.h"
#include "core/platform/SafeFileWriter.h"
#include "core/session/Session.h"

#include "gui/app/TMainForm.h"
#include "gui/app/TSplashForm.h"
#include "gui/app/WindowState.h"
#include "gui/common/CantorelApplication.h"
#include "gui/common/ErrorBox.h"
#include "gui/player/MprisService.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QStandardPaths>

#include <filesystem>
#include <iostream>

using namespace cantorel;

namespace {

// cantorel [--config FILE] [FOLDER]
struct StartOptions {
    std::string configFile;
    std::string folder; // the music folder of this run
};

StartOptions startOptions(const QStringList& arguments)
{
    StartOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--config" && i + 1 < arguments.size())
            options.configFile = arguments[++i].toStdString();
        else
            options.folder = arguments[i].toStdString();
    }
    return options;
}

// The music folder a first run asks for; nothing when the user cancels.
std::optional<std::string> askForMusicFolder()
{
    QString proposal = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (proposal.isEmpty())
        proposal = QDir::homePath() + "/Music";
    const QString folder = QFileDialog::getExistingDirectory(nullptr, "Cantorel: where is your music?", proposal);
    if (folder.isEmpty())
        return std::nullopt;
    return folder.toStdString();
}

// A first run: the English configuration for `folder`, written to the user's
// configuration file unless the folder was given for this run only.
Result<> firstRun(Configuration& configuration, const std::string& folder, bool write)
{
    const std::string text = firstRunConfiguration(folder, ExtendedTags::standardGenres());
    const std::string file = ConfigurationEnvironment::fromProcess().userFile();
    if (!write) {
        configuration = Configuration::defaults(paths::directoryOf(file));
        return ConfigurationReader(configuration, paths::directoryOf(file)).readText(text);
    }
    std::error_code ignored; // a folder that cannot be made fails the write below
    std::filesystem::create_directories(paths::directoryOf(file), ignored);
    if (const Result<> written = fs::replaceFile(file, text); !written)
        return fail("Unable to write " + file + ": " + written.error());
    return LoadConfiguration(configuration, file, paths::directoryOf(file));
}

} // namespace

int main(int argc, char** argv)
{
    CantorelApplication app(argc, argv);
    const StartOptions options = startOptions(QCoreApplication::arguments());
    Configuration configuration;
    Result<> loaded = LoadRunConfiguration(configuration, options.configFile, configurationFileFor(fs::programFile()));
    if (!loaded && loaded.failure().code == NoConfigurationFile) {
        const std::optional<std::string> folder =
            options.folder.empty() ? askForMusicFolder() : std::optional<std::string>(options.folder);
        if (!folder)
            return 0;
        loaded = firstRun(configuration, *folder, options.folder.empty());
    }
    auto errorBox = std::make_shared<ErrorBox>();
    if (!loaded) {
        errorBox->show(nullptr, "Error", QString::fromStdString(loaded.error()), "&Abort");
        return 0;
    }
    // The one session of the program's lifetime.
    SessionOptions run;
    run.musicFolder = options.folder;
    Session session(std::move(configuration), run);
    // A second start for the same folder brings the first one to the front instead.
    if (MprisService::raiseRunningInstance(session.musicFolder()))
        return 0;
    app.setErrorTitle(QString::fromStdString(session.settings().WindowTitle));
    TMainForm MainForm(session, errorBox);
    if (MainForm.libraryMissing()) {
        errorBox->show(nullptr, "Error", "Unable to load file MPEG.SO.", "&Abort");
        return 1;
    }
    if (!MainForm.setupError().isEmpty()) {
        std::cerr << "cantorel: " << MainForm.setupError().toStdString() << '\n';
        return 1;
    }
    TSplashForm SplashForm;
    SplashForm.Label1->setText(QString::fromStdString(session.settings().WindowTitle));
    SplashForm.Label2->setText(QString::fromStdString(session.configuration().GetUIString(UiString::SplashPreparing)));
    SplashForm.show();
    SplashForm.repaintNow();
    app.closeOnTerminationSignals(&MainForm);
    MainForm.InitialFill(&SplashForm);
    SplashForm.hide();
    if (app.terminationRequested()) {
        MainForm.close();
        return 0;
    }
    // Media keys and the desktop's player widgets, through the session bus.
    MprisService mpris(session);
    QObject::connect(&mpris, &MprisService::raiseRequested, &MainForm, [&MainForm] { MainForm.TrayRestore(); });
    QObject::connect(&mpris, &MprisService::quitRequested, &MainForm, [&MainForm] { MainForm.N2Click(); });
    // Size, position, page and expanded directories as the last run left them.
    const std::string stateFile = WindowState::file();
    WindowState::restore(MainForm.stateParts(), stateFile);
    MainForm.show();
    const int status = app.exec();
    WindowState::save(MainForm.stateParts(), stateFile);
    return status;
}
