#include "core/player/PanelRules.h"

namespace cantorel {

std::string PanelRules::FormatTime(std::int64_t seconds)
{
    std::string secs = std::to_string(seconds % 60);
    if (secs.size() < 2)
        secs = "0" + secs;
    std::string minutes = std::to_string((seconds / 60) % 60) + ":" + secs;
    if (minutes.size() < 5)
        minutes = "0" + minutes;
    return std::to_string(seconds / 3600) + ":" + minutes;
}

NodeId PanelRules::FindPlayableTrack(const CollectionTree& tree, NodeId active, bool forward)
{
    if (active == NoNode)
        return NoNode;
    NodeId before = NoNode;
    bool passed = false;
    for (NodeId n : tree.Nodes) {
        if (n == active) {
            if (!forward)
                return before;
            passed = true;
        } else if (tree.kind(n) == KindTrack) {
            if (passed)
                return n;
            before = n;
        }
    }
    return NoNode;
}

std::string PanelRules::lineText(const CollectionTree& tree, NodeId node)
{
    const CollectionItem* r = tree.record(node);
    if (!r)
        return {};
    std::string line;
    if (!r->Album.empty()) {
        line = r->Album;
    } else if (!r->Artist.empty()) {
        line = r->Artist;
    } else {
        line = "\r";
        for (NodeId n : tree.Nodes) {
            if (tree.record(n) == r && tree.parent(n) != NoNode) {
                line += tree.caption(tree.parent(n));
                break;
            }
        }
    }
    if (!r->Name.empty())
        line = "\r" + r->Name + "\r" + line;
    return line;
}

std::string PanelRules::hintText(const std::string& line)
{
    std::string hint;
    for (char c : line) {
        if (c == '\r')
            hint += ". ";
        else
            hint += c;
    }
    return hint;
}

std::optional<int> PanelRules::tickSpacing(std::int64_t seconds)
{
    if (seconds <= 200)
        return 10;
    if (seconds <= 600)
        return 30;
    if (seconds <= 1200)
        return 60;
    if (seconds <= 2400)
        return 120;
    return std::nullopt;
}

} // namespace cantorel
