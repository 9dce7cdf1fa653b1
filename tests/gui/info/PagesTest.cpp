#include "core/collection/Journal.h"
#include "core/config/Configuration.h"
#include "core/info/RtfDocument.h"
#include "core/platform/CodePage.h"
#include "core/player/PlaybackController.h"

#include "gui/Controls.h"
#include "gui/TestWindow.h"
#include "gui/app/TMainForm.h"
#include "gui/app/WindowState.h"
#include "gui/collection/CollectionModel.h"
#include "gui/common/ErrorBox.h"
#include "gui/info/InfoPages.h"
#include "gui/info/RepairDialog.h"
#include "gui/info/RtfTextDocument.h"

#include "support/Mp3Fixture.h"
#include "support/Outcomes.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeView>

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

struct RecordingBox : ErrorBox {
    QStringList shown;
    void show(QWidget*, const QString& title, const QString& text, const QString& button) override
    {
        shown << title + "|" + text + "|" + button;
    }
};

class PagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.write("music/Album/a.mp3",
                  fakeTrack("\xFF\xFB\x90\x44", 16000, id3v1("Song A", "Artist", "Album", "2001", "", 17)));
        dir.write("music/Album/b.mp3",
                  fakeTrack("\xFF\xFB\x90\x44", 16000, id3v1("Song B", "Artist", "Album", "2001", "", 17)));
        dir.write("music/Album/dirinfo.rtf",
                  "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard\\qc\\b Bold title\\b0\\par Caf\\'e9}");
        dir.write("music/Album/dirinfo.bmp",
                  std::string(readAll(std::string(CANTOREL_SOURCE_DIR) + "/demo/music/dirinfo.bmp")));
        dir.write("music/Other/c.mp3", fakeTrack("\xFF\xFB\x90\x44", 16000));
        dir.write("music/Other/dirinfo", "\xC9\xCD\xBB box \x82t\x82");
        dir.write("music/files.bbs", "Album The album\r\nOther\r\n");
        dir.write("music/list.m3u", "Album/b.mp3\n");
    }
    std::unique_ptr<TMainForm> open(const std::string& extra = "AllowEdit = yes\n", bool journal = false)
    {
        config = test::configurationOf("MP3RootDir = music\nMP3RootName = Root\nOEMCodePage = 437\n"
                                       "genre017 = Rock\ngenre000 = Blues\n" +
                                           extra,
                                       dir.path());
        auto form = std::make_unique<test::TestWindow>(config, box, std::string(), nullptr,
                                                       journal ? dir / "journal.sqlite" : std::string());
        form->InitialFill(nullptr);
        return form;
    }
    NodeId node(const TMainForm& f, const std::string& caption) const
    {
        for (NodeId n : f.session().tree().Nodes) {
            if (f.session().tree().caption(n) == caption)
                return n;
        }
        throw std::runtime_error("no node " + caption);
    }
    std::string tagOf(const std::string& file) const
    {
        const std::string data = readAll(dir / file);
        return data.size() >= 128 ? data.substr(data.size() - 128) : std::string();
    }

    TempDir dir;
    Configuration config;
    std::shared_ptr<RecordingBox> box = std::make_shared<RecordingBox>();
};

} // namespace

TEST_F(PagesTest, EditingATitleWritesTheTagAndRenamesEverySharedNode)
{
    auto f = open();
    f->selectNode(node(*f, "Song B"));
    EXPECT_EQ(control<QLineEdit>(*f, "edName")->text(), "Song B");
    EXPECT_EQ(control<QComboBox>(*f, "edGenre")->currentText(), "Rock");
    control<QLineEdit>(*f, "edName")->setText("  Renamed  ");
    f->selectNode(node(*f, "Song A"));
    EXPECT_EQ(tagOf("music/Album/b.mp3"), id3v1("Renamed", "Artist", "Album", "2001", "", 17));
    int renamed = 0;
    for (NodeId n : f->session().tree().Nodes)
        renamed += f->session().tree().caption(n) == "Renamed";
    EXPECT_EQ(renamed, 2); // the track and its playlist entry
    EXPECT_TRUE(box->shown.isEmpty());
}

