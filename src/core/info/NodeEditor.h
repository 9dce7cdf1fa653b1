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
    // The fields of ID3v2 tags, shown when the editor has them: track and disc as "n" or
    // "n/m", the album artist, and a genre typed that the list does not hold.
    std::string track, disc, albumArtist, genreText;
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
    bool recordChanged = false; // the record of the node left holds new values
};

// Which field a node's caption mirrors, so that saving it renames the node.
enum class CaptionSource { None, Name, Description };

// The editor's decisions, without a widget: loading a node's fields, composing a
// description, saving what changed when the node is left, and the Enter key's next track.
class NodeEditor {
public:
    NodeEditor(CollectionTree& tree, bool allowEdit, const CodePage& ansi, EditorStore& store);

    // The fields of ID3v2 tags too (track, disc, album artist, any genre text).
    void setExtended(bool extended) { extended_ = extended; }
    bool extended() const { return extended_; }

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
    bool writesComposed() const { return writeComposed_; }

private:
    bool isTrack(NodeId n) const;
    void leaveTag(CollectionItem& r, const EditorFields& fields, LeaveOutcome& outcome);
    // What of the ID3v2 fields differs from the record, into `change` and `c`; false for a
    // number that is no "n" or "n/m" (the message says so).
    bool changeExtended(const CollectionItem& r, CollectionItem& c, const EditorFields& f, TagChange& change,
                        LeaveOutcome& outcome) const;

    CollectionTree& tree_;
    bool allowEdit_;
    const CodePage& ansi_;
    EditorStore& store_;
    CaptionSource captionSource_ = CaptionSource::None;
    bool writeComposed_ = true;
    bool extended_ = false;
    // The description that load composed for an empty one, and its node.
    NodeId composedFor_ = NoNode;
    std::string composed_;
};

} // namespace cantorel
