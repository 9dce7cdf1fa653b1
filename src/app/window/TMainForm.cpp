#include "app/window/TMainForm.h"

#include "app/Configuration.h"
#include "app/window/ErrorBox.h"
#include "app/window/Glyphs.h"
#include "collection/CollectionBuilder.h"
#include "collection/DescriptionWriter.h"
#include "collection/window/CollectionModel.h"
#include "info/InfoPage.h"
#include "info/NodeEditor.h"
#include "info/RtfDocument.h"
#include "info/TrackInfo.h"
#include "info/window/RtfTextDocument.h"
#include "platform/CodePage.h"
#include "platform/TextRules.h"
#include "platform/Collation.h"
#include "platform/SystemLocale.h"
#include "platform/FileSystem.h"
#include "player/PanelRules.h"
#include "player/TMPEGPlayer.h"
#include "platform/ProcessPriority.h"
#include "tray/window/QtTrayShell.h"
#include "tray/window/TTrayIcon.h"
#include "player/window/QtPlayerTimer.h"
#include "player/window/TPosTracker.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QFrame>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QResizeEvent>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>
#include <cmath>
#include <thread>

namespace cantorel {

namespace {

QString ui(int id) { return QString::fromStdString(GetUIString(id)); }
QString qs(const std::string& s) { return QString::fromStdString(s); }

template <typename T>
T* named(T* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

QLabel* fixedLabel(QWidget* parent, const char* name, const QRect& geometry, Qt::Alignment alignment)
{
    auto* label = named(new QLabel(parent), name);
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    return label;
}

QToolButton* flatButton(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* button = named(new QToolButton(parent), name);
    button->setGeometry(geometry);
    button->setAutoRaise(true);
    return button;
}

// Makes `child` fill `page`.
void fill(QWidget* page, QWidget* child)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(child);
}

void place(QWidget* widget, const Rect& r) { widget->setGeometry(r.left, r.top, r.width, r.height); }

} // namespace

TMainForm::TMainForm(std::shared_ptr<ErrorBox> errorBox, const std::string& libraryDirectory,
                     std::unique_ptr<TrayShell> trayShell, QWidget* parent)
    : QWidget(parent), errorBox_(std::move(errorBox)), libraryDirectory_(libraryDirectory), trayShell_(std::move(trayShell))
{
    setObjectName("MainForm");
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
    PlPanel = named(new QFrame(this), "PlPanel");
    PlPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    plPrev = flatButton(PlPanel, "plPrev", QRect(6, 42, 29, 20));
    plPrev->setIcon(Glyphs::previous());
    plPrev->setIconSize(QSize(20, 16));
    plPlay = flatButton(PlPanel, "plPlay", QRect(37, 42, 29, 20));
    plPlay->setIconSize(QSize(16, 16));
    plNext = flatButton(PlPanel, "plNext", QRect(69, 42, 29, 20));
    plNext->setIcon(Glyphs::next());
    plNext->setIconSize(QSize(20, 16));
    plPosView = fixedLabel(PlPanel, "plPosView", QRect(7, 27, 42, 15), Qt::AlignLeft | Qt::AlignVCenter);
    plPosView->setText("0:00:00");
    plLenView = fixedLabel(PlPanel, "plLenView", QRect(52, 27, 44, 15), Qt::AlignRight | Qt::AlignVCenter);
    plLenView->setText("0:00:00");
    plATView = fixedLabel(PlPanel, "plATView", QRect(104, 28, 194, 54), Qt::AlignCenter);
    plATView->setWordWrap(true);
    plATView->setTextFormat(Qt::PlainText);
    cbPriority = named(new QComboBox(PlPanel), "cbPriority");
    cbPriority->setGeometry(6, 63, 94, 21);
}

void TMainForm::buildPages()
{
    Pages = named(new QTabWidget(this), "Pages");
    TabSheet1 = named(new QWidget, "TabSheet1");
    Image = named(new QLabel(TabSheet1), "Image");
    Image->setAlignment(Qt::AlignCenter);
    // A large picture is cut at the page's edges instead of growing the page.
    Image->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    Image->setMinimumSize(1, 1);
    TabSheet2 = named(new QWidget, "TabSheet2");
    TextView = named(new QTextEdit(TabSheet2), "TextView");
    TextView->setReadOnly(true);
    TextView->setFrameStyle(QFrame::NoFrame);
    TextView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TextView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TextView->viewport()->setAutoFillBackground(false);
    TextView->setLineWrapMode(QTextEdit::WidgetWidth);
    QPalette textPalette = TextView->palette();
    textPalette.setColor(QPalette::Base, textPalette.color(QPalette::Window));
    TextView->setPalette(textPalette);
    TabSheet3 = named(new QWidget, "TabSheet3");
    TrackInfo = named(new QLabel(TabSheet3), "TrackInfo");
    TrackInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    TrackInfo->setTextFormat(Qt::PlainText);
    TrackInfo->setWordWrap(false);
    fill(TabSheet1, Image);
    fill(TabSheet2, TextView);
    fill(TabSheet3, TrackInfo);
    TagEditor = named(new QWidget, "TagEditor");
    buildEditor();
    Pages->addTab(TabSheet1, QString());
    Pages->addTab(TabSheet2, QString());
    Pages->addTab(TabSheet3, QString());
}

void TMainForm::buildEditor()
{
    struct Field {
        QLabel*& label;
        const char* labelName;
        QWidget* field;
        int top;
    };
    edName = named(new QLineEdit(TagEditor), "edName");
    edAlbum = named(new QLineEdit(TagEditor), "edAlbum");
    edArtist = named(new QLineEdit(TagEditor), "edArtist");
    edYear = named(new QLineEdit(TagEditor), "edYear");
    edGenre = named(new QComboBox(TagEditor), "edGenre");
    edComment = named(new QLineEdit(TagEditor), "edComment");
    const Field fields[] = {
        {lbName, "lbName", edName, 2},       {lbAlbum, "lbAlbum", edAlbum, 42},
        {lbArtist, "lbArtist", edArtist, 82}, {lbYear, "lbYear", edYear, 122},
        {lbGenre, "lbGenre", edGenre, 162},   {lbComment, "lbComment", edComment, 202},
    };
    QWidget* previous = nullptr;
    for (const Field& f : fields) {
        f.label = named(new QLabel(TagEditor), f.labelName);
        f.label->move(8, f.top);
        f.label->setBuddy(f.field);
        f.field->setGeometry(8, f.top + 15, 257, 21);
        if (previous)
            setTabOrder(previous, f.field);
        previous = f.field;
    }
    lbFilesBBS = named(new QLabel(TagEditor), "lbFilesBBS");
    lbFilesBBS->move(8, 241);
    edFilesBBS = named(new QLineEdit(TagEditor), "edFilesBBS");
    edFilesBBS->setGeometry(8, 256, 238, 21);
    lbFilesBBS->setBuddy(edFilesBBS);
    setTabOrder(edComment, edFilesBBS);
    btnFilesBBS = flatButton(TagEditor, "btnFilesBBS", QRect(245, 256, 22, 21));
    QIcon compose;
    compose.addPixmap(Glyphs::composeEnabled(), QIcon::Normal);
    compose.addPixmap(Glyphs::composeDisabled(), QIcon::Disabled);
    btnFilesBBS->setIcon(compose);
    btnFilesBBS->setIconSize(QSize(16, 16));
    connect(btnFilesBBS, &QToolButton::clicked, this, [this] { btnFilesBBSClick(); });
    for (QWidget* field : std::initializer_list<QWidget*>{edName, edAlbum, edArtist, edYear, edGenre, edComment, edFilesBBS})
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
    Player->PathToDLL = libraryDirectory_.empty() ? fs::programDirectory() : libraryDirectory_;
    Player->setTimerFreq(250);
    Player->UseTimer = true;
    Player->setOutputDevice(TOutputDevice::wavemapper);
    Player->WaveDeviceNum = -1;
    try {
        Player->LoadDLL();
    } catch (const TMPEGError&) {
    }
    if (!Player->DLLLoaded()) {
        libraryMissing_ = true;
        throw std::runtime_error("Unable to load file MPEG.SO.");
    }
    Player->setPlayerPriority(TPlayPriority::Normal);
    Player->OnPosUpdate = [this](std::int32_t position, std::int32_t length) { PlayerPosUpdate(position, length); };
    Player->OnPlayEnd = [this](TMPEGPlayer*) { PlayerPlayEnd(); };
    TrackingEnabled = true;
    plPos = named(new TPosTracker(PlPanel), "plPos");
    plPos->setGeometry(2, 1, PlPanel->width() - 4, 25);
    QApplication::setApplicationName(qs(Settings.WindowTitle));
    setWindowTitle(qs(Settings.WindowTitle));
    if (!Settings.Icon.empty()) {
        QImageReader reader(qs(Settings.Icon));
        const QImage image = reader.read();
        if (image.isNull())
            throw std::runtime_error("Unable to read the icon file " + Settings.Icon + ": " +
                                     reader.errorString().toStdString());
        icon_ = QIcon(QPixmap::fromImage(image));
    } else {
        icon_ = Glyphs::programIcon();
    }
    QApplication::setWindowIcon(icon_);
    setWindowIcon(icon_);
    PanelPlaying = false;
    createTrayIcon(std::move(trayShell_));
    Pages->setTabText(Pages->indexOf(TabSheet3), ui(22));
    Pages->setTabText(Pages->indexOf(TabSheet2), ui(21));
    Pages->setTabText(Pages->indexOf(TabSheet1), ui(20));
    if (Settings.AllowEdit)
        Pages->addTab(TagEditor, ui(23));
    lbName->setText(ui(4));
    lbArtist->setText(ui(6));
    lbAlbum->setText(ui(5));
    lbYear->setText(ui(7));
    lbGenre->setText(ui(24));
    lbComment->setText(ui(25));
    lbFilesBBS->setText(ui(26) + qs(Settings.FilesBBS) + " : ");
    for (QLabel* label : {lbName, lbArtist, lbAlbum, lbYear, lbGenre, lbComment, lbFilesBBS})
        label->adjustSize();
    N1->setText(ui(35));
    N2->setText(ui(36));
    collation_ = std::make_unique<Collation>(locale::localeName("LC_COLLATE"), &Settings.ansi());
    fillGenres();
    Editor = std::make_unique<NodeEditor>(Tree, Settings.AllowEdit, Settings.tagPage(), Settings.oem(), Settings.ansi());
    cbPriority->addItems({ui(27), ui(28), ui(29), ui(30)});
    cbPriority->setCurrentIndex(1);
    plPlay->setIcon(Glyphs::play());
    miPlay->setText(ui(31));
    miPrev->setText(ui(33));
    miNext->setText(ui(34));
}

void TMainForm::fillGenres()
{
    for (const auto& [name, number] : sortedGenreList(*collation_))
        edGenre->addItem(qs(name), number);
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
    MakeActiveTrack(Tree.Nodes.front());
    for (NodeId n : Tree.Nodes) {
        if (Tree.kind(n) == KindTrack) {
            MakeActiveTrack(n);
            break;
        }
    }
    initialFillDone_ = true;
}

void TMainForm::BuildTree(BuildProgress* progress)
{
    const BuildSettings settings = BuildSettings::fromConfiguration(*collation_);
    Model->beginBuild();
    CollectionBuilder(Tree, settings, progress).BuildTree();
    Model->endBuild();
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
    services.writeTag = [this](const CollectionItem& item) {
        return WriteTag(item, Settings.tagPage(), [this](const std::string& path) { return isActiveTrack(path); });
    };
    services.writeDescription = [this](const CollectionItem& item) {
        return WriteDescription(item, DescriptionFormat{Settings.FilesBBS, Settings.oem(), Settings.ansi(), *collation_});
    };
    services.showError = [this](const std::string& text, const std::string& button) {
        errorBox_->show(this, "Error", qs(text), qs(button));
    };
    services.captionsChanged = [this](const std::vector<NodeId>& nodes) { Model->captionsChanged(nodes); };
    Editor->leave(leaving, readFields(), services);
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
        showFields(Editor->load(node));
    QString page = qs(DescriptionPageText({r, track, node == Tree.PlaylistsNode, genreNameOf(r.Genre, *collation_)}));
    TrackInfo->setText(page.replace('\r', '\n'));
    showPicture(r);
    showText(r);
}

void TMainForm::showFields(const EditorFields& f)
{
    edName->setText(qs(f.name));
    edAlbum->setText(qs(f.album));
    edArtist->setText(qs(f.artist));
    edYear->setText(qs(f.year));
    edComment->setText(qs(f.comment));
    edGenre->setCurrentIndex(f.genre ? edGenre->findData(*f.genre) : -1);
    for (QWidget* w : std::initializer_list<QWidget*>{edName, edAlbum, edArtist, edYear, edGenre, edComment})
        w->setEnabled(f.tagFieldsEnabled);
    edFilesBBS->setText(qs(f.description));
    edFilesBBS->setEnabled(f.descriptionEnabled);
    btnFilesBBS->setEnabled(f.composeEnabled);
}

EditorFields TMainForm::readFields() const
{
    EditorFields f;
    f.name = edName->text().toStdString();
    f.album = edAlbum->text().toStdString();
    f.artist = edArtist->text().toStdString();
    f.year = edYear->text().toStdString();
    f.comment = edComment->text().toStdString();
    f.description = edFilesBBS->text().toStdString();
    if (edGenre->currentIndex() >= 0)
        f.genre = edGenre->currentData().toInt();
    return f;
}

void TMainForm::btnFilesBBSClick()
{
    if (Editor && Settings.AllowEdit && selectedNode() != NoNode)
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
    if (watched == plATView && (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick)) {
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

void TMainForm::showPicture(const CollectionItem& r)
{
    if (r.PicturePath == ShownPicturePath)
        return;
    ShownPicturePath = r.PicturePath;
    if (r.PicturePath.empty()) {
        Image->hide();
        return;
    }
    // Read through our own file services, so that the path's bytes are used as they are.
    const std::optional<std::string> bytes = fs::readFile(r.PicturePath);
    const QImage picture = bytes ? QImage::fromData(reinterpret_cast<const uchar*>(bytes->data()), static_cast<int>(bytes->size()))
                                 : QImage();
    if (picture.isNull()) {
        Image->hide();
        return;
    }
    Image->setPixmap(QPixmap::fromImage(picture));
    Image->show();
}

void TMainForm::showText(const CollectionItem& r)
{
    if (r.TextPath == ShownTextPath)
        return;
    ShownTextPath = r.TextPath;
    TextView->document()->clear();
    if (r.TextPath.empty())
        return;
    std::optional<std::string> data = fs::readFile(r.TextPath);
    if (!data)
        return;
    if (RtfDocument::isRtf(*data)) {
        RtfTextDocument::fill(TextView->document(), RtfDocument::parse(*data, Settings.ansi()));
    } else {
        if (data->starts_with("\xEF\xBB\xBF"))
            data->erase(0, 3);
        const bool utf8 = text::isValidUtf8(*data) &&
                          std::any_of(data->begin(), data->end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        const bool ansi = text::foldAZ(r.TextPath).find(".rtf") != std::string::npos || !Settings.TXTCodePage;
        const std::string shown = utf8 ? *data : ansi ? Settings.ansi().decode(*data) : Settings.oem().decode(*data);
        // The document's own plain text drops the character formats a rich page left.
        TextView->document()->setPlainText(QString::fromStdString(shown));
    }
    TextView->moveCursor(QTextCursor::Start);
}

void TMainForm::setHints(const QString& hint)
{
    hint_ = hint;
    setStatusTip(hint);
    if (TrayIcon)
        TrayIcon->setHint(hint);
}

void TMainForm::MakeActiveTrack(NodeId node)
{
    if (node == Tree.ActiveNode)
        return;
    try {
        SetPlaying(false);
        if (Tree.ActiveNode != NoNode) {
            try {
                Player->CloseStream();
            } catch (const TMPEGError&) {
            }
        }
        Tree.ActiveNode = NoNode;
        const CollectionItem* r = node == NoNode ? nullptr : Tree.record(node);
        if (r && Tree.kind(node) == KindTrack && fs::isRegularFile(r->Path)) {
            try {
                Player->setStreamName(r->Path);
                Player->OpenStream();
            } catch (const TMPEGError&) {
            }
        }
        const bool active = node != NoNode;
        if (active) {
            const int maximum = Player->LengthMs() / 1000;
            plPos->setValue(0);
            plPos->setMaximum(maximum);
            if (const auto spacing = PanelRules::tickSpacing(maximum))
                plPos->setTickInterval(*spacing);
            plPos->setTickPosition(QSlider::TicksBelow);
            plLenView->setText(qs(PanelRules::FormatTime(maximum)));
            Tree.ActiveNode = node;
            const std::string line = PanelRules::lineText(Tree, node);
            plATView->setText(qs(GetUIString(18) + line).replace('\r', '\n'));
            setHints(qs(PanelRules::hintText(line)));
        } else {
            plLenView->setText("0:00:00");
            plPosView->setText("0:00:00");
            plATView->clear();
            setHints(qs(Settings.WindowTitle));
            plPos->setTickPosition(QSlider::NoTicks);
        }
        plPos->setEnabled(active);
        plPlay->setEnabled(active);
        miPlay->setEnabled(active);
        plNext->setEnabled(active && PanelRules::FindPlayableTrack(Tree, true) != NoNode);
        plPrev->setEnabled(active && PanelRules::FindPlayableTrack(Tree, false) != NoNode);
        miNext->setEnabled(plNext->isEnabled());
        miPrev->setEnabled(plPrev->isEnabled());
    } catch (const std::exception&) {
        // Errors of the player leave the panel as it is, without a message.
    }
}

void TMainForm::SetPlaying(bool value)
{
    if (Tree.ActiveNode == NoNode)
        value = false;
    if (value == PanelPlaying)
        return;
    PanelPlaying = value;
    if (value) {
        try {
            Player->StartPos = std::min(plPos->value() * 1000, Player->LengthMs());
            Player->EndPos = Player->LengthMs();
            Player->StartPlay();
            plPlay->setIcon(Glyphs::pause());
            miPlay->setText(ui(32));
        } catch (const TMPEGError&) {
            PanelPlaying = false;
        }
        return;
    }
    plPlay->setIcon(Glyphs::play());
    miPlay->setText(ui(31));
    try {
        Player->StopPlay();
    } catch (const TMPEGError&) {
    }
}

void TMainForm::plPlayClick() { SetPlaying(!PanelPlaying); }

void TMainForm::plPrevClick()
{
    const bool playing = PanelPlaying;
    SetPlaying(false);
    MakeActiveTrack(PanelRules::FindPlayableTrack(Tree, false));
    SetPlaying(playing);
}

void TMainForm::plNextClick()
{
    const bool playing = PanelPlaying;
    MakeActiveTrack(PanelRules::FindPlayableTrack(Tree, true));
    SetPlaying(playing);
}

void TMainForm::TreeViewDblClick()
{
    SetPlaying(false);
    MakeActiveTrack(selectedNode());
    SetPlaying(true);
}

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

void TMainForm::TrackerMouseDown() { TrackingEnabled = false; }

void TMainForm::TrackerMouseUp()
{
    const std::int32_t mode = Player->PlayerMode();
    if (mode == 3 || mode == 4) {
        std::int32_t target = plPos->value() * 1000;
        if (target >= Player->LengthMs())
            target = Player->LengthMs() - 1;
        Player->SeekTo(target);
        for (int i = 0; i < 30; ++i) {
            if (std::abs(Player->CurrentPos() - target) <= 100)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    TrackingEnabled = true;
}

void TMainForm::PlayerPosUpdate(std::int32_t position, std::int32_t)
{
    if (!TrackingEnabled)
        return;
    const int seconds = position / 1000;
    plPosView->setText(qs(PanelRules::FormatTime(seconds)));
    if (plPos->value() != seconds)
        plPos->setValue(seconds);
}

void TMainForm::PlayerPlayEnd()
{
    SetPlaying(false);
    const NodeId next = PanelRules::FindPlayableTrack(Tree, true);
    if (next != NoNode) {
        MakeActiveTrack(next);
        SetPlaying(true);
    }
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
    if (Player) {
        try {
            Player->UnloadDLL();
        } catch (const TMPEGError&) {
        }
    }
}

} // namespace cantorel
