#include "core/config/Configuration.h"

#include "gui/TestWindow.h"
#include "gui/app/TMainForm.h"
#include "gui/collection/CollectionFilter.h"
#include "gui/collection/CollectionModel.h"
#include "gui/collection/LiveCollection.h"
#include "gui/common/ErrorBox.h"
#include "gui/common/Glyphs.h"
#include "gui/info/InfoPages.h"

#include "support/Outcomes.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <filesystem>
#include <gtest/gtest.h>

using namespace cantorel;

namespace {

// Every row of the model in pre-order, with its state image's picture.
void walk(const QAbstractItemModel& model, const QModelIndex& parent, int depth, QStringList& rows,
          QList<QImage>& images)
{
    for (int r = 0; r < model.rowCount(parent); ++r) {
        const QModelIndex i = model.index(r, 0, parent);
        rows << QString(depth * 2, ' ') + i.data().toString();
        images << i.data(Qt::DecorationRole).value<QPixmap>().toImage();
        walk(model, i, depth + 1, rows, images);
    }
}

} // namespace

TEST(CollectionView, DemoCollectionCaptionsAndStateImagesInOrder)
{
    test::TempDir dir;
    std::string ini = test::readAll(std::string(CANTOREL_SOURCE_DIR) + "/demo/cantorel.ini");
    ini += "\nMP3RootDir = " + std::string(CANTOREL_SOURCE_DIR) + "/demo/music\n";
    const Configuration config = test::configurationOf(ini, dir.path());
    test::TestWindow form(config, std::make_shared<ErrorBox>());
    form.InitialFill(nullptr);
    QStringList rows;
    QList<QImage> images;
    walk(*form.treeView()->model(), {}, 0, rows, images);
    EXPECT_EQ(rows, (QStringList{"Demo collection", "  Chords for three voices", "    C major", "    A minor",
                                 "  Pure tones and intervals", "    Concert A", "    A perfect fifth above A",
                                 "  D major arpeggio, no tag at all", "Playlists", "  Favourites of the demo",
                                 "    A minor", "    Concert A", "    D major arpeggio, no tag at all"}));
    const QList<QPixmap> state = Glyphs::stateImages();
    const int kinds[] = {1, 2, 3, 3, 2, 3, 3, 3, 5, 4, 3, 3, 3};
    ASSERT_EQ(images.size(), 13);
    for (int i = 0; i < images.size(); ++i)
        EXPECT_EQ(images[i], state[kinds[i]].toImage()) << i;
    // The first node is selected after the build.
    EXPECT_EQ(form.selectedNode(), form.session().tree().Nodes.front());
    EXPECT_EQ(form.session().tree().NodeCount(), 13);
}

TEST(CollectionView, RenamedNodesShowTheirNewCaption)
{
    test::TempDir dir;
    dir.write("music/a.mp3", std::string("\xFF\xFB\x90\x44", 4) + std::string(20000, '\0'));
    dir.write("music/p.m3u", "a.mp3\n");
    const Configuration config = test::configurationOf("MP3RootDir = music\n", dir.path());
    test::TestWindow form(config, std::make_shared<ErrorBox>());
    form.InitialFill(nullptr);
    const NodeId track = form.session().tree().Nodes.front();
    form.model()->captionsChanged(
        form.session().tree().RenameSharedNodes(form.session().tree().record(track), "Renamed"));
    QStringList rows;
    QList<QImage> images;
    walk(*form.treeView()->model(), {}, 0, rows, images);
    EXPECT_EQ(rows, (QStringList{"Renamed", "String19", "  p.m3u", "    Renamed"}));
}

