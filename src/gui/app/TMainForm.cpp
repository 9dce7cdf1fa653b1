#include "gui/app/TMainForm.h"

#include "core/config/Configuration.h"
#include "core/info/NodeEditor.h"
#include "core/info/PicturePage.h"
#include "core/platform/FileSystem.h"
#include "core/player/PlaybackController.h"
#include "core/session/Session.h"

#include "gui/collection/CollectionFilter.h"
#include "gui/collection/CollectionModel.h"
#include "gui/collection/LiveCollection.h"
#include "gui/common/ErrorBox.h"
#include "gui/common/Glyphs.h"
#include "gui/common/Widgets.h"
#include "gui/info/EditorPage.h"
#include "gui/info/InfoPages.h"
#include "gui/info/RepairDialog.h"
#include "gui/player/PlayerPanel.h"
#include "gui/player/QtPlayerTimer.h"
#include "gui/tray/QtTrayShell.h"
#include "gui/tray/TTrayIcon.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QFileDialog>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>

#include <filesystem>
#include <iostream>

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

// The program's icon from the configured file, read by the path's bytes (which need not
// be UTF-8); the failure names the file and the reason.
Result<QIcon> iconFromFile(const std::string& path)
{
    const std::optional<std::string> bytes = fs::readFile(path);
    QByteArray data = bytes ? QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size())) : QByteArray();
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    const QImage image = reader.read();
    if (image.isNull())
        return fail("Unable to read the icon file " + path + ": " +
                    (bytes ? reader.errorString().toStdString() : std::string("cannot read the file")));
    return QIcon(QPixmap::fromImage(image));
}

} // namespace

TMainForm::TMainForm(Session& session, std::shared_ptr<ErrorBox> errorBox, std::unique_ptr<TrayShell> trayShell,
                     QWidget* parent)
    : QWidget(parent), session_(session), errorBox_(std::move(errorBox)), trayShell_(std::move(trayShell))
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

QString TMainForm::ui(UiString id) const { return qs(session_.configuration().GetUIString(id)); }

void TMainForm::buildControls()
{
    TreeView = named(new QTreeView(this), "TreeView");
    TreeView->setHeaderHidden(true);
    TreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView->setIndentation(19);
    TreeView->setUniformRowHeights(true);
    TreeView->setContextMenuPolicy(Qt::PreventContextMenu);
    TreeView->setFocus();
    Model = new CollectionModel(session_.tree(), Glyphs::stateImages(), this);
    Model->setOfflineNote(ui(UiString::OfflineNote));
    live_ = new LiveCollection(session_,
                               {[this] { return applyScan(); },
                                [this](const QString& progress) { showScanProgress(progress); },
                                [this](const QString& text) {
                                    std::cerr << "cantorel: " << text.toStdString() << '\n';
                                    setStatusTip(text);
                                    if (TrayIcon)
                                        TrayIcon->setHint(hint_ + "\n" + text);
                                }},
                               this);
    TreeView->setModel(Model);
    connect(TreeView->selectionModel(), &QItemSelectionModel::currentChanged, this, &TMainForm::treeCurrentChanged);
    Filter = new CollectionFilter(this, *TreeView, *Model, session_.searchIndexAsItIs(),
                                  {ui(UiString::FilterPlaceholder), ui(UiString::NoMatch), ui(UiString::MoreMatches)},
                                  {[this] { return selectedNode(); }, [this](NodeId n) { selectNode(n); },
                                   [this](NodeId n) {
                                       // Left for good: what was typed is saved, and nothing
                                       // more is typed for a node the tree no longer shows.
                                       TreeViewChanging(n);
                                       TagEditor->setEnabled(false);
                                   },
                                   [this] { session_.searchIndex(); }});
    connect(Filter, &CollectionFilter::openChanged, this, [this] { applyLayout(); });
    PlPanel = new PlayerPanel(this);
    Pages = new InfoPages(this);
    // The editor page becomes a page only with editing on; it belongs to the window either way.
    TagEditor = new EditorPage(this);
    TagEditor->hide();
    connect(TagEditor, &EditorPage::composeClicked, this, [this] { btnFilesBBSClick(); });
    for (QWidget* field : TagEditor->inputs())
        field->installEventFilter(this);
    buildTrayMenu();
    applyLayout();
}