TEST_F(PagesTest, TheActiveTracksTagIsRefused)
{
    auto f = open();
    const std::string before = readAll(dir / "music/Album/a.mp3");
    ASSERT_EQ(f->session().playback().activeNode(), node(*f, "Song A")); // the first track is active after start-up
    f->selectNode(node(*f, "Song A"));
    control<QLineEdit>(*f, "edName")->setText("Not allowed");
    control<QLineEdit>(*f, "edFilesBBS")->setText("Described anyway");
    f->selectNode(node(*f, "Song B"));
    EXPECT_EQ(box->shown, QStringList{"Error|Unable to edit active track tag. |Cancel"});
    EXPECT_EQ(readAll(dir / "music/Album/a.mp3"), before);
    EXPECT_EQ(f->session().tree().record(node(*f, "Song A"))->Name, "Song A");
    EXPECT_EQ(readAll(dir / "music/Album/files.bbs"), "a.mp3           Described anyway\r\n");
}

TEST_F(PagesTest, BlanksOnlyAndBlankGenre)
{
    auto f = open();
    const std::string before = readAll(dir / "music/Album/b.mp3");
    f->selectNode(node(*f, "Song B"));
    control<QLineEdit>(*f, "edName")->setText(" Song B ");
    control<QLineEdit>(*f, "edFilesBBS")->setText(""); // the composed description is not saved
    f->selectNode(node(*f, "Song A"));
    EXPECT_EQ(readAll(dir / "music/Album/b.mp3"), before);
    f->selectNode(node(*f, "Song B"));
    control<QComboBox>(*f, "edGenre")->setCurrentIndex(0); // the blank entry
    control<QLineEdit>(*f, "edFilesBBS")->setText("");
    f->selectNode(node(*f, "Song A"));
    EXPECT_EQ(static_cast<unsigned char>(tagOf("music/Album/b.mp3")[127]), 255);
}

TEST_F(PagesTest, ComposedDescriptionIsWrittenWhenLeaving)
{
    auto f = open();
    f->selectNode(node(*f, "Song A"));
    EXPECT_EQ(control<QLineEdit>(*f, "edFilesBBS")->text(), "Artist. Album. \"Song A\"");
    f->selectNode(node(*f, "Song B"));
    EXPECT_EQ(readAll(dir / "music/Album/files.bbs"), "a.mp3           Artist. Album. \"Song A\"\r\n");
    // A caption that is its description follows a change; the parent's file is rewritten.
    f->selectNode(node(*f, "The album"));
    control<QLineEdit>(*f, "edFilesBBS")->setText("Renamed album");
    f->selectNode(node(*f, "Root"));
    EXPECT_EQ(readAll(dir / "music/files.bbs"), "Album           Renamed album\r\nOther\r\n");
    EXPECT_NO_THROW(node(*f, "Renamed album"));
}

TEST_F(PagesTest, FailedDescriptionSaveShowsItsMessageAndKeepsTheText)
{
    dir.write("music/Other/files.bbs", std::string("c.mp3 x\0y\r\n", 11));
    auto f = open();
    f->selectNode(node(*f, "x")); // the description before the NUL
    control<QLineEdit>(*f, "edFilesBBS")->setText("New text");
    f->selectNode(node(*f, "Root"));
    ASSERT_EQ(box->shown.size(), 1);
    EXPECT_EQ(box->shown[0],
              QString::fromStdString("Error|Error while saving file " + dir.path() + "music/Other/files.bbs|&Abort"));
    EXPECT_EQ(f->session().tree().record(node(*f, "x"))->Description, "New text");
    EXPECT_EQ(readAll(dir / "music/Other/files.bbs"), std::string("c.mp3 x\0y\r\n", 11));
}

