#include "core/info/TagWriter.h"

#include "core/collection/CollectionItem.h"
#include "core/collection/Journal.h"
#include "core/info/ExtendedTags.h"
#include "core/info/Id3v2Tag.h"
#include "core/info/TagBlock.h"
#include "core/platform/ByteSource.h"
#include "core/platform/CodePage.h"
#include "core/platform/FileSystem.h"
#include "core/platform/SafeFileWriter.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cantorel {

namespace {

// Room a new or grown tag is given, so that the next edits fit in place.
constexpr std::int64_t Padding = 2048;
// A tag is read whole before it is written: any size a real tag has, pictures included.
constexpr std::int64_t LargestTag = 64LL << 20;

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~ReadOnlyFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

struct TextField {
    const std::optional<std::string> TagChange::*value;
    TagBlock::Field block;
    const char* name;
};
constexpr TextField TextFields[] = {
    {&TagChange::title, TagBlock::Field::Title, "title"},       {&TagChange::artist, TagBlock::Field::Artist, "artist"},
    {&TagChange::album, TagBlock::Field::Album, "album"},       {&TagChange::year, TagBlock::Field::Year, "year"},
    {&TagChange::comment, TagBlock::Field::Comment, "comment"},
};

// Which changed texts the code page cannot hold, and their characters.
std::string unencodable(const TagChange& change, const CodePage& codePage)
{
    std::string message;
    for (const TextField& f : TextFields) {
        const std::optional<std::string>& value = change.*f.value;
        if (!value)
            continue;
        if (const std::string missing = codePage.unencodable(*value); !missing.empty())
            message += std::string(message.empty() ? "" : "; ") + "the " + f.name + " holds " + missing;
    }
    return message;
}

// The genre as the ID3v1 block has it: a number of the standard list, else none.
std::uint8_t blockGenre(const TagChange::Genre& genre)
{
    if (genre.number != 255)
        return genre.number;
    const int number = ExtendedTags::genreNumber(genre.text);
    return number >= 0 && number < 255 ? static_cast<std::uint8_t>(number) : 255;
}

// The genre as an ID3v2 tag has it: a name, "(n)" for a number without one.
std::string frameGenre(const TagChange::Genre& genre)
{
    if (genre.number == 255)
        return genre.text;
    const std::string name = ExtendedTags::genreName(genre.number);
    return name.empty() ? "(" + std::to_string(genre.number) + ")" : name;
}

// Sets the text of the first frame of `id` (the others of that id go), or adds one at the
// end; an empty value takes them all away.
void setText(Id3v2Tag& tag, const std::string& id, const std::string& value)
{
    const auto same = [&id](const Id3v2Frame& f) { return f.id == id; };
    const auto first = std::find_if(tag.frames.begin(), tag.frames.end(), same);
    if (value.empty() || first == tag.frames.end()) {
        std::erase_if(tag.frames, same);
        if (!value.empty())
            tag.frames.push_back(Id3v2Frame::text(id, value, tag.version));
        return;
    }
    *first = Id3v2Frame::text(id, value, tag.version);
    tag.frames.erase(std::remove_if(first + 1, tag.frames.end(), same), tag.frames.end());
}

// The comment without a description is ours; comments with one (other programs' data) stay.
void setComment(Id3v2Tag& tag, const std::string& value)
{
    const auto ours = [](const Id3v2Frame& f) {
        if (f.id != "COMM")
            return false;
        const std::optional<std::string> contents = f.contents();
        const auto comment = contents ? Id3v2Frame::comment(*contents) : std::nullopt;
        return comment && comment->description.empty();
    };
    const auto first = std::find_if(tag.frames.begin(), tag.frames.end(), ours);
    std::string language = "eng";
    if (first != tag.frames.end()) {
        const std::optional<std::string> contents = first->contents();
        if (const auto comment = contents ? Id3v2Frame::comment(*contents) : std::nullopt;
            comment && comment->language.size() == 3)
            language = comment->language;
    }
    if (value.empty() || first == tag.frames.end()) {
        std::erase_if(tag.frames, ours);
        if (!value.empty())
            tag.frames.push_back(Id3v2Frame::comment(language, value, tag.version));
        return;
    }
    *first = Id3v2Frame::comment(language, value, tag.version);
    tag.frames.erase(std::remove_if(first + 1, tag.frames.end(), ours), tag.frames.end());
}

void applyToFrames(Id3v2Tag& tag, const TagChange& change)
{
    if (change.title)
        setText(tag, "TIT2", *change.title);
    if (change.artist)
        setText(tag, "TPE1", *change.artist);
    if (change.album)
        setText(tag, "TALB", *change.album);
    if (change.year) {
        // The year's frame of the tag's version; the other version's goes with the old value.
        setText(tag, tag.version == 4 ? "TDRC" : "TYER", *change.year);
        setText(tag, tag.version == 4 ? "TYER" : "TDRC", "");
    }
    if (change.comment)
        setComment(tag, *change.comment);
    if (change.genre)
        setText(tag, "TCON", frameGenre(*change.genre));
    if (change.albumArtist)
        setText(tag, "TPE2", *change.albumArtist);
    if (change.track)
        setText(tag, "TRCK", change.track->text());
    if (change.disc)
        setText(tag, "TPOS", change.disc->text());
    if (change.cover) {
        // The new front cover takes the place of the pictures; no cover takes them away.
        const auto picture = [](const Id3v2Frame& f) { return f.id == "APIC"; };
        const auto first = std::find_if(tag.frames.begin(), tag.frames.end(), picture);
        const auto at = first - tag.frames.begin();
        std::erase_if(tag.frames, picture);
        if (!change.cover->bytes.empty())
            tag.frames.insert(tag.frames.begin() + std::min<std::ptrdiff_t>(at, std::ssize(tag.frames)),
                              Id3v2Frame::picture({3, change.cover->mimeType, change.cover->bytes}, tag.version));
    }
}

// An ID3v2.4 tag that holds what the ID3v1 block holds, and then the change.
Id3v2Tag newTag(const std::optional<TagBlock::Fields>& v1, const TagChange& change)
{
    Id3v2Tag tag;
    tag.version = 4;
    TagChange all;
    if (v1) {
        all.title = v1->title;
        all.artist = v1->artist;
        all.album = v1->album;
        all.year = v1->year;
        all.comment = v1->comment;
        if (v1->genre != 255)
            all.genre = TagChange::Genre{v1->genre, {}};
    }
    applyToFrames(tag, all);
    applyToFrames(tag, change);
    return tag;
}

// The ID3v1 block after the change: each new value its code page holds, and a field
// cleared whose new value it cannot hold.
TagBlock::Bytes changedBlock(TagBlock::Bytes block, const TagChange& change, const CodePage& codePage)
{
    for (const TextField& f : TextFields) {
        const std::optional<std::string>& value = change.*f.value;
        if (value)
            TagBlock::set(block, f.block, codePage.canEncode(*value) ? *value : std::string(), codePage);
    }
    if (change.genre)
        TagBlock::setGenre(block, blockGenre(*change.genre));
    if (change.track)
        TagBlock::setTrack(block, change.track->number);
    return block;
}

} // namespace