void TMainForm::buildTrayMenu()
{
    TrayMenu = named(new QMenu(this), "TrayMenu");
    const auto item = [this](const char* name) {
        QAction* action = TrayMenu->addAction(QString());
        action->setObjectName(name);
        return action;
    };
    N1 = item("N1");
    QFont bold = N1->font();
    bold.setBold(true);
    N1->setFont(bold);
    TrayMenu->setDefaultAction(N1);
    miPlay = item("miPlay");
    miPrev = item("miPrev");
    miNext = item("miNext");
    miRescan = item("miRescan");
    N2 = item("N2");
}

void TMainForm::createTrayIcon(std::unique_ptr<TrayShell> shell)
{
    if (!shell)
        shell = std::make_unique<QtTrayShell>();
    Result<std::unique_ptr<TTrayIcon>> icon =
        TTrayIcon::create(this, std::move(shell), windowIcon(), QApplication::applicationName());
    // No notification area: the program runs without its icon and minimizes normally.
    if (!icon)
        return;
    TrayIcon = std::move(icon.value());
    TrayIcon->setPopupMenu(TrayMenu);
    TrayIcon->OnDblClick = [this] { TrayRestore(); };
}

void TMainForm::connectHandlers()
{
    connect(TreeView, &QTreeView::doubleClicked, this, [this] { TreeViewDblClick(); });
    if (Pages->btnSetCover) {
        connect(Pages->btnSetCover, &QPushButton::clicked, this, [this] {
            const QString file = QFileDialog::getOpenFileName(this, Pages->btnSetCover->text(), QString(),
                                                              "Images (*.jpg *.jpeg *.png *.gif *.bmp *.webp)");
            if (!file.isEmpty())
                setCoverFromFile(file);
        });
        connect(Pages->btnRemoveCover, &QPushButton::clicked, this, [this] { removeCover(); });
    }
    connect(PlPanel, &PlayerPanel::lineClicked, this, [this] { plATViewDblClick(); });
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
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this, fromTray(&TMainForm::Rescan));
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] { Filter->open(); });
    TreeView->installEventFilter(this);
}

bool TMainForm::trayActionsAllowed() const { return initialFillDone_ && !QApplication::activeModalWidget(); }

void TMainForm::FormCreate()
{
    if (const Result<> started = session_.startPlayer({[] { return std::make_unique<QtPlayerTimer>(); }, 250, {}});
        !started) {
        libraryMissing_ = true;
        setupError_ = "Unable to load file MPEG.SO.";
        return;
    }
    session_.playback().addListener(this);
    PlPanel->attach(session_, {ui(UiString::PriorityIdle), ui(UiString::PriorityNormal), ui(UiString::PriorityHigh),
                               ui(UiString::PriorityRealTime)});
    const SettingsRecord& settings = session_.settings();
    QApplication::setApplicationName(qs(settings.WindowTitle));
    setWindowTitle(qs(settings.WindowTitle));
    if (!settings.Icon.empty()) {
        const Result<QIcon> icon = iconFromFile(settings.Icon);
        if (!icon) {
            setupError_ = qs(icon.error());
            return;
        }
        icon_ = icon.value();
    } else {
        icon_ = Glyphs::programIcon();
    }
    QApplication::setWindowIcon(icon_);
    setWindowIcon(icon_);
    createTrayIcon(std::move(trayShell_));
    Pages->setTabText(Pages->indexOf(Pages->TabSheet3), ui(UiString::DescriptionTab));
    Pages->setTabText(Pages->indexOf(Pages->TabSheet2), ui(UiString::TextTab));
    Pages->setTabText(Pages->indexOf(Pages->TabSheet1), ui(UiString::PictureTab));
    if (settings.AllowEdit)
        Pages->addTab(TagEditor, ui(UiString::EditorTab));
    TagEditor->setCaptions(session_.configuration());
    N1->setText(ui(UiString::RestoreItem));
    N2->setText(ui(UiString::ExitItem));
    TagEditor->setGenres(session_.genreList());
    if (settings.AllowEdit && settings.ReadID3v2) {
        TagEditor->showExtendedFields(session_.configuration());
        Pages->setCoverButtons(ui(UiString::SetCoverButton), ui(UiString::RemoveCoverButton));
    }
    if (settings.AllowEdit)
        createEditMenu(settings.ReadID3v2);
    miPlay->setText(ui(UiString::PlayItem));
    miPrev->setText(ui(UiString::PreviousItem));
    miNext->setText(ui(UiString::NextItem));
    miRescan->setText(ui(UiString::RescanItem));
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TMainForm::FormResize()
{
    layout_.FormResize(width(), height() - menuHeight_);
    applyLayout();
}

void TMainForm::applyLayout()
{
    // Below the menu bar, when there is one.
    const auto below = [this](Rect r) {
        r.top += menuHeight_;
        return r;
    };
    if (MainMenu)
        MainMenu->setGeometry(0, 0, width(), menuHeight_);
    const Rect tree = below(layout_.tree);
    const QRect rest = Filter->place(QRect(tree.left, tree.top, tree.width, tree.height));
    TreeView->setGeometry(rest);
    place(PlPanel, below(layout_.panel));
    place(Pages, below(layout_.pages));
}

void TMainForm::createEditMenu(bool withMenuBar)
{
    miUndo = new QAction(ui(UiString::UndoItem), this);
    miUndo->setObjectName("miUndo");
    miUndo->setShortcut(QKeySequence::Undo);
    addAction(miUndo); // Ctrl+Z anywhere in the window; a text field takes its own first
    connect(miUndo, &QAction::triggered, this, [this] { undoLastSave(); });
    if (!withMenuBar)
        return; // the window keeps the layout of the editor of ID3v1 tags
    MainMenu = named(new QMenuBar(this), "MainMenu");
    QMenu* edit = MainMenu->addMenu(ui(UiString::EditMenu));
    edit->setObjectName("miEdit");
    edit->addAction(miUndo);
    // The repair of texts of another code page, for the selected node's folder.
    miRepair = new QAction(ui(UiString::RepairItem), this);
    miRepair->setObjectName("miRepair");
    connect(miRepair, &QAction::triggered, this, [this] { repairFolder(selectedNode()); });
    edit->addAction(miRepair);
    TreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TreeView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const NodeId node = Model->nodeOf(TreeView->indexAt(at));
        if (node == NoNode)
            return;
        selectNode(node);
        QMenu menu(this);
        menu.addAction(miRepair);
        menu.exec(TreeView->viewport()->mapToGlobal(at));
    });
    menuHeight_ = MainMenu->sizeHint().height();
    // The client area of the other controls stays as it was.
    resize(width(), height() + menuHeight_);
    FormResize(); // a hidden window has its resize event only when shown
    MainMenu->show();
}

