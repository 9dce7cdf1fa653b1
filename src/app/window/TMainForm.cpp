#include "app/window/TMainForm.h"

#include "app/window/ErrorBox.h"
#include "config/Configuration.h"
#include "app/window/Glyphs.h"
#include "app/window/Widgets.h"
#include "collection/CollectionBuilder.h"
#include "collection/DescriptionWriter.h"
#include "collection/ProbeCache.h"
#include "collection/window/CollectionModel.h"
#include "info/InfoPage.h"
#include "info/NodeEditor.h"
#include "info/PicturePage.h"
#include "info/TrackInfo.h"
#include "info/window/EditorPage.h"
#include "info/window/InfoPages.h"
#include "platform/Collation.h"
#include "platform/SystemLocale.h"
#include "platform/FileSystem.h"
#include "player/PanelRules.h"
#include "player/PlaybackController.h"
#include "player/TMPEGPlayer.h"
#include "platform/ProcessPriority.h"
#include "tray/window/QtTrayShell.h"
#include "tray/window/TTrayIcon.h"
#include "player/window/QtPlayerTimer.h"
#include "player/window/PlayerPanel.h"
#include "player/window/TPosTracker.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QResizeEvent>
#include <QShortcut>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <stdexcept>

namespace cantorel {

using namespace widgets;

namespace {

// Assistive tools announce the main window as a window (AT-SPI "frame"); a top-level
// plain widget would be a "filler".
QAccessibleInterface* accessibleMainForm(const QString&, QObject* object)
{
    if (auto* form = qobject_cast<TMainForm*>(object))
        return new QAccessibleWidget(form, QAccessible::Window);
    return nullptr;
}

void place(QWidget* widget, const Rect& r) { widget->setGeometry(r.left, r.top, r.width, r.height); }

} // namespace

TMainForm::TMainForm(const Configuration& configuration, std::shared_ptr<ErrorBox> errorBox,
                     const std::string& libraryDirectory, std::unique_ptr<TrayShell> trayShell, QWidget* parent)
    : QWidget(parent), config_(configuration), errorBox_(std::move(errorBox)), libraryDirectory_(libraryDirectory),
      trayShell_(std::move(trayShell))
{
    setObjectName("MainForm");
    QAccessible::installFactory(accessibleMainForm);
    setFont(QFont("MS Sans Serif", 8));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    buildControls();
    resize(MainLayout::InitialClientWidth, MainLayout::InitialClientHeight);
    move(197, 117);
    FormCreate();
    if (setupError_.isEmpty())
        connectHandlers();
}

TMainForm::~TMainForm() { FormDestroy(); }

const std::string& TMainForm::musicFolder() const { return config_.Settings.MP3RootDir; }

QString TMainForm::ui(int id) const { return qs(config_.GetUIString(id)); }

void TMainForm::buildControls()
{
    TreeView = named(new QTreeView(this), "TreeView");
    TreeView->setHeaderHidden(true);
    TreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView->setIndentation(19);
    TreeView->setUniformRowHeights(true);
    TreeView->setContextMenuPolicy(Qt::PreventContextMenu);
    TreeView->setFocus();
    Model = new CollectionModel(Tree, Glyphs::stateImages(), this);
    TreeView->setModel(Model);
    connect(TreeView->selectionModel(), &QItemSelectionModel::currentChanged, this, &TMainForm::treeCurrentChanged);
    buildPanel();
    buildPages();
    buildTrayMenu();
    applyLayout();
}

void TMainForm::buildPanel()
{
    PlPanel = new PlayerPanel(this);
    plPrev = PlPanel->plPrev;
    plPlay = PlPanel->plPlay;
    plNext = PlPanel->plNext;
    plPosView = PlPanel->plPosView;
    plLenView = PlPanel->plLenView;
    plATView = PlPanel->plATView;
    cbPriority = PlPanel->cbPriority;
}

void TMainForm::buildPages()
{
    Pages = new InfoPages(this);
    TabSheet1 = Pages->TabSheet1;
    Image = Pages->Image;
    TabSheet2 = Pages->TabSheet2;
    TextView = Pages->TextView;
    TabSheet3 = Pages->TabSheet3;
    TrackInfo = Pages->TrackInfo;
    buildEditor();
}

void TMainForm::buildEditor()
{
    TagEditor = new EditorPage;
    edName = TagEditor->edName;
    edAlbum = TagEditor->edAlbum;
    edArtist = TagEditor->edArtist;
    edYear = TagEditor->edYear;
    edGenre = TagEditor->edGenre;
    edComment = TagEditor->edComment;
    edFilesBBS = TagEditor->edFilesBBS;
    btnFilesBBS = TagEditor->btnFilesBBS;
    lbName = TagEditor->lbName;
    lbAlbum = TagEditor->lbAlbum;
    lbArtist = TagEditor->lbArtist;
    lbYear = TagEditor->lbYear;
    lbGenre = TagEditor->lbGenre;
    lbComment = TagEditor->lbComment;
    lbFilesBBS = TagEditor->lbFilesBBS;
    connect(btnFilesBBS, &QToolButton::clicked, this, [this] { btnFilesBBSClick(); });
    for (QWidget* field : TagEditor->inputs())
        field->installEventFilter(this);
}

void TMainForm::buildTrayMenu()
{
    TrayMenu = named(new QMenu(this), "TrayMenu");
    N1 = TrayMenu->addAction(QString());
    N1->setObjectName("N1");
    QFont bold = N1->font();
    bold.setBold(true);
    N1->setFont(bold);
    TrayMenu->setDefaultAction(N1);
    miPlay = TrayMenu->addAction(QString());
    miPlay->setObjectName("miPlay");
    miPrev = TrayMenu->addAction(QString());
    miPrev->setObjectName("miPrev");
    miNext = TrayMenu->addAction(QString());
    miNext->setObjectName("miNext");
    miRescan = TrayMenu->addAction(QString());
    miRescan->setObjectName("miRescan");
    N2 = TrayMenu->addAction(QString());
    N2->setObjectName("N2");
}

void TMainForm::createTrayIcon(std::unique_ptr<TrayShell> shell)
{
    if (!shell)
        shell = std::make_unique<QtTrayShell>();
    try {
        TrayIcon = std::make_unique<TTrayIcon>(this, std::move(shell), windowIcon(), QApplication::applicationName());
    } catch (const std::runtime_error&) {
        // No notification area: the program runs without its icon and minimizes normally.
        TrayIcon.reset();
        return;
    }
    TrayIcon->setPopupMenu(TrayMenu);
    TrayIcon->OnDblClick = [this] { TrayRestore(); };
}

void TMainForm::connectHandlers()
{
    connect(plPlay, &QToolButton::clicked, this, [this] { plPlayClick(); });
    connect(plPrev, &QToolButton::clicked, this, [this] { plPrevClick(); });
    connect(plNext, &QToolButton::clicked, this, [this] { plNextClick(); });
    connect(TreeView, &QTreeView::doubleClicked, this, [this] { TreeViewDblClick(); });
    connect(cbPriority, &QComboBox::activated, this, [this](int index) { cbPriorityChange(index); });
    connect(plPos, &TPosTracker::mouseDown, this, [this] { TrackerMouseDown(); });
    connect(plPos, &TPosTracker::mouseUp, this, [this] { TrackerMouseUp(); });
    connect(plPos, &QSlider::valueChanged, this, [this](int seconds) { Playback->setSliderPosition(seconds); });
    const auto fromTray = [this](void (TMainForm::*handler)()) {
        return [this, handler] {
            if (trayActionsAllowed())
                (this->*handler)();
        };
    };
    connect(N1, &QAction::triggered, this, fromTray(&TMainForm::N1Click));
    connect(miPlay, &QAction::triggered, this, fromTray(&TMainForm::plPlayClick));
    connect(miPrev, &QAction::triggered, this, fromTray(&TMainForm::plPrevClick));
    connect(miNext, &QAction::triggered, this, fromTray(&TMainForm::plNextClick));
    connect(N2, &QAction::triggered, this, fromTray(&TMainForm::N2Click));
    connect(miRescan, &QAction::triggered, this, fromTray(&TMainForm::Rescan));
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this, [this] {
        if (trayActionsAllowed())
            Rescan();
    });
    TreeView->installEventFilter(this);
    plATView->installEventFilter(this);
}