TEST_F(PagesTest, EnterMovesToTheNextTrackAndStaysOnTheLast)
{
    auto f = open();
    f->selectNode(node(*f, "Song A"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(control<QLineEdit>(*f, "edComment"), &enter);
    EXPECT_EQ(f->selectedNode(), node(*f, "Song B"));
    const NodeId last = f->session().tree().Nodes.back();
    f->selectNode(last);
    QApplication::sendEvent(control<QLineEdit>(*f, "edComment"), &enter);
    EXPECT_EQ(f->selectedNode(), last);
}

TEST_F(PagesTest, ClosingTheWindowSavesTheEditsOfTheSelectedNode)
{
    auto f = open();
    f->selectNode(node(*f, "c.mp3"));
    control<QLineEdit>(*f, "edName")->setText("Closing title");
    f->close();
    EXPECT_EQ(tagOf("music/Other/c.mp3").substr(0, 16), "TAGClosing title");
}

TEST_F(PagesTest, PagesShowPictureTextAndDescription)
{
    auto f = open();
    f->selectNode(node(*f, "The album"));
    EXPECT_FALSE(control<QLabel>(*f, "Image")->isHidden());
    EXPECT_EQ(control<QLabel>(*f, "Image")->pixmap().size(), QSize(96, 96));
    QTextBlock first = control<QTextEdit>(*f, "TextView")->document()->firstBlock();
    EXPECT_EQ(first.text(), "Bold title");
    EXPECT_EQ(first.blockFormat().alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_TRUE(first.begin().fragment().charFormat().fontWeight() >= QFont::Bold);
    EXPECT_EQ(first.next().text(), "Café");
    EXPECT_TRUE(control<QLabel>(*f, "TrackInfo")->text().startsWith("\nString4The album\nString15"));
    // Same paths: neither page is reloaded, even after the view was changed by hand.
    control<QTextEdit>(*f, "TextView")->setPlainText("marker");
    f->selectNode(node(*f, "Song A"));
    EXPECT_EQ(control<QTextEdit>(*f, "TextView")->toPlainText(), "marker");
    // A plain page in the OEM code page; an entry without a picture hides it.
    f->selectNode(node(*f, "Other"));
    EXPECT_EQ(control<QTextEdit>(*f, "TextView")->toPlainText(), "╔═╗ box été");
    // The plain page keeps nothing of the rich page's formats.
    EXPECT_LT(control<QTextEdit>(*f, "TextView")->document()->firstBlock().begin().fragment().charFormat().fontWeight(),
              QFont::Bold);
    EXPECT_TRUE(control<QLabel>(*f, "Image")->isHidden());
    EXPECT_EQ(f->pages()->ShownPicturePath, "");
}

TEST_F(PagesTest, NoEditingWithoutAllowEdit)
{
    auto f = open("AllowEdit = no\n");
    const std::string before = readAll(dir / "music/Album/a.mp3");
    f->selectNode(node(*f, "Song A"));
    EXPECT_EQ(control<QLineEdit>(*f, "edFilesBBS")->text(), "");
    control<QLineEdit>(*f, "edName")->setText("ignored");
    f->selectNode(node(*f, "Song B"));
    EXPECT_EQ(readAll(dir / "music/Album/a.mp3"), before);
    EXPECT_FALSE(std::filesystem::exists(dir / "music/Album/files.bbs"));
}

TEST(RichTextPage, ManyFormatChangesShowQuicklyAndTooManyAreCut)
{
    const auto toggles = [](int runs) {
        std::string rtf = "{\\rtf1\\ansi ";
        for (int i = 0; i < runs; ++i)
            rtf += i % 2 ? "\\b0 y" : "\\b x";
        return rtf + "}";
    };
    const CodePage& ansi = *CodePage::byNumber(1252);
    // 200,000 toggles in one paragraph (900 KB): about half a second here with the
    // layout; a generous bound for the sanitizers.
    QTextDocument shown;
    const auto start = std::chrono::steady_clock::now();
    RtfTextDocument::fill(&shown, RtfDocument::parse(toggles(200'000), ansi));
    shown.setTextWidth(400);
    (void)shown.documentLayout()->documentSize();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_FALSE(shown.toPlainText().contains("not shown"));
    EXPECT_EQ(shown.toPlainText().remove('\n').size(), 200'000);
    QTextDocument cut;
    RtfTextDocument::fill(&cut, RtfDocument::parse(toggles(RtfTextDocument::MaxRuns + 10), ansi));
    EXPECT_TRUE(cut.lastBlock().text().startsWith("[The rest of this page is not shown"));
}

TEST_F(PagesTest, TheWindowComesBackAsItWasLeft)
{
    const std::string state = dir / "state/window.ini";
    {
        auto f = open();
        f->resize(800, 500);
        f->pages()->setCurrentIndex(2);
        f->treeView()->setExpanded(f->model()->indexOf(node(*f, "Other")), true);
        WindowState::save(f->stateParts(), state);
    }
    auto f = open();
    EXPECT_EQ(f->pages()->currentIndex(), 0); // nothing restored yet: the first-run layout
    WindowState::restore(f->stateParts(), state);
    EXPECT_EQ(f->size(), QSize(800, 500));
    EXPECT_EQ(f->pages()->currentIndex(), 2);
    EXPECT_TRUE(f->treeView()->isExpanded(f->model()->indexOf(node(*f, "Other"))));
    // Without a state file the layout stays.
    auto fresh = open();
    WindowState::restore(fresh->stateParts(), dir / "none.ini");
    // (an editor of ID3v2 tags has its Edit menu above the client area)
    const auto* menu = fresh->findChild<QMenuBar*>("MainMenu");
    EXPECT_EQ(fresh->size(), QSize(641, 337 + (menu ? menu->height() : 0)));
}

TEST_F(PagesTest, TheWindowAndTheCommandLineSaveTheSameBytes)
{
    // The same ID3v2.4 track in the collection and outside it, each given the same artist:
    // one by the editor, one by cantorel-cli.
    const std::string wav = dir.write("tone.wav", sineWav(440, 1));
    ASSERT_EQ(runProcess("/usr/bin/lame", {"--quiet", "--tt", "Tagged", "--ta", "Old", "--tl", "Disc", "--ty", "1999",
                                           "--id3v2-only", wav, dir / "music/Other/tagged.mp3"})
                  .status,
              0);
    std::filesystem::copy_file(dir / "music/Other/tagged.mp3", dir / "outside.mp3");
    const std::string ini = dir.write("cli.ini", "MP3RootDir = music\n");
    auto f = open();
    f->selectNode(node(*f, "Tagged"));
    control<QLineEdit>(*f, "edArtist")->setText("  New artist ");
    control<QLineEdit>(*f, "edFilesBBS")->setText(""); // no description from this edit
    f->selectNode(node(*f, "Root"));
    EXPECT_TRUE(box->shown.isEmpty()) << box->shown.join("\n").toStdString();
    const ProcessResult r = runProcess(builtProgram("cantorel-cli"),
                                       {"--config", ini, "tag", dir / "outside.mp3", "--artist", "  New artist "});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readAll(dir / "music/Other/tagged.mp3"), readAll(dir / "outside.mp3"));
    const ProcessResult probe =
        runProcess(builtProgram("cantorel-cli"), {"--config", ini, "--json", "probe", dir / "outside.mp3"});
    EXPECT_NE(probe.out.find("\"Artist\": \"New artist\""), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("\"Name\": \"Tagged\""), std::string::npos) << probe.out;
}

TEST(RichTextPage, EmptyParagraphsAndGroupsCountTowardTheCap)
{
    // Three million empty paragraphs, and as many empty groups: read and shown up to the
    // cap, with the note (about a second here; generous for the sanitizers).
    const CodePage& ansi = *CodePage::byNumber(1252);
    for (const char* each : {"\\par ", "{}"}) {
        std::string rtf = "{\\rtf1\\ansi Start";
        rtf.reserve(3'000'000 * 5 + 32);
        for (int i = 0; i < 3'000'000; ++i)
            rtf += each;
        rtf += "End}";
        QTextDocument shown;
        const auto start = std::chrono::steady_clock::now();
        RtfTextDocument::fill(&shown, RtfDocument::parse(rtf, ansi));
        shown.setTextWidth(400);
        (void)shown.documentLayout()->documentSize();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << each;
        EXPECT_TRUE(shown.firstBlock().text().startsWith("Start")) << each;
        EXPECT_TRUE(shown.lastBlock().text().startsWith("[The rest of this page is not shown")) << each;
        EXPECT_LE(static_cast<std::size_t>(shown.blockCount()), RtfTextDocument::MaxParagraphs + 2) << each;
    }
}

TEST_F(PagesTest, TypedTextIsNeverLost)
{
    auto f = open("AllowEdit = yes\nComposeDescriptions = no\n");
    // An existing description file in code page 437 cannot hold Cyrillic: the box says
    // why, and the window goes back to the node with the text, to be changed.
    const std::string bbs = readAll(dir / "music/files.bbs");
    f->selectNode(node(*f, "Other"));
    control<QLineEdit>(*f, "edFilesBBS")->setText("Кино");
    f->selectNode(node(*f, "Root"));
    ASSERT_EQ(box->shown.size(), 1);
    EXPECT_TRUE(box->shown[0].contains("cannot hold these characters")) << box->shown[0].toStdString();
    QApplication::processEvents();
    EXPECT_EQ(f->selectedNode(), node(*f, "Other"));
    EXPECT_EQ(control<QLineEdit>(*f, "edFilesBBS")->text(), "Кино");
    EXPECT_EQ(readAll(dir / "music/files.bbs"), bbs);
    // Closing the window with it does not lose it either.
    EXPECT_FALSE(f->close());
    EXPECT_EQ(control<QLineEdit>(*f, "edFilesBBS")->text(), "Кино");
    control<QLineEdit>(*f, "edFilesBBS")->setText("Kino");
    // A folder without a description file gets one in UTF-8 for text code page 437 lacks;
    // a composed description is not written (ComposeDescriptions = no).
    f->selectNode(node(*f, "Song A"));
    EXPECT_EQ(readAll(dir / "music/files.bbs"), "Album The album\r\nOther           Kino\r\n");
    f->selectNode(node(*f, "Song B"));
    EXPECT_FALSE(std::filesystem::exists(dir / "music/Album/files.bbs"));
    control<QLineEdit>(*f, "edFilesBBS")->setText("Песня");
    f->selectNode(node(*f, "Root"));
    EXPECT_EQ(readAll(dir / "music/Album/files.bbs"), "b.mp3           Песня\r\n");
    EXPECT_EQ(box->shown.size(), 2); // the refusal, and again when the window was to close
}

TEST_F(PagesTest, TheFieldsOfID3v2TagsAndTheUndoOfTheLastSave)
{
    auto f = open("AllowEdit = yes\n", true);
    const std::string file = dir / "music/Album/b.mp3";
    const std::string before = readAll(file);
    f->selectNode(node(*f, "Song B"));
    control<QLineEdit>(*f, "edTrack")->setText("2/9");
    control<QLineEdit>(*f, "edAlbumArtist")->setText("Various");
    control<QComboBox>(*f, "edGenre")->setEditText("J-Pop");
    f->selectNode(node(*f, "Song A")); // leaving saves
    const CollectionItem saved = f->session().readTrack(file).record;
    EXPECT_EQ(saved.Track, 2);
    EXPECT_EQ(saved.TrackTotal, 9);
    EXPECT_EQ(saved.AlbumArtist.str(), "Various");
    EXPECT_EQ(saved.GenreText.str(), "J-Pop");
    EXPECT_EQ(saved.Name.str(), "Song B"); // nothing typed there, nothing written
    // The Edit menu's undo (Ctrl+Z) puts the file back as it was.
    QAction* undo = control<QAction>(*f, "miUndo");
    EXPECT_EQ(undo->shortcut(), QKeySequence(QKeySequence::Undo));
    ASSERT_NE(f->findChild<QMenuBar*>("MainMenu"), nullptr);
    undo->trigger(); // the composed description, saved last
    undo->trigger(); // the tag
    EXPECT_TRUE(readAll(file) == before);
    EXPECT_TRUE(box->shown.isEmpty()) << box->shown.join("\n").toStdString();
    // The cover of a track without a picture file, set and taken away from the picture page.
    const std::string other = dir / "music/Other/c.mp3";
    f->selectNode(node(*f, "c.mp3"));
    EXPECT_FALSE(f->pages()->btnSetCover->isHidden());
    const std::string png = dir / "cover.png";
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QString::fromStdString(png), "PNG"));
    f->setCoverFromFile(QString::fromStdString(png));
    EXPECT_FALSE(f->pages()->Image->isHidden());
    EXPECT_EQ(f->pages()->ShownPicturePath, other + "#cover");
    f->removeCover();
    EXPECT_EQ(f->pages()->ShownPicturePath, "");
    // With ReadID3v2 = no the editor is the one of ID3v1 tags, and the window has no menu.
    auto plain = open("AllowEdit = yes\nReadID3v2 = no\n");
    EXPECT_EQ(plain->findChild<QLineEdit*>("edTrack"), nullptr);
    EXPECT_EQ(plain->findChild<QMenuBar*>("MainMenu"), nullptr);
    EXPECT_EQ(plain->pages()->btnSetCover, nullptr);
    EXPECT_FALSE(control<QComboBox>(*plain, "edGenre")->isEditable());
}

TEST_F(PagesTest, TheRepairOfAFolderIsPreviewedAppliedAndUndone)
{
    const std::string track =
        dir.write("music/Kino/a.mp3", fakeTrack("\xFF\xFB\x90\x44", 16000,
                                                id3v1("\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8", // 1251
                                                      "\xCA\xE8\xED\xEE")));
    const std::string before = readAll(track);
    auto f = open("AllowEdit = yes\n", true);
    f->repairFolder(node(*f, "Kino"));
    auto* dialog = f->findChild<RepairDialog*>("RepairDialog");
    ASSERT_NE(dialog, nullptr);
    auto* table = dialog->findChild<QTableWidget*>("tbRepair");
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 1)->text(),
              QString::fromUtf8("\u00C3\u00F0\u00F3\u00EF\u00EF\u00E0 \u00EA\u00F0\u00EE\u00E2\u00E8"));
    EXPECT_EQ(table->item(0, 2)->text(), QString::fromUtf8("Группа крови"));
    // Another code page from the list, and back.
    dialog->choose("KOI8-R");
    EXPECT_EQ(dialog->proposal()->codePage, "KOI8-R");
    EXPECT_NE(table->item(0, 2)->text(), QString::fromUtf8("Группа крови"));
    dialog->choose("windows-1251");
    EXPECT_EQ(readAll(track), before); // nothing before Apply
    dialog->accept();
    EXPECT_EQ(f->session().readTrack(track).record.Name.str(), "Группа крови");
    EXPECT_EQ(control<QAction>(*f, "miRepair")->parent(), f.get());
    // One undo puts the folder back.
    control<QAction>(*f, "miUndo")->trigger();
    EXPECT_TRUE(readAll(track) == before);
    EXPECT_TRUE(box->shown.isEmpty()) << box->shown.join("\n").toStdString();
    // A folder with nothing to repair says so.
    f->repairFolder(node(*f, "Other"));
    ASSERT_EQ(box->shown.size(), 1);
    EXPECT_TRUE(box->shown[0].contains("Nothing in this folder needs repair.")) << box->shown[0].toStdString();
}
