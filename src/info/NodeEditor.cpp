#include "info/NodeEditor.h"

#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "platform/TextRules.h"

namespace cantorel {

NodeEditor::NodeEditor(CollectionTree& tree, bool allowEdit, const CodePage& tagPage, const CodePage& oem,
                       const CodePage& ansi)
    : tree_(tree), allowEdit_(allowEdit), tagPage_(tagPage), oem_(oem), ansi_(ansi)
{
}

bool NodeEditor::isTrack(NodeId n) const { return n != NoNode && tree_.record(n) && tree_.kind(n) == KindTrack; }

std::string NodeEditor::throughPage(const std::string& text, const CodePage& page)
{
    return page.decode(page.encode(text));
}

EditorFields NodeEditor::load(NodeId n)
{
    EditorFields f;
    const CollectionItem* r = n == NoNode ? nullptr : tree_.record(n);
    const bool track = isTrack(n);
    if (track) {
        f.name = r->Name;
        f.album = r->Album;
        f.artist = r->Artist;
        f.year = r->Year;
        f.comment = r->Comment;
        f.genre = r->Genre;
    }
    f.tagFieldsEnabled = track;
    if (n != NoNode && n != tree_.RootNode && n != tree_.PlaylistsNode && r) {
        f.descriptionEnabled = true;
        f.description = r->Description;
        f.composeEnabled = track;
        if (f.description.empty())
            f.description = compose(n, f.name);
    }
    const std::string& caption = n == NoNode ? std::string() : tree_.caption(n);
    CaptionSource = (n != NoNode && f.name == caption) ? 1 : (n != NoNode && f.description == caption) ? 2 : 0;
    return f;
}

std::string NodeEditor::compose(NodeId n, const std::string& nameText) const
{
    if (!allowEdit_ || n == NoNode || !tree_.record(n))
        return {};
    const CollectionItem& r = *tree_.record(n);
    std::string s;
    if (const std::string_view artist = text::trim(r.Artist); !artist.empty())
        s += std::string(artist) + ". ";
    if (const std::string_view album = text::trim(r.Album); !album.empty())
        s += std::string(album) + ". ";
    const std::string fileName = displayName(paths::fileNameOf(r.Path), ansi_);
    if (!text::trim(nameText).empty() && nameText != fileName)
        s += "\"" + nameText + "\"";
    return s;
}

void NodeEditor::leave(NodeId n, const EditorFields& f, const EditorServices& services)
{
    if (!allowEdit_ || n == NoNode || !tree_.record(n))
        return;
    CollectionItem& r = *tree_.record(n);
    const std::uint8_t g = (!f.genre || *f.genre < 0) ? 255 : static_cast<std::uint8_t>(*f.genre & 0xFF);
    if (tree_.kind(n) == KindTrack) {
        const auto field = [this](const std::string& value) {
            return throughPage(text::cutChars(text::trim(value), CollectionItem::TextLimit), tagPage_);
        };
        CollectionItem c = r;
        c.Name = field(f.name);
        c.Album = field(f.album);
        c.Artist = field(f.artist);
        c.Year = field(f.year);
        c.Comment = field(f.comment);
        c.Genre = g;
        const bool changed = c.Name != r.Name || c.Album != r.Album || c.Artist != r.Artist || c.Year != r.Year ||
                             c.Comment != r.Comment || c.Genre != r.Genre;
        if (changed) {
            const Result<> written = services.writeTag(c);
            if (written) {
                r = c;
                if (CaptionSource == 1)
                    services.captionsChanged(tree_.RenameSharedNodes(&r, c.Name));
            } else if (written.failure().code == ActiveTrackRefused) {
                services.showError(written.error(), "Cancel");
            }
            // Any other failure keeps the record as it was, and the file holds its old tag.
        }
    }
    if (n == tree_.RootNode || n == tree_.PlaylistsNode)
        return;
    const std::string description =
        throughPage(text::cutChars(text::trim(f.description), CollectionItem::DescriptionLimit), oem_);
    if (description == r.Description)
        return;
    r.Description = description;
    if (CaptionSource == 2)
        services.captionsChanged(tree_.RenameSharedNodes(&r, r.Description));
    if (const Result<> saved = services.writeDescription(r); !saved)
        services.showError(saved.error(), "&Abort");
}

NodeId NodeEditor::nextTrackAfter(NodeId selected) const
{
    bool seen = false;
    for (NodeId n : tree_.Nodes) {
        if (seen && tree_.kind(n) == KindTrack)
            return n;
        seen = seen || n == selected;
    }
    return NoNode;
}

} // namespace cantorel