bool TMainForm::trayActionsAllowed() const { return initialFillDone_ && !QApplication::activeModalWidget(); }

void TMainForm::FormCreate()
{
    try {
        FormCreateSteps();
    } catch (const std::exception& e) {
        setupError_ = QString::fromUtf8(e.what());
    }
}

void TMainForm::FormCreateSteps()
{
    Player = std::make_unique<TMPEGPlayer>([] { return std::make_unique<QtPlayerTimer>(); });
    Player->PathToDLL =
        libraryDirectory_.empty() ? fs::ownFileDirectory("mpeg.so", "../lib/cantorel") : libraryDirectory_;
    Player->setTimerFreq(250);
    Player->UseTimer = true;
    Player->setOutputDevice(TOutputDevice::wavemapper);
    Player->WaveDeviceNum = -1;
    try {
        Player->LoadDLL();
    } catch (const TMPEGError&) {
        // Told by DLLLoaded below, with the message start-up shows.
    }
    if (!Player->DLLLoaded()) {
        libraryMissing_ = true;
        throw std::runtime_error("Unable to load file MPEG.SO.");
    }
    Player->setPlayerPriority(TPlayPriority::Normal);
    Playback = std::make_unique<PlaybackController>(
        Tree, *Player, PlaybackTexts{config_.GetUIString(18), config_.Settings.WindowTitle});
    Playback->addListener(PlPanel);
    Playback->addListener(this);
    plPos = PlPanel->createTracker();
    const SettingsRecord& settings = config_.Settings;
    QApplication::setApplicationName(qs(settings.WindowTitle));
    setWindowTitle(qs(settings.WindowTitle));
    if (!settings.Icon.empty()) {
        // Read by the path's bytes, which need not be UTF-8.
        const std::optional<std::string> bytes = fs::readFile(settings.Icon);
        QByteArray data = bytes ? QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size())) : QByteArray();
        QBuffer buffer(&data);
        QImageReader reader(&buffer);
        const QImage image = reader.read();
        if (image.isNull())
            throw std::runtime_error(
                "Unable to read the icon file " + settings.Icon + ": " +
                (bytes ? reader.errorString().toStdString() : std::string("cannot read the file")));
        icon_ = QIcon(QPixmap::fromImage(image));
    } else {
        icon_ = Glyphs::programIcon();
    }
    QApplication::setWindowIcon(icon_);
    setWindowIcon(icon_);
    createTrayIcon(std::move(trayShell_));
    Pages->setTabText(Pages->indexOf(TabSheet3), ui(22));
    Pages->setTabText(Pages->indexOf(TabSheet2), ui(21));
    Pages->setTabText(Pages->indexOf(TabSheet1), ui(20));
    if (settings.AllowEdit)
        Pages->addTab(TagEditor, ui(23));
    TagEditor->setCaptions(config_);
    N1->setText(ui(35));
    N2->setText(ui(36));
    collation_ = std::make_unique<Collation>(locale::localeName("LC_COLLATE"), &settings.ansi());
    TagEditor->setGenres(sortedGenreList(config_.GenreTable, *collation_));
    Editor = std::make_unique<NodeEditor>(Tree, settings.AllowEdit, settings.ansi());
    cbPriority->addItems({ui(27), ui(28), ui(29), ui(30)});
    cbPriority->setCurrentIndex(1);
    plPlay->setIcon(Glyphs::play());
    miPlay->setText(ui(31));
    miPrev->setText(ui(33));
    miNext->setText(ui(34));
    miRescan->setText(ui(RescanString));
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TMainForm::FormResize()
{
    layout_.FormResize(width(), height());
    applyLayout();
}

