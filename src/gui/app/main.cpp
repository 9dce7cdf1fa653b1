#include "core/config/Configuration.h"
#include "core/config/ConfigurationLookup.h"
#include "core/config/ConfigurationReader.h"
#include "core/config/FirstRun.h"
#include "core/info/ExtendedTags.h"
#include "core/platform/FileSystem.h"
#include "core/platform/HeapArenas.h"
#include "core/platform/Paths.h"
#include "core/platform/SafeFileWriter.h"
#include "core/platform/SystemLocale.h"
#include "core/session/Session.h"

#include "gui/app/TMainForm.h"
#include "gui/app/TSplashForm.h"
#include "gui/app/WindowState.h"
#include "gui/common/CantorelApplication.h"
#include "gui/common/ErrorBox.h"
#include "gui/player/MprisService.h"
#include "gui/player/PlayerPanel.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QStandardPaths>

#include <algorithm>
#include <filesystem>
#include <iostream>

using namespace cantorel;

namespace {

constexpr const char* HelpText = R"(Usage: cantorel [--config FILE] [FOLDER]

Shows a music folder as a tree of folders, tracks and playlists, plays the tracks and,
when the configuration allows it, edits their tags and descriptions.

Options:
  --config FILE   read this configuration file (default: the first of cantorel.ini beside
                  the program, $XDG_CONFIG_HOME/cantorel/cantorel.ini and each
                  $XDG_CONFIG_DIRS/cantorel/cantorel.ini)
  FOLDER          the music folder of this run, whatever the configuration says
  --version       print the version
  --help, -h      print this text

The options of Qt (such as -platform, -style) are taken as well.
)";

// Qt's own options that take a value; the application object takes them away.
constexpr const char* QtOptionsWithValue[] = {"-platform",
                                              "-platformpluginpath",
                                              "-platformtheme",
                                              "-plugin",
                                              "-qwindowgeometry",
                                              "-qwindowicon",
                                              "-qwindowtitle",
                                              "-style",
                                              "-stylesheet",
                                              "-display",
                                              "-geometry",
                                              "-title",
                                              "-name",
                                              "-session"};
constexpr const char* QtFlags[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};

// cantorel [--config FILE] [FOLDER]
struct StartOptions {
    std::string configFile;
    std::string folder; // the music folder of this run
    enum class Action { Run, Help, Version } action = Action::Run;
};

// Read before the application object exists, so that --help, --version and mistakes need
// no display.
Result<StartOptions> startOptions(int argc, char** argv)
{
    StartOptions options;
    const auto among = [](std::string_view word, const auto& list) {
        return std::find(std::begin(list), std::end(list), word) != std::end(list);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--help" || word == "-h")
            options.action = StartOptions::Action::Help;
        else if (word == "--version")
            options.action = StartOptions::Action::Version;
        else if (word == "--config" && i + 1 < argc)
            options.configFile = argv[++i];
        else if (among(word, QtOptionsWithValue) && i + 1 < argc)
            ++i;
        else if (among(word, QtFlags))
            continue;
        else if (word.starts_with('-') || !options.folder.empty())
            return fail(word == "--config" ? "--config needs a file name"
                                           : "unknown option or a second folder '" + std::string(word) + "'");
        else
            options.folder = std::string(word);
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
    const std::string text = firstRunConfiguration(folder, ExtendedTags::standardGenres(),
                                                   locale::defaultCodePages(locale::localeName("LC_CTYPE")));
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
    // One heap for the window's thread and one for the threads reading behind it.
    heap::limitArenas(2);
    const Result<StartOptions> parsed = startOptions(argc, argv);
    if (!parsed) {
        std::cerr << "cantorel: " << parsed.error() << "\nTry 'cantorel --help'.\n";
        return 2;
    }
    const StartOptions& options = parsed.value();
    if (options.action == StartOptions::Action::Help) {
        std::cout << HelpText;
        return 0;
    }
    if (options.action == StartOptions::Action::Version) {
        std::cout << "cantorel " << Session::version() << '\n';
        return 0;
    }
    SessionOptions run;
    run.musicFolder = options.folder;
    run.snapshot = true;
    if (const Result<> usable = Session::checkOptions(run); !usable) {
        std::cerr << "cantorel: " << usable.error() << '\n';
        return 2;
    }
    CantorelApplication app(argc, argv);
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
    Session session(std::move(configuration), run);
    // A second start for the same folder brings the first one to the front instead.
    switch (MprisService::raiseRunningInstance(session.musicFolder())) {
    case MprisService::Instance::Raised: return 0;
    case MprisService::Instance::NoAnswer:
        std::cerr << "cantorel: another instance holds the player's bus name but did not answer; this one starts "
                     "all the same\n";
        break;
    case MprisService::Instance::None: break;
    }
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
    app.closeOnTerminationSignals(&MainForm);
    // The tree the last run left, shown at once while the collection is read behind it;
    // without one (or with InstantStart = no) the splash stays until it is read.
    if (session.settings().InstantStart && session.loadSnapshot()) {
        MainForm.showKnownTree();
    } else {
        TSplashForm SplashForm;
        SplashForm.Label1->setText(QString::fromStdString(session.settings().WindowTitle));
        SplashForm.Label2->setText(
            QString::fromStdString(session.configuration().GetUIString(UiString::SplashPreparing)));
        SplashForm.show();
        SplashForm.repaintNow();
        MainForm.InitialFill(&SplashForm);
        SplashForm.hide();
    }
    if (app.terminationRequested()) {
        MainForm.close();
        return 0;
    }
    // Media keys and the desktop's player widgets, through the session bus.
    MprisService mpris(session);
    QObject::connect(&mpris, &MprisService::raiseRequested, &MainForm, [&MainForm] { MainForm.TrayRestore(); });
    QObject::connect(&mpris, &MprisService::quitRequested, &MainForm, [&MainForm] { MainForm.N2Click(); });
    QObject::connect(&mpris, &MprisService::volumeChanged, &MainForm.playerPanel(), &PlayerPanel::setVolume);
    QObject::connect(&MainForm.playerPanel(), &PlayerPanel::volumeChanged, &mpris,
                     [&mpris] { mpris.announceVolume(); });
    // Size, position, page and expanded directories as the last run left them.
    const std::string stateFile = WindowState::file();
    if (!stateFile.empty())
        WindowState::restore(MainForm.stateParts(), stateFile);
    MainForm.show();
    const int status = app.exec();
    if (!stateFile.empty())
        WindowState::save(MainForm.stateParts(), stateFile);
    if (const Result<> kept = session.saveSnapshot(); !kept)
        std::cerr << "cantorel: the tree is not kept for the next start: " << kept.error() << '\n';
    return status;
}