namespace {

// Sets the filter's text and waits until its hits are shown; the number of matches.
int typeIntoFilter(TMainForm& form, const QString& text)
{
    QEventLoop loop;
    int matches = -2;
    const auto connection = QObject::connect(form.filter(), &CollectionFilter::applied, &loop, [&](int n) {
        matches = n;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    form.filter()->field()->setText(text);
    if (matches == -2)
        loop.exec();
    QObject::disconnect(connection);
    return matches;
}

void press(QObject* target, int key, const QString& text = {})
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &event);
}

// Runs the event loop until `condition` holds (true) or 20 s passed (false).
bool eventually(const std::function<bool()>& condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 20000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

std::vector<bool> expansion(const TMainForm& form)
{
    std::vector<bool> out;
    for (const NodeId n : form.session().tree().Nodes)
        out.push_back(form.treeView()->isExpanded(form.model()->indexOf(n)));
    return out;
}

} // namespace

TEST(CollectionView, TheFilterShowsTheMatchesAndGivesTheTreeBack)
{
    test::TempDir dir;
    std::string ini = test::readAll(std::string(CANTOREL_SOURCE_DIR) + "/demo/cantorel.ini");
    ini += "\nMP3RootDir = " + std::string(CANTOREL_SOURCE_DIR) + "/demo/music\n";
    test::TestWindow form(test::configurationOf(ini, dir.path()), std::make_shared<ErrorBox>());
    form.InitialFill(nullptr);
    const QRect treeAlone = form.treeView()->geometry();
    const auto nodeOf = [&](const char* caption) {
        for (const NodeId n : form.session().tree().Nodes)
            if (form.session().tree().caption(n) == caption)
                return n;
        return NoNode;
    };
    const NodeId before = nodeOf("Concert A");
    form.selectNode(before);
    form.treeView()->setExpanded(form.model()->indexOf(nodeOf("Chords for three voices")), false);
    const std::vector<bool> expanded = expansion(form);
    EXPECT_FALSE(form.filter()->isOpen());
    bool ctrlF = false;
    for (const QShortcut* s : form.findChildren<QShortcut*>())
        ctrlF = ctrlF || s->key() == QKeySequence(QKeySequence::Find);
    EXPECT_TRUE(ctrlF);

    // "/" in the tree opens the field above it.
    press(form.treeView(), Qt::Key_Slash, "/");
    ASSERT_TRUE(form.filter()->isOpen());
    EXPECT_EQ(form.filter()->field()->geometry().top(), treeAlone.top());
    EXPECT_GT(form.treeView()->geometry().top(), treeAlone.top());
    EXPECT_EQ(form.treeView()->geometry().bottom(), treeAlone.bottom());

    // Matches with the folders above them, expanded; the playlist's entries too.
    EXPECT_EQ(typeIntoFilter(form, "MINOR"), 2);
    QStringList rows;
    QList<QImage> images;
    walk(*form.treeView()->model(), {}, 0, rows, images);
    EXPECT_EQ(rows, (QStringList{"Demo collection", "  Chords for three voices", "    A minor", "Playlists",
                                 "  Favourites of the demo", "    A minor"}));
    for (const char* folder : {"Demo collection", "Chords for three voices", "Playlists", "Favourites of the demo"})
        EXPECT_TRUE(form.treeView()->isExpanded(form.model()->indexOf(nodeOf(folder)))) << folder;
    EXPECT_TRUE(form.findChild<QLabel*>("lbNoMatch")->isHidden());
    EXPECT_EQ(typeIntoFilter(form, "minor zzz"), 0);
    EXPECT_EQ(form.treeView()->model()->rowCount(), 0);
    EXPECT_FALSE(form.findChild<QLabel*>("lbNoMatch")->isHidden());
    // The node whose pages show is hidden: nothing more is typed for it.
    EXPECT_FALSE(form.findChild<QWidget*>("TagEditor")->isEnabled());

    // Esc gives the tree back as it was, on the node selected before.
    typeIntoFilter(form, "fifth");
    press(form.filter()->field(), Qt::Key_Escape);
    EXPECT_FALSE(form.filter()->isOpen());
    EXPECT_EQ(form.treeView()->geometry(), treeAlone);
    EXPECT_EQ(form.session().tree().NodeCount(), 13);
    EXPECT_EQ(expansion(form), expanded);
    EXPECT_EQ(form.selectedNode(), before);
    EXPECT_TRUE(form.findChild<QWidget*>("TagEditor")->isEnabled());

    // Enter takes the first match, as a click would; it stays selected after Esc.
    form.filter()->open();
    typeIntoFilter(form, "minor");
    press(form.filter()->field(), Qt::Key_Return);
    const NodeId minor = nodeOf("A minor");
    EXPECT_EQ(form.selectedNode(), minor);
    EXPECT_TRUE(form.treeView()->hasFocus() || !form.isActiveWindow());
    press(form.filter()->field(), Qt::Key_Escape);
    EXPECT_EQ(form.selectedNode(), minor);
    std::vector<bool> revealed = expanded; // the folder of the node picked is opened to show it
    revealed[1] = true;
    EXPECT_EQ(expansion(form), revealed);
}

TEST(CollectionView, RescanKeepsTheOpenFoldersAndTheSelection)
{
    test::TempDir dir;
    std::string ini = test::readAll(std::string(CANTOREL_SOURCE_DIR) + "/demo/cantorel.ini");
    ini += "\nMP3RootDir = " + std::string(CANTOREL_SOURCE_DIR) + "/demo/music\n";
    test::TestWindow form(test::configurationOf(ini, dir.path()), std::make_shared<ErrorBox>());
    form.InitialFill(nullptr);
    const auto nodeOf = [&](const char* caption) {
        for (const NodeId n : form.session().tree().Nodes)
            if (form.session().tree().caption(n) == caption)
                return n;
        return NoNode;
    };
    QTreeView& view = *form.treeView();
    view.setExpanded(form.model()->indexOf(nodeOf("Chords for three voices")), false);
    view.setExpanded(form.model()->indexOf(nodeOf("Playlists")), true);
    view.setExpanded(form.model()->indexOf(nodeOf("Favourites of the demo")), true);
    form.selectNode(nodeOf("Concert A"));
    const std::vector<bool> before = expansion(form);
    form.Rescan();
    EXPECT_EQ(expansion(form), before);
    EXPECT_EQ(form.session().tree().caption(form.selectedNode()), "Concert A");
}

// The instant start: the last run's tree at once, then what the disk holds, put in place
// behind the window with the open folders and the selection kept; a folder copied in later
// appears without F5; a collection that goes away stays, greyed, and comes back.
TEST(CollectionView, InstantStartThenTheTreeFollowsTheDisk)
{
    test::TempDir dir;
    const std::string music = dir / "music";
    std::filesystem::copy(std::string(CANTOREL_SOURCE_DIR) + "/demo/music", music,
                          std::filesystem::copy_options::recursive);
    std::string ini = test::readAll(std::string(CANTOREL_SOURCE_DIR) + "/demo/cantorel.ini");
    ini += "\nMP3RootDir = " + music + "\n";
    const Configuration config = test::configurationOf(ini, dir.path());
    const SessionOptions options{"", true, "", std::string(), true};
    {
        Session first(config, options);
        TMainForm form(first, std::make_shared<ErrorBox>());
        form.InitialFill(nullptr);
        ASSERT_TRUE(first.saveSnapshot());
    }
    std::filesystem::copy(music + "/Tone Studies", music + "/Added at rest");

    Session session(config, options);
    ASSERT_TRUE(session.loadSnapshot());
    TMainForm form(session, std::make_shared<ErrorBox>());
    const auto nodeOf = [&](const std::string& caption) {
        for (const NodeId n : session.tree().Nodes)
            if (session.tree().caption(n) == caption)
                return n;
        return NoNode;
    };
    const auto shown = [&](const std::string& caption) {
        const NodeId n = nodeOf(caption);
        return n != NoNode && form.model()->indexOf(n).isValid();
    };
    form.showKnownTree(); // the reading starts behind the window
    EXPECT_FALSE(shown("Added at rest"));
    // The index is built once the reading is done, or when the filter opens sooner.
    EXPECT_EQ(session.searchIndexAsItIs().nodes(), 0u);
    form.filter()->open();
    EXPECT_EQ(session.searchIndexAsItIs().nodes(), session.tree().Nodes.size());
    form.filter()->close();
    form.treeView()->setExpanded(form.model()->indexOf(nodeOf("Chords for three voices")), false);
    form.treeView()->setExpanded(form.model()->indexOf(nodeOf("Playlists")), true);
    form.selectNode(nodeOf("Concert A"));
    ASSERT_TRUE(eventually([&] { return shown("Added at rest"); }));
    EXPECT_FALSE(form.treeView()->isExpanded(form.model()->indexOf(nodeOf("Chords for three voices"))));
    EXPECT_TRUE(form.treeView()->isExpanded(form.model()->indexOf(nodeOf("Playlists"))));
    EXPECT_EQ(session.tree().caption(form.selectedNode()), "Concert A");
    ASSERT_TRUE(eventually([&] { return !form.live()->scanning(); }));
    ASSERT_TRUE(eventually([&] { return session.searchIndexAsItIs().nodes() == session.tree().Nodes.size(); }));

    // Watched: an album copied in shows without F5.
    std::filesystem::create_directory(music + "/Copied later");
    std::filesystem::copy(music + "/Arpeggio.mp3", music + "/Copied later/Arpeggio again.mp3");
    ASSERT_TRUE(eventually([&] { return shown("Copied later"); }));
    ASSERT_TRUE(eventually([&] { return !form.live()->scanning(); }));

    // A track added to that folder: the folder alone is read and put in place, the rest
    // of the tree keeps its records, the view its state.
    const CollectionItem* concert = session.tree().record(nodeOf("Concert A"));
    form.selectNode(nodeOf("Concert A"));
    std::filesystem::copy(music + "/Arpeggio.mp3", music + "/Copied later/Arpeggio thrice.mp3");
    ASSERT_TRUE(eventually([&] { return form.model()->rowCount(form.model()->indexOf(nodeOf("Copied later"))) == 2; }));
    EXPECT_EQ(session.tree().record(nodeOf("Concert A")), concert);
    EXPECT_EQ(session.tree().caption(form.selectedNode()), "Concert A");
    EXPECT_TRUE(form.treeView()->isExpanded(form.model()->indexOf(nodeOf("Playlists"))));

    // The collection goes away: what was known stays, offline; it comes back.
    std::filesystem::rename(music, dir / "away");
    form.live()->scan();
    const auto offline = [&] {
        const QModelIndex i = form.model()->indexOf(nodeOf("Copied later"));
        return i.isValid() && i.data(Qt::ToolTipRole).toString().startsWith("Offline: ");
    };
    ASSERT_TRUE(eventually([&] { return offline(); }));
    EXPECT_TRUE(form.model()->indexOf(nodeOf("Concert A")).data(Qt::ForegroundRole).isValid());
    EXPECT_NE(session.descriptionPage(nodeOf("Concert A")).find("Offline: "), std::string::npos);
    std::filesystem::rename(dir / "away", music);
    form.live()->scan();
    ASSERT_TRUE(eventually([&] { return !offline() && shown("Copied later"); }));
}

// Past the watch limit the window is told once, and what the unwatched folders hold is
// found by the sweep's reading.
TEST(CollectionView, TheWatchLimitIsToldOnceAndSweepsFindWhatWatchesMiss)
{
    test::TempDir dir;
    const std::string music = dir / "music";
    for (const char* album : {"A", "B", "C"}) {
        std::filesystem::create_directories(music + "/" + album);
        std::filesystem::copy(std::string(CANTOREL_SOURCE_DIR) + "/demo/music/Arpeggio.mp3",
                              music + "/" + album + "/Arpeggio.mp3");
    }
    std::string ini = test::readAll(std::string(CANTOREL_SOURCE_DIR) + "/demo/cantorel.ini");
    ini += "\nMP3RootDir = " + music + "\n";
    const Configuration config = test::configurationOf(ini, dir.path());
    Session session(config, SessionOptions{"", true, "", std::string(), false});
    session.build();
    QStringList notices;
    LiveCollection live(session,
                        {[&] { return session.adoptScan() != Session::ScanOutcome::Running; },
                         {},
                         [&](const QString& text) { notices << text; }},
                        nullptr, 2);
    live.watchTree();
    live.watchTree();
    EXPECT_EQ(notices, QStringList{QString::fromStdString(config.GetUIString(UiString::WatchLimit))});
    EXPECT_TRUE(live.watcher().needsSweep());
    EXPECT_EQ(live.watcher().watched(), 2u);

    // A track copied where no watch sees it: the sweep's reading finds it.
    std::filesystem::copy(music + "/C/Arpeggio.mp3", music + "/C/Again.mp3");
    const std::size_t before = session.tree().Nodes.size();
    live.scan();
    ASSERT_TRUE(eventually([&] { return !live.scanning(); }));
    EXPECT_EQ(session.tree().Nodes.size(), before + 1);
}