void TMainForm::applyLayout()
{
    place(TreeView, layout_.tree);
    place(PlPanel, layout_.panel);
    place(Pages, layout_.pages);
}

void TMainForm::InitialFill(BuildProgress* progress)
{
    BuildTree(progress);
    if (NodeCount() == 0) {
        initialFillDone_ = true;
        return;
    }
    selectNode(Tree.Nodes.front());
    Playback->activateFirstTrack();
    initialFillDone_ = true;
}

void TMainForm::BuildTree(BuildProgress* progress)
{
    probeCache.reset(); // after the save of the last build
    probeCache = probeCacheFor(config_);
    TrackProber probe = trackProber(config_.Settings.tagPage(), config_.Settings.ReadID3v2);
    if (probeCache)
        probe = cachedProber(std::move(probe), *probeCache);
    BuildSettings settings = BuildSettings::fromConfiguration(config_, *collation_, std::move(probe));
    settings.readAheadThreads = BuildSettings::ReadAheadThreads;
    Model->beginBuild();
    CollectionBuilder(Tree, settings, progress).BuildTree();
    Model->endBuild();
    // The window shows while the cache is written.
    if (probeCache)
        probeCache->saveInBackground();
}

void TMainForm::Rescan()
{
    const NodeId selected = selectedNode();
    TreeViewChanging(selected);
    const CollectionItem* selectedRecord = selected == NoNode ? nullptr : Tree.record(selected);
    const std::string selectedPath = selectedRecord ? selectedRecord->Path.str() : std::string();
    const std::uint8_t selectedKind = selected == NoNode ? 0 : Tree.kind(selected);
    const CollectionItem* activeRecord = Tree.ActiveNode == NoNode ? nullptr : Tree.record(Tree.ActiveNode);
    const std::string activePath = activeRecord ? activeRecord->Path.str() : std::string();
    const std::uint8_t activeKind = Tree.ActiveNode == NoNode ? 0 : Tree.kind(Tree.ActiveNode);
    BuildTree(nullptr);
    Playback->treeRebuilt(activePath.empty() ? NoNode : findNode(activePath, activeKind));
    // Without the active track (it is gone), the first track is made active, as at start.
    if (Tree.ActiveNode == NoNode)
        Playback->activateFirstTrack();
    const NodeId again = selectedPath.empty() ? NoNode : findNode(selectedPath, selectedKind);
    selectNode(again != NoNode ? again : (Tree.Nodes.empty() ? NoNode : Tree.Nodes.front()));
}

