#pragma once

#include "core/collection/CollectionTree.h"
#include "core/config/Configuration.h"
#include "core/info/TagWriter.h"
#include "core/player/PlaybackListener.h"

#include "gui/app/MainLayout.h"
#include "gui/app/WindowState.h"
#include "gui/tray/TrayShell.h"

#include <QIcon>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QMenu;
class QMenuBar;
class QTreeView;

namespace cantorel {

class BuildProgress;
class CollectionFilter;
class CollectionModel;
class EditorPage;
class ErrorBox;
class InfoPages;
class LiveCollection;
class PlayerPanel;
class Session;
class TTrayIcon;

// The main window: the collection tree, the player panel below it and the four pages
// beside it, laid out as a fixed column on the left and the pages taking the rest. It is
// a view of the session: the panel, the tray menu and the pages show what the session's
// controller and editor decide.
class TMainForm : public QWidget, private PlaybackListener {
    Q_OBJECT
public:
    PlayerPanel& playerPanel() { return *PlPanel; }
    // Builds the controls and runs FormCreate. `session` outlives the window.
    // `errorBox` shows the window's error boxes; tests pass one that records them.
    // `trayShell` is the notification area (by default the desktop's); without one the
    // program runs without its icon.
    TMainForm(Session& session, std::shared_ptr<ErrorBox> errorBox, std::unique_ptr<TrayShell> trayShell = {},
              QWidget* parent = nullptr);
    ~TMainForm() override;

    // Why FormCreate stopped early ("" when it ran to its end). Start-up ends the
    // program with exit code 1 before the splash when this is set.
    const QString& setupError() const { return setupError_; }
    // True when the decoder library could not be loaded; start-up then shows its box and
    // ends with exit code 1.
    bool libraryMissing() const { return libraryMissing_; }

    // Builds the collection tree while `progress` shows how far it is, selects the first
    // node and shows it, and makes the first track the active one without playing it.
    void InitialFill(BuildProgress* progress);
    // The instant start: shows the tree the session holds (the last run's), selects as
    // InitialFill does, and reads the collection behind the window.
    void showKnownTree();
    // Reads the collection behind the window, keeping the view's state when it changed.
    LiveCollection* live() const { return live_; }

    Session& session() const { return session_; }
    // None where the desktop has no notification area.
    TTrayIcon* trayIcon() const { return TrayIcon.get(); }
    QTreeView* treeView() const { return TreeView; }
    CollectionModel* model() const { return Model; }
    CollectionFilter* filter() const { return Filter; }
    InfoPages* pages() const { return Pages; }
    // What WindowState keeps of this window between runs.
    WindowState::Parts stateParts();
    // Selects a node in the tree view (NoNode clears the selection).
    void selectNode(NodeId node);
    NodeId selectedNode() const;

    // The selection handlers, also called by the program (and the tests).
    void TreeViewChanging(NodeId leaving);
    void TreeViewChange(NodeId node);
    void btnFilesBBSClick();
    // Enter in an editor field: the next track of the node table, focus on edName.
    void edNameKeyPress();

    // The tray menu's player items, the tree's double click and Return, and a click on
    // the now-playing text.
    void plPlayClick();
    void plPrevClick();
    void plNextClick();
    void TreeViewDblClick();
    void plATViewDblClick();
    // The tray menu and icon.
    void TrayRestore();
    void N1Click() { TrayRestore(); }
    // Exit: ends the program also while the window is hidden in the notification area.
    void N2Click();
    // F5 and the tray menu: reads the collection again (with the probe cache), keeping the
    // selection and the active track where they still exist and the player playing. The
    // edits of the selected node are saved first.
    void Rescan();
    // Ctrl+Z and the Edit menu (editing on): puts back what the last save of this
    // collection replaced, and reads the collection again; a refusal is shown.
    void undoLastSave();
    // Opens the preview of the repair of the texts of `node`'s folder (its own, for a
    // folder) that look stored in another code page; Apply writes them.
    void repairFolder(NodeId node);
    // The picture page's buttons (a track, editing on, ID3v2 tags): the track's front cover
    // from an image file, or none.
    void setCoverFromFile(const QString& file);
    void removeCover();
    // The hint the panel gives the active track (also the tray icon's tool tip).
    const QString& activeHint() const { return hint_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void treeCurrentChanged(const QModelIndex& current, const QModelIndex& previous);

private:
    void activeTrackChanged(const PlaybackController& playback) override;
    void playingChanged(bool playing) override;
    void playbackFailed(const Failure& failure) override;
    // Ctrl+Z, and with `withMenuBar` an Edit menu above the other controls.
    void createEditMenu(bool withMenuBar);
    // Reads the collection again, keeping the selection (the edits are not saved here).
    void rebuildTree();
    // Lets `replace` replace the tree, keeping the open folders, the selection and the
    // scroll position; `replace` calls `before` just before it changes the tree.
    void keepingViewState(const std::function<void(const std::function<void()>& before)>& replace);
    // Puts the finished reading behind the window in place; false while the user types.
    bool applyScan();
    void showScanProgress(const QString& progress);
    // Builds the search index once no reading runs.
    void indexWhenIdle();
    // After the first tree is shown: the first node selected, the first track active.
    void firstTreeShown();
    void saveCover(const std::optional<TagChange::Cover>& cover);
    QString ui(UiString id) const;
    void buildControls();
    void connectHandlers();
    void setHints(const QString& hint);
    // Tray actions wait for the end of start-up and for any modal box.
    bool trayActionsAllowed() const;
    void createTrayIcon(std::unique_ptr<TrayShell> shell);
    void buildTrayMenu();
    void FormCreate();
    void FormResize();
    void FormDestroy();
    void applyLayout();
    void returnToRefusedDescription();

    Session& session_;
    std::shared_ptr<ErrorBox> errorBox_;
    MainLayout layout_;
    QIcon icon_;
    QString setupError_;
    bool libraryMissing_ = false;
    bool leftOnClose_ = false;
    bool initialFillDone_ = false;
    QString hint_;
    std::unique_ptr<TrayShell> trayShell_;
    // A typed description that could not be saved, and its node: shown again to be changed.
    struct RefusedDescription {
        NodeId node;
        std::string text;
    };
    std::optional<RefusedDescription> refused_;
    std::unique_ptr<TTrayIcon> TrayIcon;

    QTreeView* TreeView = nullptr;
    CollectionModel* Model = nullptr;
    CollectionFilter* Filter = nullptr;
    PlayerPanel* PlPanel = nullptr;
    InfoPages* Pages = nullptr;
    EditorPage* TagEditor = nullptr;
    QMenu* TrayMenu = nullptr;
    QAction* N1 = nullptr;
    QAction* miPlay = nullptr;
    QAction* miPrev = nullptr;
    QAction* miNext = nullptr;
    QAction* miRescan = nullptr;
    QMenuBar* MainMenu = nullptr; // with editing on: the Edit menu
    QAction* miUndo = nullptr;
    QAction* miRepair = nullptr; // with editing of ID3v2 tags
    int menuHeight_ = 0;         // the client area below the menu bar
    QAction* N2 = nullptr;
    LiveCollection* live_ = nullptr;
};

} // namespace cantorel