void TMainForm::undoLastSave()
{
    // What was typed is saved first (and is then the last save); a description the editor
    // composed by itself is not, or each undo would make a new save to undo.
    NodeEditor& editor = session_.editor();
    const bool composes = editor.writesComposed();
    editor.setWriteComposed(false);
    TreeViewChanging(selectedNode());
    editor.setWriteComposed(composes);
    const Result<std::int64_t> last = session_.lastSave();
    if (last && last.value() == 0)
        return; // nothing to undo
    const Result<std::int64_t> undone = last ? session_.undo(last.value()) : Result<std::int64_t>(last.failure());
    if (!undone) {
        errorBox_->show(this, "Error", qs(session_.shown(undone.error())), "Cancel");
        return;
    }
    Pages->forgetPicture();
    rebuildTree();
}

void TMainForm::repairFolder(NodeId node)
{
    const CollectionTree& tree = session_.tree();
    const CollectionItem* r = node == NoNode ? nullptr : tree.record(node);
    if (!r || node == tree.PlaylistsNode)
        return;
    std::string folder = r->Path.str();
    if (tree.kind(node) == KindTrack || tree.kind(node) == KindPlaylist)
        folder = std::filesystem::path(folder).parent_path().string();
    TreeViewChanging(node); // what was typed is saved first
    if (session_.previewRepair(folder).suspects.empty()) {
        errorBox_->show(this, "Information", ui(UiString::NothingToRepair), "OK");
        return;
    }
    auto* dialog = new RepairDialog(
        this, qs(session_.shown(folder)),
        {ui(UiString::RepairItem).remove('&').remove("..."), ui(UiString::RepairCodePage), ui(UiString::RepairApply)},
        [this, folder](const std::string& page) { return session_.previewRepair(folder, page).proposal; });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        if (!dialog->proposal())
            return;
        const Result<int> written = session_.applyRepair(*dialog->proposal());
        if (!written)
            errorBox_->show(this, "Error", qs(session_.shown(written.error())), "Cancel");
        Pages->forgetPicture();
        rebuildTree();
    });
    dialog->open();
}