NodeId TMainForm::findNode(const std::string& path, std::uint8_t kind) const
{
    for (const NodeId node : Tree.Nodes) {
        const CollectionItem* r = Tree.record(node);
        if (r && r->Path == path && Tree.kind(node) == kind)
            return node;
    }
    return NoNode;
}

void TMainForm::selectNode(NodeId node)
{
    const QModelIndex index = Model->indexOf(node);
    TreeView->setCurrentIndex(index);
    if (index.isValid())
        TreeView->scrollTo(index);
}

NodeId TMainForm::selectedNode() const { return Model->nodeOf(TreeView->currentIndex()); }

void TMainForm::treeCurrentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    TreeViewChanging(Model->nodeOf(previous));
    TreeViewChange(Model->nodeOf(current));
}

void TMainForm::TreeViewChanging(NodeId leaving)
{
    if (!Editor)
        return;
    EditorServices services;
    const SettingsRecord& settings = config_.Settings;
    services.writeTag = [this, &settings](const CollectionItem& item) {
        return WriteTag(
            item, settings.tagPage(), [this](const std::string& path) { return isActiveTrack(path); },
            settings.ReadID3v2);
    };
    services.descriptionProblem = [this, &settings](const CollectionItem& item, const std::string& text) {
        return unwritableDescriptionFor(
            item, text,
            DescriptionFormat{settings.FilesBBS, settings.oem(), settings.ansi(), *collation_, settings.MP3RootDir});
    };
    services.writeDescription = [this, &settings](const CollectionItem& item) {
        return WriteDescription(item, DescriptionFormat{settings.FilesBBS, settings.oem(), settings.ansi(), *collation_,
                                                        settings.MP3RootDir});
    };
    services.showError = [this](const std::string& text, const std::string& button) {
        errorBox_->show(this, "Error", qs(text), qs(button));
    };
    services.captionsChanged = [this](const std::vector<NodeId>& nodes) { Model->captionsChanged(nodes); };
    Editor->leave(leaving, TagEditor->readFields(), services);
}

bool TMainForm::isActiveTrack(const std::string& path) const
{
    if (Tree.ActiveNode == NoNode || !Tree.record(Tree.ActiveNode))
        return false;
    const auto active = fs::identityOf(Tree.record(Tree.ActiveNode)->Path);
    return active && active == fs::identityOf(path);
}

