#pragma once

#include "collection/CollectionTree.h"
#include "info/TrackInfo.h"

#include <functional>
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

// What saving needs from the window (or a test).
struct EditorServices {
    std::function<Result<>(const CollectionItem&)> writeTag;
    std::function<Result<>(const CollectionItem&)> writeDescription;
    // Why a description cannot be written into the entry's description file, if it cannot.
    std::function<std::optional<std::string>(const CollectionItem&, const std::string&)> descriptionProblem;
    std::function<void(const std::string& text, const std::string& button)> showError;
    std::function<void(const std::vector<NodeId>&)> captionsChanged;
};

// The editor's decisions, without a widget: loading a node's fields, composing a
// description, saving what changed when the node is left, and the Enter key's next track.
class NodeEditor {
public:
    NodeEditor(CollectionTree& tree, bool allowEdit, const CodePage& ansi);

    // The fields for node `n`; also decides which field the node's caption mirrors.
    EditorFields load(NodeId n);
    // A description from artist, album and the title typed in `nameText`; "" when
    // editing is not allowed.
    std::string compose(NodeId n, const std::string& nameText) const;
    // Saves the edits of node `n` that differ from its record.
    void leave(NodeId n, const EditorFields& fields, const EditorServices& services);
    // The first track after `selected` in the node table, NoNode when there is none.
    NodeId nextTrackAfter(NodeId selected) const;

    // 0: the caption mirrors neither field; 1: the name; 2: the description.
    int CaptionSource = 0;

private:
    bool isTrack(NodeId n) const;
    void leaveTag(CollectionItem& r, const EditorFields& fields, const EditorServices& services);

    CollectionTree& tree_;
    bool allowEdit_;
    const CodePage& ansi_;
    // The description that load composed for an empty one, and its node.
    NodeId composedFor_ = NoNode;
    std::string composed_;
};

} // namespace cantorel