void TMainForm::setCoverFromFile(const QString& file)
{
    const Result<TagChange::Cover> cover = TagChange::Cover::fromFile(file.toStdString());
    if (!cover) {
        errorBox_->show(this, "Error", qs(session_.shown(cover.error())), "Cancel");
        return;
    }
    saveCover(cover.value());
}

void TMainForm::removeCover() { saveCover(TagChange::Cover{}); }

void TMainForm::saveCover(const std::optional<TagChange::Cover>& cover)
{
    const NodeId node = selectedNode();
    const CollectionItem* r = node == NoNode ? nullptr : session_.tree().record(node);
    if (!r || session_.tree().kind(node) != KindTrack || !cover)
        return;
    TagChange change;
    change.cover = *cover;
    if (const Result<> saved = session_.saveTag(r->Path.str(), change); !saved) {
        errorBox_->show(this, "Error", qs(session_.shown(saved.error())), "Cancel");
        return;
    }
    Pages->forgetPicture();
    TreeViewChange(node);
}

void TMainForm::InitialFill(BuildProgress* progress)
{
    Model->beginBuild();
    session_.build(progress);
    Model->endBuild();
    firstTreeShown();
    live_->watchTree();
}

void TMainForm::showKnownTree()
{
    Model->beginBuild();
    Model->endBuild();
    firstTreeShown();
    live_->scan();
}

void TMainForm::firstTreeShown()
{
    indexWhenIdle();
    for (const std::string& notice : session_.takeNotices()) {
        std::cerr << "cantorel: " << notice << '\n';
        setStatusTip(qs(notice));
    }
    if (session_.tree().NodeCount() > 0) {
        selectNode(session_.tree().Nodes.front());
        session_.playback().activateFirstTrack();
    }
    initialFillDone_ = true;
}

bool TMainForm::applyScan()
{
    // Not while a field of the editor is being typed in: what is typed is saved on leaving.
    if (TagEditor && TagEditor->isVisible() && TagEditor->isAncestorOf(QApplication::focusWidget()))
        return false;
    Session::ScanOutcome outcome = Session::ScanOutcome::Running;
    keepingViewState([&](const std::function<void()>& before) {
        // What was typed in the editor is saved before its node is replaced.
        outcome = session_.adoptScan([&] {
            TreeViewChanging(selectedNode());
            before();
        });
    });
    if (outcome == Session::ScanOutcome::Stale)
        live_->scan();
    return true;
}

void TMainForm::indexWhenIdle()
{
    // Once the window has shown the tree and no reading runs behind it: the window shows
    // at once, and the reading and the index's build do not compete for the processor and
    // memory. Opening the filter sooner builds it then, before anything is typed.
    QTimer::singleShot(0, this, [this] {
        if (!live_->scanning())
            session_.searchIndex();
    });
}

void TMainForm::showScanProgress(const QString& progress)
{
    if (progress.isEmpty())
        indexWhenIdle();
    const QString title = qs(session_.settings().WindowTitle);
    const QString text = progress.isEmpty() ? QString() : ui(UiString::ReadingCollection) + progress;
    setWindowTitle(text.isEmpty() ? title : title + " - " + text);
    if (TrayIcon)
        TrayIcon->setHint(text.isEmpty() ? hint_ : hint_ + "\n" + text);
}

void TMainForm::Rescan()
{
    TreeViewChanging(selectedNode());
    rebuildTree();
}

void TMainForm::rebuildTree()
{
    keepingViewState([this](const std::function<void()>& before) {
        before();
        session_.rebuild();
    });
    live_->watchTree();
}

void TMainForm::keepingViewState(const std::function<void(const std::function<void()>& before)>& replace)
{
    NodeKey selectedKey;
    QStringList expanded;
    int scrolled = 0;
    bool began = false;
    const auto before = [&] {
        selectedKey = session_.keyOf(selectedNode());
        Filter->treeRebuilt();
        expanded = WindowState::expandedFolders(stateParts());
        scrolled = TreeView->verticalScrollBar()->value();
        Model->beginBuild();
        began = true;
    };
    replace(before);
    if (!began)
        return; // the tree stayed as it was
    Model->endBuild();
    WindowState::expandFolders(stateParts(), expanded); // the tree as it was left
    indexWhenIdle();
    const NodeId again = session_.find(selectedKey);
    const std::vector<NodeId>& nodes = session_.tree().Nodes;
    const NodeId selected = again != NoNode ? again : (nodes.empty() ? NoNode : nodes.front());
    TreeView->setCurrentIndex(Model->indexOf(selected));
    TreeView->verticalScrollBar()->setValue(scrolled);
}