bool TagChange::empty() const
{
    return !title && !artist && !album && !year && !comment && !genre && !albumArtist && !track && !disc && !cover;
}

bool TagChange::needsFrames() const
{
    return (albumArtist && !albumArtist->empty()) || (disc && disc->number > 0) || (cover && !cover->bytes.empty()) ||
           (track && (track->total > 0 || track->number > 255));
}

std::optional<TagChange::Number> TagChange::Number::parse(std::string_view text)
{
    text = text::trim(text);
    if (text.empty())
        return Number{};
    const auto number = [](std::string_view s) -> std::optional<int> {
        int value = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
        if (ec != std::errc() || end != s.data() + s.size() || value < 1 || value > 999'999)
            return std::nullopt;
        return value;
    };
    const std::size_t slash = text.find('/');
    const std::optional<int> n = number(text.substr(0, slash));
    const std::optional<int> total =
        slash == std::string_view::npos ? std::optional<int>(0) : number(text.substr(slash + 1));
    if (!n || !total)
        return std::nullopt;
    return Number{*n, *total};
}

std::string TagChange::Number::text() const
{
    if (number == 0)
        return {};
    return std::to_string(number) + (total > 0 ? "/" + std::to_string(total) : std::string());
}

Result<TagChange::Cover> TagChange::Cover::fromFile(const std::string& path)
{
    if (fs::kindOf(path) != fs::PathKind::RegularFile)
        return fail(path + " is not a file");
    const std::optional<std::int64_t> size = fs::fileSize(path);
    if (size && *size > ExtendedTags::PictureCap)
        return fail(path + " is larger than 32 MB");
    const std::optional<std::string> bytes = fs::readFile(path);
    if (!bytes)
        return fail(path + " cannot be read");
    Cover cover{mimeTypeOf(*bytes), *bytes};
    if (cover.mimeType.empty())
        return fail(path + " is not a JPEG, PNG, GIF, BMP or WebP picture");
    return cover;
}

std::string TagChange::Cover::mimeTypeOf(std::string_view bytes)
{
    if (bytes.starts_with("\xFF\xD8\xFF"))
        return "image/jpeg";
    if (bytes.starts_with("\x89PNG\r\n\x1A\n"))
        return "image/png";
    if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a"))
        return "image/gif";
    if (bytes.starts_with("BM"))
        return "image/bmp";
    if (bytes.size() >= 12 && bytes.starts_with("RIFF") && bytes.substr(8, 4) == "WEBP")
        return "image/webp";
    return {};
}

TagChange TagChange::allOf(const CollectionItem& item)
{
    TagChange change;
    change.title = item.Name.str();
    change.artist = item.Artist.str();
    change.album = item.Album.str();
    change.year = item.Year.str();
    change.comment = item.Comment.str();
    change.genre =
        Genre{static_cast<std::uint8_t>(item.Genre), item.Genre == 255 ? item.GenreText.str() : std::string()};
    return change;
}

void TagChange::applyTo(CollectionItem& item) const
{
    const auto cut = [](const std::string& value) { return text::cutChars(value, CollectionItem::TextLimit); };
    if (title)
        item.Name = cut(*title);
    if (artist)
        item.Artist = cut(*artist);
    if (album)
        item.Album = cut(*album);
    if (year)
        item.Year = cut(*year);
    if (comment)
        item.Comment = cut(*comment);
    if (genre) {
        item.Genre = genre->number;
        item.GenreText = genre->number == 255 ? cut(genre->text) : std::string();
    }
    if (albumArtist)
        item.AlbumArtist = cut(*albumArtist);
    if (track) {
        item.Track = track->number;
        item.TrackTotal = track->number > 0 ? track->total : 0;
    }
    if (disc) {
        item.Disc = disc->number;
        item.DiscTotal = disc->number > 0 ? disc->total : 0;
    }
}

Result<TagWriter::Plan> TagWriter::plan(const std::string& path, const TagChange& change, const TagWriteOptions& o)
{
    if (o.isActiveTrack && o.isActiveTrack(path))
        return fail("Unable to edit active track tag. ", ActiveTrackRefused);
    const std::string notEncodable = unencodable(change, o.tagCodePage);
    if (!o.extended && !notEncodable.empty())
        return fail("The tag was not saved: its code page " + std::to_string(o.tagCodePage.number()) +
                        " cannot hold these characters (" + notEncodable + ").",
                    TagTextUnencodable);
    const Failure failed = fail("Unable to write the tag of " + path);
    const auto refused = [&path](const std::string& why) {
        return fail("The tag of " + path + " was not saved: " + why + ".", TagSaveRefused);
    };

    ReadOnlyFile file(path);
    struct stat st {};
    if (file.fd() < 0 || ::fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size < static_cast<off_t>(TagBlock::Size))
        return failed;
    const FileSource source(file.fd(), st.st_size);
    const std::string tail = source.read(st.st_size - static_cast<std::int64_t>(TagBlock::Size), TagBlock::Size);
    if (tail.size() != TagBlock::Size)
        return failed;
    TagBlock::Bytes old{};
    std::copy(tail.begin(), tail.end(), old.begin());
    const bool hasBlock = TagBlock::isTag(old);

    std::vector<JournalEdit> edits;
    std::int64_t tagGrowth = 0;
    bool rewrite = false;
    const std::optional<TagBlock::Fields> v1 =
        hasBlock ? std::optional<TagBlock::Fields>(TagBlock::parse(old, o.tagCodePage)) : std::nullopt;
    if (!o.extended) {
        // The block as the record gives it: every field of the change over what it holds.
        TagBlock::Fields fields = v1.value_or(TagBlock::Fields{});
        CollectionItem record;
        record.Name = fields.title;
        record.Artist = fields.artist;
        record.Album = fields.album;
        record.Year = fields.year;
        record.Comment = fields.comment;
        record.Genre = fields.genre;
        change.applyTo(record);
        fields.title = record.Name;
        fields.artist = record.Artist;
        fields.album = record.Album;
        fields.year = record.Year;
        fields.comment = record.Comment;
        fields.genre = record.Genre;
        fields.genreText.clear();
        fields.track = 0;
        const TagBlock::Bytes block = TagBlock::render(fields, o.tagCodePage, hasBlock ? &old : nullptr);
        edits.push_back({path, hasBlock ? st.st_size - static_cast<std::int64_t>(TagBlock::Size) : st.st_size,
                         hasBlock ? tail : std::string(), std::string(block.begin(), block.end())});
    } else {
        Id3v2Tag::Limits limits;
        limits.frames = 1 << 20;
        limits.frameBytes = static_cast<std::size_t>(LargestTag);
        limits.tagBytes = LargestTag;
        const std::optional<Id3v2Tag> tag = Id3v2Tag::read(
            source, [](std::string_view) { return true; }, limits);
        if (tag && (!tag->complete || tag->oversized))
            return refused("its ID3v2 tag cannot be read whole, and writing it could lose some of it");
        if (tag && tag->version == 2)
            return refused("its tag is an ID3v2.2 tag, which cannot be written (another tagger can make it ID3v2.4)");
        if (tag || !notEncodable.empty() || change.needsFrames()) {
            Id3v2Tag changed = tag ? *tag : newTag(v1, change);
            if (tag)
                applyToFrames(changed, change);
            const std::int64_t oldSize = tag ? tag->size : 0;
            std::string rendered = changed.render(oldSize);
            if (static_cast<std::int64_t>(rendered.size()) != oldSize)
                rendered = changed.render(static_cast<std::int64_t>(rendered.size()) + Padding);
            rewrite = static_cast<std::int64_t>(rendered.size()) != oldSize;
            tagGrowth = static_cast<std::int64_t>(rendered.size()) - oldSize;
            edits.push_back({path, 0, source.read(0, static_cast<std::size_t>(oldSize)), std::move(rendered)});
        }
        // The block: changed where there is one; added only to a file whose save has no
        // ID3v2 tag to go into.
        if (hasBlock || edits.empty()) {
            const TagBlock::Bytes block = changedBlock(hasBlock ? old : TagBlock::blank(), change, o.tagCodePage);
            const std::int64_t end = st.st_size + tagGrowth;
            edits.push_back({path, hasBlock ? end - static_cast<std::int64_t>(TagBlock::Size) : end,
                             hasBlock ? tail : std::string(), std::string(block.begin(), block.end())});
        }
    }
    std::erase_if(edits, [](const JournalEdit& e) { return e.oldBytes == e.newBytes; });
    const fs::FileState before{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    if (edits.empty())
        return Plan{path, {}, before};
    // A file that is rewritten, or read-only, is replaced by a copy.
    if (rewrite || ::access(path.c_str(), W_OK) != 0) {
        if (const Result<> keeps = fs::checkCopyKeepsFile(st); !keeps)
            return refused(keeps.error());
    }
    return Plan{path, std::move(edits), before};
}

Result<> TagWriter::write(const Plan& plan)
{
    std::optional<fs::FileState> expected = plan.before;
    for (const JournalEdit& e : plan.edits) {
        const Result<fs::FileState> written =
            fs::spliceFile(plan.path, e.offset, static_cast<std::int64_t>(e.oldBytes.size()), e.newBytes, expected);
        if (!written)
            return fail("Unable to write the tag of " + plan.path + ": " + written.error());
        expected = written.value();
    }
    return {};
}

Result<> TagWriter::save(const std::string& path, const TagChange& change, const TagWriteOptions& o)
{
    const Result<Plan> planned = plan(path, change, o);
    if (!planned)
        return planned.failure();
    if (planned.value().edits.empty())
        return {};
    std::optional<std::int64_t> save;
    if (o.journal) {
        const Result<std::int64_t> recorded = o.journal->record("tag", o.collection, planned.value().edits);
        if (!recorded)
            return fail("The tag of " + path + " was not saved: its old bytes could not be kept first (" +
                            recorded.error() + ").",
                        TagSaveRefused);
        save = recorded.value();
    }
    if (const Result<> written = write(planned.value()); !written)
        return written;
    if (save)
        (void)o.journal->written(*save); // the save is done; an unreadable journal only loses its undo
    return {};
}

} // namespace cantorel
