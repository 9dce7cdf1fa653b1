#include "core/info/NodeEditor.h"

#include "core/collection/DescriptionWriter.h"
#include "core/platform/CodePage.h"

#include <gtest/gtest.h>

using namespace cantorel;

namespace {

// A small tree: root / dir / two tracks, and a playlist whose entry shares track 1.
class NodeEditorTest : public ::testing::Test, public EditorStore {
protected:
    NodeEditorTest()
    {
        rootRecord = tree.newRecord();
        rootRecord->Path = "/m/";
        root = tree.addNode(NoNode, "Root", rootRecord, KindRootOrParent);
        tree.RootNode = root;
        dirRecord = tree.newRecord();
        dirRecord->Path = "/m/Dir";
        dirRecord->Name = "Dir described";
        dirRecord->Description = "Dir described";
        dir = tree.addNode(root, "Dir described", dirRecord, KindDirectory);
        one = tree.newRecord();
        one->Path = "/m/Dir/one.mp3";
        one->Name = "one.mp3";
        one->Artist = " Artist ";
        one->Album = "Album";
        one->Genre = 17;
        track1 = tree.addNode(dir, "one.mp3", one, KindTrack);
        two = tree.newRecord();
        two->Path = "/m/Dir/two.mp3";
        two->Name = "Second";
        two->Description = "Has one";
        two->Genre = 255;
        track2 = tree.addNode(dir, "Second", two, KindTrack);
        lists = tree.addNode(NoNode, "Playlists", tree.newRecord(), KindPlaylists);
        tree.PlaylistsNode = lists;
        listRecord = tree.newRecord();
        listRecord->Path = "/m/l.m3u";
        list = tree.addNode(lists, "l.m3u", listRecord, KindPlaylist);
        entry = tree.addNode(list, "one.mp3", one, KindTrack);
        tree.fillNodeTable();
    }
    Result<> saveTag(const CollectionItem& c, const TagChange& change) override
    {
        written.push_back(c);
        changes.push_back(change);
        return tagResult;
    }
    Result<> saveDescription(const CollectionItem& c) override
    {
        descriptions.push_back(c.Path + "=" + c.Description);
        return descriptionError;
    }
    Result<> checkDescription(const CollectionItem&, const std::string& text, bool) override
    {
        return checkDescriptionText(text, oem);
    }
    // Leaves a node, noting the boxes the window would show and the nodes it would rename.
    void leave(NodeEditor& e, NodeId n, const EditorFields& f)
    {
        const LeaveOutcome outcome = e.leave(n, f);
        for (const EditorMessage& m : outcome.messages)
            boxes.push_back(m.text + "|" + m.button);
        renamed.insert(renamed.end(), outcome.renamed.begin(), outcome.renamed.end());
    }

    const CodePage& ansi = *CodePage::byNumber(1252);
    const CodePage& oem = *CodePage::byNumber(437);
    CollectionTree tree;
    NodeEditor editor{tree, true, ansi, *this};
    CollectionItem *rootRecord, *dirRecord, *one, *two, *listRecord;
    NodeId root, dir, track1, track2, lists, list, entry;
    Result<> tagResult;
    Result<> descriptionError;
    std::vector<CollectionItem> written;
    std::vector<TagChange> changes;
    std::vector<std::string> descriptions, boxes;
    std::vector<NodeId> renamed;
};

} // namespace

TEST_F(NodeEditorTest, LoadingDecidesFieldsStatesAndCaptionSource)
{
    const EditorFields t = editor.load(track1);
    EXPECT_EQ(t.name, "one.mp3");
    EXPECT_EQ(t.genre, 17);
    EXPECT_TRUE(t.tagFieldsEnabled);
    EXPECT_TRUE(t.composeEnabled);
    EXPECT_EQ(t.description, "Artist. Album. "); // composed: the title is the file name
    EXPECT_EQ(editor.captionSource(), CaptionSource::Name);

    const EditorFields d = editor.load(dir);
    EXPECT_EQ(d.name, "");
    EXPECT_FALSE(d.genre);
    EXPECT_FALSE(d.tagFieldsEnabled);
    EXPECT_TRUE(d.descriptionEnabled);
    EXPECT_FALSE(d.composeEnabled);
    EXPECT_EQ(editor.captionSource(), CaptionSource::Description);

    const EditorFields r = editor.load(root);
    EXPECT_FALSE(r.descriptionEnabled);
    EXPECT_EQ(editor.captionSource(), CaptionSource::None);
    EXPECT_FALSE(editor.load(lists).descriptionEnabled);
    EXPECT_EQ(editor.load(list).description, ""); // not a track: nothing to compose from

    NodeEditor readOnly(tree, false, ansi, *this);
    EXPECT_EQ(readOnly.load(track1).description, "");
}

TEST_F(NodeEditorTest, ComposingADescription)
{
    EXPECT_EQ(editor.compose(track1, "My title"), "Artist. Album. \"My title\"");
    EXPECT_EQ(editor.compose(track1, "one.mp3"), "Artist. Album. ");
    EXPECT_EQ(editor.compose(track1, "   "), "Artist. Album. ");
    EXPECT_EQ(editor.compose(track2, "Second"), "\"Second\"");
}

