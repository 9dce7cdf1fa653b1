#include "core/config/Configuration.h"

#include "gui/TestWindow.h"
#include "gui/app/TMainForm.h"
#include "gui/collection/CollectionModel.h"
#include "gui/common/ErrorBox.h"
#include "gui/common/Glyphs.h"
#include "gui/info/InfoPages.h"

#include "support/Outcomes.h"
#include "support/TempDir.h"

#include <QTreeView>

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