void TMainForm::TreeViewChange(NodeId node)
{
    if (node == NoNode || !Tree.record(node))
        return;
    const CollectionItem& r = *Tree.record(node);
    const bool track = Tree.kind(node) == KindTrack;
    if (Editor)
        TagEditor->showFields(Editor->load(node));
    QString page = qs(DescriptionPageText(
        {r, track, node == Tree.PlaylistsNode, genreShown(r, config_.GenreTable, *collation_)}, config_));
    TrackInfo->setText(page.replace('\r', '\n'));
    Pages->showPicture(pictureFor(r, track, config_.Settings.ReadID3v2));
    Pages->showText(r.TextPath, config_.Settings);
}

void TMainForm::btnFilesBBSClick()
{
    if (Editor && config_.Settings.AllowEdit && selectedNode() != NoNode)
        edFilesBBS->setText(qs(Editor->compose(selectedNode(), edName->text().toStdString())));
}

void TMainForm::edNameKeyPress()
{
    const NodeId next = Editor ? Editor->nextTrackAfter(selectedNode()) : NoNode;
    if (next == NoNode)
        return;
    selectNode(next);
    edName->setFocus();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == plATView &&
        (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick)) {
        plATViewDblClick();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return QWidget::eventFilter(watched, event);
    if (watched == TreeView)
        TreeViewDblClick();
    else
        edNameKeyPress();
    return true;
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // The edits of the node selected at the end are saved like any other.
    if (!leftOnClose_) {
        leftOnClose_ = true;
        TreeViewChanging(selectedNode());
    }
    event->accept();
}

void TMainForm::setHints(const QString& hint)
{
    hint_ = hint;
    setStatusTip(hint);
    if (TrayIcon)
        TrayIcon->setHint(hint);
}

void TMainForm::activeTrackChanged(const PlaybackController& p)
{
    setHints(qs(p.hint()));
    miPlay->setEnabled(p.canPlay());
    miNext->setEnabled(p.canGoNext());
    miPrev->setEnabled(p.canGoPrevious());
}

void TMainForm::playingChanged(bool playing) { miPlay->setText(ui(playing ? 32 : 31)); }

void TMainForm::plPlayClick() { Playback->playPause(); }

void TMainForm::plPrevClick() { Playback->previous(); }

void TMainForm::plNextClick() { Playback->next(); }

void TMainForm::TreeViewDblClick() { Playback->playNode(selectedNode()); }

void TMainForm::plATViewDblClick()
{
    if (Tree.ActiveNode != NoNode)
        selectNode(Tree.ActiveNode);
}

void TMainForm::cbPriorityChange(int index)
{
    Player->setPlayerPriority(TPlayPriority::AboveNormal);
    ProcessPriority::setClass(ProcessPriority::classOfEntry(index));
    // The class moved every thread; the decoder thread takes its place relative to it again.
    Player->setPlayerPriority(TPlayPriority::AboveNormal);
}

void TMainForm::TrackerMouseDown() { Playback->holdPosition(); }

void TMainForm::TrackerMouseUp() { Playback->releasePosition(plPos->value()); }

void TMainForm::N2Click()
{
    close();
    // Closing a hidden window does not end the event loop by itself.
    QCoreApplication::quit();
}

void TMainForm::TrayRestore()
{
    if (!trayActionsAllowed())
        return;
    showNormal();
    raise();
    activateWindow();
    if (TrayIcon)
        TrayIcon->AppRestored();
}

void TMainForm::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Minimized into the icon: only the icon stays. Without one the window minimizes as usual.
    // The hide waits for the event loop: showMinimized() shows the window after the change.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayIcon) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isMinimized() && TrayIcon)
                    TrayIcon->AppMinimized();
            },
            Qt::QueuedConnection);
    }
}

void TMainForm::FormDestroy()
{
    TrayIcon.reset();
    if (Playback) {
        Playback->removeListener(PlPanel);
        Playback->removeListener(this);
    }
    if (Player) {
        try {
            Player->UnloadDLL();
        } catch (const TMPEGError&) {
            // The window is going away; the library is unloaded whatever closing its stream said.
        }
    }
}

} // namespace cantorel