WindowState::Parts TMainForm::stateParts() { return {*this, *Pages, *TreeView, *Model, session_.tree()}; }

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
    if (Filter->resetting())
        return; // the filter saved what was typed, and shows the same node
    TreeViewChanging(Model->nodeOf(previous));
    TreeViewChange(Model->nodeOf(current));
    // A typed description that was refused: back to its node, the text in the field again.
    if (refused_)
        QMetaObject::invokeMethod(
            this, [this] { returnToRefusedDescription(); }, Qt::QueuedConnection);
}

void TMainForm::TreeViewChanging(NodeId leaving)
{
    if (!setupError_.isEmpty())
        return;
    const LeaveOutcome outcome = session_.editor().leave(leaving, TagEditor->readFields());
    Model->captionsChanged(outcome.renamed);
    if (outcome.recordChanged)
        session_.searchChanged(leaving);
    for (const EditorMessage& message : outcome.messages)
        errorBox_->show(this, "Error", qs(message.text), qs(message.button));
    if (outcome.refusedDescription)
        refused_ = RefusedDescription{leaving, *outcome.refusedDescription};
}

void TMainForm::returnToRefusedDescription()
{
    if (!refused_)
        return;
    const RefusedDescription refused = *std::exchange(refused_, std::nullopt);
    if (selectedNode() != refused.node)
        selectNode(refused.node);
    TagEditor->setDescription(qs(refused.text));
}

void TMainForm::TreeViewChange(NodeId node)
{
    const CollectionTree& tree = session_.tree();
    if (node == NoNode || !tree.record(node) || !setupError_.isEmpty())
        return;
    TagEditor->setEnabled(true);
    TagEditor->showFields(session_.editor().load(node));
    Pages->showDescription(qs(session_.descriptionPage(node)));
    // A picture too large to show shows none.
    const Result<std::optional<Picture>> picture = session_.picture(node);
    Pages->showPicture(picture ? picture.value() : std::nullopt);
    Pages->showCoverButtons(tree.kind(node) == KindTrack);
    Pages->showText(tree.record(node)->TextPath, session_.settings());
}

void TMainForm::btnFilesBBSClick()
{
    if (session_.settings().AllowEdit && selectedNode() != NoNode)
        TagEditor->setDescription(qs(session_.editor().compose(selectedNode(), TagEditor->nameText().toStdString())));
}

void TMainForm::edNameKeyPress()
{
    const NodeId next = session_.editor().nextTrackAfter(selectedNode());
    if (next == NoNode)
        return;
    selectNode(next);
    TagEditor->focusName();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (watched == TreeView && static_cast<QKeyEvent*>(event)->text() == "/") {
        Filter->open();
        return true;
    }
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
    // The edits of the node selected at the end are saved like any other; a typed
    // description that was refused keeps the window open with it.
    if (!leftOnClose_) {
        TreeViewChanging(selectedNode());
        if (refused_ && !QCoreApplication::closingDown()) {
            returnToRefusedDescription();
            event->ignore();
            return;
        }
        leftOnClose_ = true;
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

void TMainForm::playingChanged(bool playing)
{
    miPlay->setText(ui(playing ? UiString::PauseItem : UiString::PlayItem));
    if (playing)
        setHints(qs(session_.playback().hint()));
}

void TMainForm::playbackFailed(const Failure& failure)
{
    // The icon's tip says why until the next start.
    setHints(ui(UiString::PlayingStopped) + qs(failure.message));
    std::cerr << "cantorel: " << failure.message << '\n';
}

void TMainForm::plPlayClick() { session_.playback().playPause(); }

void TMainForm::plPrevClick() { session_.playback().previous(); }

void TMainForm::plNextClick() { session_.playback().next(); }

void TMainForm::TreeViewDblClick() { session_.playback().playNode(selectedNode()); }

void TMainForm::plATViewDblClick()
{
    if (session_.playback().activeNode() != NoNode)
        selectNode(session_.playback().activeNode());
}

void TMainForm::N2Click()
{
    // Closing a hidden window does not end the event loop by itself; a window that stays
    // open (a refused edit to change) does not end the program.
    if (close())
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
    if (session_.playerStarted())
        session_.playback().removeListener(this);
    session_.stopPlayer();
}

} // namespace cantorel
