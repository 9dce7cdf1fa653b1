#pragma once

#include "core/collection/CollectionTree.h"
#include "core/info/TagWriter.h"

#include <optional>
#include <string>
#include <vector>

namespace cantorel {

class CodePage;

// What the editor page shows and allows for a node.
struct EditorFields {
    std::string name, album, artist, year, comment, description;
    std::optional<int> genre; // the genre number of the selected entry; nothing: no selection
    bool tagFieldsEnabled = false;
    bool descriptionEnabled = false;
    bool composeEnabled = false;
};

// Where the editor's saves go: the session writes the files; a test records them.
class EditorStore {
public:
    virtual ~EditorStore() = default;
    // Writes what changed of a track's tag fields; `edited` is its record as it will be.
    virtual Result<> saveTag(const CollectionItem& edited, const TagChange& change) = 0;
    virtual Result<> saveDescription(const CollectionItem& item) = 0;
    // Why `text` cannot be written into the entry's description file, if it cannot.
    // `typed`: the user typed it (rather than the editor composing it).
    virtual Result<> checkDescription(const CollectionItem& item, const std::string& text, bool typed) = 0;
};

// A message box the window shows after leaving a node.
struct EditorMessage {
    std::string text;
    std::string button;
    bool operator==(const EditorMessage&) const = default;
};

// What leaving a node did that the window shows.
struct LeaveOutcome {
    std::vector<NodeId> renamed; // nodes with a new caption
    std::vector<EditorMessage> messages;
    // A typed description that was refused: the window goes back to the node with it, so
    // that it can be changed rather than lost.
    std::optional<std::string> refusedDescription;
};

// Which field a node's caption mirrors, so that saving it renames the node.
enum class CaptionSource { None, Name, Description };

// The editor's decisions, without a widget: loading a node's fields, composing a
// description, saving what changed when the node is left, and the Enter key's next track.
class NodeEditor {
public:
    NodeEditor(CollectionTree& tree, bool allowEdit, const CodePage& ansi, EditorStore& store);

    // The fields for node `n`; also decides which field the node's caption mirrors.
    EditorFields load(NodeId n);
    // A description from artist, album and the title typed in `nameText`; "" when
    // editing is not allowed.
    std::string compose(NodeId n, const std::string& nameText) const;
    // Saves the edits of node `n` that differ from its record.
    LeaveOutcome leave(NodeId n, const EditorFields& fields);
    // The first track after `selected` in the node table, NoNode when there is none.
    NodeId nextTrackAfter(NodeId selected) const;

    // Which field the caption of the node last loaded mirrors.
    CaptionSource captionSource() const { return captionSource_; }
    // Whether leaving a node writes the description that load composed for it (the
    // default) or only one that was typed.
    void setWriteComposed(bool write) { writeComposed_ = write; }

private:
    bool isTrack(NodeId n) const;
    void leaveTag(CollectionItem& r, const EditorFields& fields, LeaveOutcome& outcome);

    CollectionTree& tree_;
    bool allowEdit_;
    const CodePage& ansi_;
    EditorStore& store_;
    CaptionSource captionSource_ = CaptionSource::None;
    bool writeComposed_ = true;
    // The description that load composed for an empty one, and its node.
    NodeId composedFor_ = NoNode;
    std::string composed_;
};

} // namespace cantorel
