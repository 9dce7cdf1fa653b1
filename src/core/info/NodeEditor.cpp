#include "core/info/NodeEditor.h"

#include "core/platform/CodePage.h"
#include "core/platform/Paths.h"
#include "core/platform/TextRules.h"

#include <tuple>

namespace cantorel {

namespace {

TagChange::Number trackOf(const CollectionItem& r)
{
    return {static_cast<int>(r.Track), static_cast<int>(r.TrackTotal)};
}

TagChange::Number discOf(const CollectionItem& r) { return {static_cast<int>(r.Disc), static_cast<int>(r.DiscTotal)}; }

} // namespace

NodeEditor::NodeEditor(CollectionTree& tree, bool allowEdit, const CodePage& ansi, EditorStore& store)
    : tree_(tree), allowEdit_(allowEdit), ansi_(ansi), store_(store)
{
}

bool NodeEditor::isTrack(NodeId n) const { return n != NoNode && tree_.record(n) && tree_.kind(n) == KindTrack; }

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
        if (extended_) {
            f.track = trackOf(*r).text();
            f.disc = discOf(*r).text();
            f.albumArtist = r->AlbumArtist;
            f.genreText = r->Genre == 255 ? r->GenreText.str() : std::string();
        }
    }
    f.tagFieldsEnabled = track;
    if (n != NoNode && n != tree_.RootNode && n != tree_.PlaylistsNode && r) {
        f.descriptionEnabled = true;
        f.description = r->Description;
        f.composeEnabled = track;
        if (f.description.empty())
            f.description = compose(n, f.name);
    }
    composedFor_ = f.description != (r ? r->Description.str() : std::string()) ? n : NoNode;
    composed_ = composedFor_ != NoNode ? f.description : std::string();
    const std::string caption = n == NoNode ? std::string() : tree_.caption(n).str();
    captionSource_ = n == NoNode                ? CaptionSource::None
                     : f.name == caption        ? CaptionSource::Name
                     : f.description == caption ? CaptionSource::Description
                                                : CaptionSource::None;
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
    const std::string fileName = displayName(paths::fileNameOf(r.Path.str()), ansi_);
    if (!text::trim(nameText).empty() && nameText != fileName)
        s += "\"" + nameText + "\"";
    return s;
}

LeaveOutcome NodeEditor::leave(NodeId n, const EditorFields& f)
{
    LeaveOutcome outcome;
    if (!allowEdit_ || n == NoNode || !tree_.record(n))
        return outcome;
    CollectionItem& r = *tree_.record(n);
    if (tree_.kind(n) == KindTrack)
        leaveTag(r, f, outcome);
    if (n == tree_.RootNode || n == tree_.PlaylistsNode)
        return outcome;
    const std::string description = text::cutChars(text::trim(f.description), CollectionItem::DescriptionLimit);
    if (description == r.Description)
        return outcome;
    const bool composed = n == composedFor_ && f.description == composed_;
    if (composed && !writeComposed_)
        return outcome;
    if (const Result<> writable = store_.checkDescription(r, description, !composed); !writable) {
        // A description the editor composed by itself is simply not saved; one the user
        // typed is refused with the reason, and kept to be changed.
        if (!composed) {
            outcome.messages.push_back({writable.error(), "&Abort"});
            outcome.refusedDescription = f.description;
        }
        return outcome;
    }
    r.Description = description;
    outcome.recordChanged = true;
    if (captionSource_ == CaptionSource::Description)
        outcome.renamed = tree_.RenameSharedNodes(&r, r.Description);
    if (const Result<> saved = store_.saveDescription(r); !saved)
        outcome.messages.push_back({saved.error(), "&Abort"});
    return outcome;
}

void NodeEditor::leaveTag(CollectionItem& r, const EditorFields& f, LeaveOutcome& outcome)
{
    // The texts as typed, compared with the record as they are: only what is written
    // passes through the tag's code page.
    const auto field = [](const std::string& value) {
        return text::cutChars(text::trim(value), CollectionItem::TextLimit);
    };
    CollectionItem c = r;
    c.Name = field(f.name);
    c.Album = field(f.album);
    c.Artist = field(f.artist);
    c.Year = field(f.year);
    c.Comment = field(f.comment);
    // No selection (the record's genre is not in the table, and nothing was chosen)
    // keeps the genre; the blank entry (-1) is "none".
    c.Genre = !f.genre ? r.Genre : *f.genre < 0 ? 255 : static_cast<std::uint8_t>(*f.genre & 0xFF);
    if (c.Genre != r.Genre)
        c.GenreText.clear();
    // A genre typed that the list does not hold is written as its text (ID3v2 tags).
    const std::string typedGenre = field(f.genreText);
    const bool genreTyped = extended_ && !f.genre && typedGenre != r.GenreText.str();
    if (genreTyped) {
        c.Genre = 255;
        c.GenreText = typedGenre;
    }
    // Only what was typed is written; every other field keeps what the file holds.
    TagChange change;
    for (auto [field, edited, value] :
         {std::tuple{&TagChange::title, &c.Name, &r.Name}, std::tuple{&TagChange::album, &c.Album, &r.Album},
          std::tuple{&TagChange::artist, &c.Artist, &r.Artist}, std::tuple{&TagChange::year, &c.Year, &r.Year},
          std::tuple{&TagChange::comment, &c.Comment, &r.Comment}}) {
        if (*edited != *value)
            change.*field = edited->str();
    }
    if (c.Genre != r.Genre || genreTyped)
        change.genre = TagChange::Genre{static_cast<std::uint8_t>(c.Genre), c.GenreText.str()};
    if (extended_ && !changeExtended(r, c, f, change, outcome))
        return;
    if (change.empty())
        return;
    const Result<> written = store_.saveTag(c, change);
    if (written) {
        r = c;
        outcome.recordChanged = true;
        if (captionSource_ == CaptionSource::Name)
            outcome.renamed = tree_.RenameSharedNodes(&r, c.Name);
    } else if (const int code = written.failure().code;
               code == ActiveTrackRefused || code == TagTextUnencodable || code == TagSaveRefused) {
        outcome.messages.push_back({written.error(), "Cancel"});
    }
    // Any other failure keeps the record as it was, and the file holds its old tag.
}

bool NodeEditor::changeExtended(const CollectionItem& r, CollectionItem& c, const EditorFields& f, TagChange& change,
                                LeaveOutcome& outcome) const
{
    const std::string albumArtist = text::cutChars(text::trim(f.albumArtist), CollectionItem::TextLimit);
    if (albumArtist != r.AlbumArtist.str())
        change.albumArtist = albumArtist;
    const std::optional<TagChange::Number> track = TagChange::Number::parse(f.track);
    const std::optional<TagChange::Number> disc = TagChange::Number::parse(f.disc);
    if (!track || !disc) {
        outcome.messages.push_back({"The tag was not saved: a track or disc number is N or N/M.", "Cancel"});
        return false;
    }
    if (*track != trackOf(r))
        change.track = track;
    if (*disc != discOf(r))
        change.disc = disc;
    change.applyTo(c);
    return true;
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
