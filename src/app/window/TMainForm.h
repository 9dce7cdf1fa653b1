#pragma once

#include "app/MainLayout.h"
#include "collection/CollectionTree.h"
#include "player/PlaybackListener.h"
#include "tray/window/TrayShell.h"
#include "tray/window/TTrayIcon.h"

#include <QIcon>
#include <QWidget>
#include <memory>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QTabWidget;
class QTextEdit;
class QToolButton;
class QTreeView;

namespace cantorel {

class BuildProgress;
class Collation;
struct Configuration;
class PlaybackController;
class PlayerPanel;
class ProbeCache;
class EditorPage;
class InfoPages;
class NodeEditor;
struct CollectionItem;
struct EditorFields;
class CollectionModel;
class ErrorBox;
class TMPEGPlayer;
class TPosTracker;

// The main window: the collection tree, the player panel below it and the four pages
// beside it, laid out as a fixed column on the left and the pages taking the rest. The
// panel and the tray menu are views of the playback controller.
class TMainForm : public QWidget, private PlaybackListener {
    Q_OBJECT
public:
    // Builds the controls and runs FormCreate. `configuration` outlives the window.
    // `errorBox` shows the window's error boxes; tests pass one that records them.
    // The decoder library is loaded from `libraryDirectory` (ending with "/"); empty
    // means the program's own directory.
    // `trayShell` is the notification area (by default the desktop's); without one the
    // program runs without its icon.
    TMainForm(const Configuration& configuration, std::shared_ptr<ErrorBox> errorBox,
              const std::string& libraryDirectory = {}, std::unique_ptr<TrayShell> trayShell = {},
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

    // The collection tree and its node table.
    CollectionTree Tree;
    CollectionModel* Model = nullptr;
    std::unique_ptr<TMPEGPlayer> Player;
    std::unique_ptr<PlaybackController> Playback;
    std::unique_ptr<NodeEditor> Editor;
    std::unique_ptr<TTrayIcon> TrayIcon;    // none where the desktop has no notification area
    std::unique_ptr<ProbeCache> probeCache; // of the last build; saves in the background
    int NodeCount() const { return Tree.NodeCount(); }
    // Selects a node in the tree view (NoNode clears the selection).
    void selectNode(NodeId node);
    NodeId selectedNode() const;

    QTreeView* TreeView = nullptr;
    PlayerPanel* PlPanel = nullptr;
    QToolButton* plPrev = nullptr;
    QToolButton* plPlay = nullptr;
    QToolButton* plNext = nullptr;
    QLabel* plPosView = nullptr;
    QLabel* plLenView = nullptr;
    QLabel* plATView = nullptr;
    QComboBox* cbPriority = nullptr;
    TPosTracker* plPos = nullptr;
    InfoPages* Pages = nullptr;
    QWidget* TabSheet1 = nullptr;
    QLabel* Image = nullptr;
    QWidget* TabSheet2 = nullptr;
    QTextEdit* TextView = nullptr;
    QWidget* TabSheet3 = nullptr;
    QLabel* TrackInfo = nullptr;
    EditorPage* TagEditor = nullptr;
    QLabel* lbName = nullptr;
    QLineEdit* edName = nullptr;
    QLabel* lbAlbum = nullptr;
    QLineEdit* edAlbum = nullptr;
    QLabel* lbArtist = nullptr;
    QLineEdit* edArtist = nullptr;
    QLabel* lbYear = nullptr;
    QLineEdit* edYear = nullptr;
    QLabel* lbGenre = nullptr;
    QComboBox* edGenre = nullptr;
    QLabel* lbComment = nullptr;
    QLineEdit* edComment = nullptr;
    QLabel* lbFilesBBS = nullptr;
    QLineEdit* edFilesBBS = nullptr;
    QToolButton* btnFilesBBS = nullptr;
    QMenu* TrayMenu = nullptr;
    QAction* N1 = nullptr;
    QAction* miPlay = nullptr;
    QAction* miPrev = nullptr;
    QAction* miNext = nullptr;
    QAction* miRescan = nullptr;
    QAction* N2 = nullptr;

    // The selection handlers, also called by the program (and the tests).
    void TreeViewChanging(NodeId leaving);
    void TreeViewChange(NodeId node);
    void btnFilesBBSClick();
    // Enter in an editor field: the next track of the node table, focus on edName.
    void edNameKeyPress();

    // The player panel.
    void plPlayClick();
    void plPrevClick();
    void plNextClick();
    void TreeViewDblClick();
    void plATViewDblClick();
    void cbPriorityChange(int index);
    void TrackerMouseDown();
    void TrackerMouseUp();
    // The tray menu and icon.
    void TrayRestore();
    void N1Click() { TrayRestore(); }
    // Exit: ends the program also while the window is hidden in the notification area.
    void N2Click();
    // F5 and the tray menu: reads the collection again (with the probe cache), keeping the
    // selection and the active track where they still exist and the player playing. The
    // edits of the selected node are saved first.
    void Rescan();
    // The music folder this window shows.
    const std::string& musicFolder() const;
    // The hint the panel gives the active track (also the tray icon's tool tip).
    const QString& hint() const { return hint_; }

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
    QString ui(int id) const;
    void BuildTree(BuildProgress* progress);
    // The node of the node table with this record path and kind, if any.
    NodeId findNode(const std::string& path, std::uint8_t kind) const;
    bool isActiveTrack(const std::string& path) const;
    void buildControls();
    void connectHandlers();
    void setHints(const QString& hint);
    // Tray actions wait for the end of start-up and for any modal box.
    bool trayActionsAllowed() const;
    void createTrayIcon(std::unique_ptr<TrayShell> shell);
    void buildPanel();
    void buildPages();
    void buildEditor();
    void buildTrayMenu();
    void FormCreate();
    void FormCreateSteps();
    void FormResize();
    void FormDestroy();
    void applyLayout();

    const Configuration& config_;
    std::shared_ptr<ErrorBox> errorBox_;
    MainLayout layout_;
    QIcon icon_;
    QString setupError_;
    std::string libraryDirectory_;
    bool libraryMissing_ = false;
    bool leftOnClose_ = false;
    bool initialFillDone_ = false;
    QString hint_;
    // The user's collation, made once: for the genre list, the tree build and the saves.
    std::unique_ptr<Collation> collation_;
    std::unique_ptr<TrayShell> trayShell_;
};

} // namespace cantorel
