#pragma once

#include "core/collection/CollectionTree.h"

#include <cstdint>
#include <optional>
#include <string>

namespace cantorel {

// The player panel's rules that need no widget.
class PanelRules {
public:
    // "h:mm:ss" with unpadded, unbounded hours: 0 gives "0:00:00", 36000 "10:00:00".
    static std::string FormatTime(std::int64_t seconds);

    // The playable track (kind 3) before or after the active node in the node table;
    // NoNode without an active node or at either end (no wrap-around).
    static NodeId FindPlayableTrack(const CollectionTree& tree, NodeId active, bool forward);

    // The now-playing text of a node: album, else artist, else a carriage return and the
    // caption of the parent of the first node in the table sharing the record; the title
    // between carriage returns in front when there is one.
    static std::string lineText(const CollectionTree& tree, NodeId node);

    // The line text with every carriage return replaced by ". ".
    static std::string hintText(const std::string& line);

    // The slider's tick spacing for a length in seconds; nothing above 2400 s (the
    // spacing then stays as it was).
    static std::optional<int> tickSpacing(std::int64_t seconds);
};

} // namespace cantorel