TEST_F(NodeEditorTest, LeavingATrackWritesChangedTagsAndRenamesSharedNodes)
{
    EditorFields f = editor.load(track1);
    f.name = "  New title  ";
    f.description.clear(); // not composed: nothing to save there
    leave(editor, track1, f);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].Name, "New title");
    EXPECT_EQ(written[0].Artist, "Artist"); // the trimmed field, written back trimmed
    // Only what differs from the record is in the change: the other fields keep the file's.
    EXPECT_EQ(changes[0].title, "New title");
    EXPECT_EQ(changes[0].artist, "Artist");
    EXPECT_FALSE(changes[0].album || changes[0].year || changes[0].comment || changes[0].genre);
    EXPECT_EQ(one->Name, "New title");
    EXPECT_EQ(renamed, (std::vector<NodeId>{track1, entry}));
    EXPECT_EQ(tree.caption(entry), "New title");
    EXPECT_TRUE(descriptions.empty());
}

TEST_F(NodeEditorTest, UnchangedFieldsWriteNothing)
{
    EditorFields f = editor.load(track2);
    f.name = "  Second ";
    f.description = " Has one ";
    leave(editor, track2, f);
    // Texts that the code pages cannot hold are compared as they are, so they are no change.
    two->Name = "Привет ╔ 日本";
    two->Description = "Описание";
    leave(editor, track2, editor.load(track2));
    EXPECT_TRUE(written.empty());
    EXPECT_TRUE(descriptions.empty());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(NodeEditorTest, DescriptionsTheCodePageCannotHold)
{
    // Composed by the editor: not saved, and nobody is asked.
    one->Artist = "Ёжик";
    leave(editor, track1, editor.load(track1));
    EXPECT_TRUE(descriptions.empty());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(one->Description, "");
    // Typed: refused with the characters, and the record keeps its text.
    EditorFields f = editor.load(track2);
    f.description = "Price 5€";
    leave(editor, track2, f);
    EXPECT_TRUE(descriptions.empty());
    EXPECT_EQ(two->Description, "Has one");
    EXPECT_EQ(boxes, (std::vector<std::string>{
                         "The description was not saved: code page 437 cannot hold these characters of it: €|&Abort"}));
}

TEST_F(NodeEditorTest, GenreSelection)
{
    // 18 is a genre the table may lack: the list then shows no selection.
    const struct {
        int genre;
        std::optional<int> selected;
        int written;
    } cases[] = {{17, -1, 255}, {17, 5, 5}, {17, 17, -1}, {18, std::nullopt, -1}, {18, -1, 255}};
    for (const auto& c : cases) {
        written.clear();
        one->Genre = static_cast<std::uint8_t>(c.genre);
        EditorFields f = editor.load(track1);
        f.description.clear();
        f.genre = c.selected;
        leave(editor, track1, f);
        if (c.written < 0) {
            EXPECT_TRUE(written.empty()) << c.genre;
        } else {
            ASSERT_EQ(written.size(), 1u);
            EXPECT_EQ(written[0].Genre, c.written);
        }
    }
}

TEST_F(NodeEditorTest, FailedAndRefusedTagWritesKeepTheRecord)
{
    EditorFields f = editor.load(track2);
    f.name = "Other";
    tagResult = fail("Unable to write the tag of /m/Dir/two.mp3");
    leave(editor, track2, f);
    EXPECT_EQ(two->Name, "Second");
    EXPECT_TRUE(boxes.empty());
    tagResult = fail("Unable to edit active track tag. ", ActiveTrackRefused);
    f.description = "still saved";
    leave(editor, track2, f);
    EXPECT_EQ(two->Name, "Second");
    EXPECT_EQ(boxes, (std::vector<std::string>{"Unable to edit active track tag. |Cancel"}));
    EXPECT_EQ(descriptions, (std::vector<std::string>{"/m/Dir/two.mp3=still saved"}));
    EXPECT_EQ(tree.caption(track2), "Second"); // a track's caption never follows its description
}

TEST_F(NodeEditorTest, DescriptionsOfDirectories)
{
    EditorFields f = editor.load(dir);
    f.description = "New words";
    descriptionError = fail("Error while saving file /m/files.bbs");
    leave(editor, dir, f);
    EXPECT_EQ(tree.caption(dir), "New words");
    EXPECT_EQ(dirRecord->Description, "New words");
    EXPECT_EQ(boxes, (std::vector<std::string>{"Error while saving file /m/files.bbs|&Abort"}));
    // Root and playlists node never save a description.
    EditorFields r = editor.load(root);
    r.description = "x";
    leave(editor, root, r);
    EXPECT_EQ(descriptions.size(), 1u);
    // A description is cut at 255 characters.
    f = editor.load(dir);
    f.description = std::string(300, 'd') + "€";
    leave(editor, dir, f);
    EXPECT_EQ(dirRecord->Description, std::string(255, 'd'));
}

TEST_F(NodeEditorTest, EnterMovesToTheNextTrack)
{
    EXPECT_EQ(editor.nextTrackAfter(root), track1);
    EXPECT_EQ(editor.nextTrackAfter(track1), track2);
    EXPECT_EQ(editor.nextTrackAfter(track2), entry);
    EXPECT_EQ(editor.nextTrackAfter(entry), NoNode);
}

TEST_F(NodeEditorTest, NothingIsSavedWithoutAllowEdit)
{
    NodeEditor readOnly(tree, false, ansi, *this);
    EditorFields f = readOnly.load(track2);
    f.name = "x";
    f.description = "y";
    leave(readOnly, track2, f);
    EXPECT_TRUE(written.empty());
    EXPECT_TRUE(descriptions.empty());
}
