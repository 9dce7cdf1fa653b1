#include "core/info/ExtendedTags.h"

#include "core/info/ApeTag.h"
#include "core/info/Id3v2Tag.h"
#include "core/platform/ByteSource.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <taglib/id3v1genres.h>
#include <tuple>
#include <unistd.h>

namespace cantorel {

namespace {

// The frames of a field, in the order they are tried: ID3v2.3/2.4 ids, then ID3v2.2's.
struct FieldFrames {
    const char* ids[3];
};
constexpr FieldFrames Title{{"TIT2", "TT2", nullptr}};
constexpr FieldFrames Artist{{"TPE1", "TP1", nullptr}};
constexpr FieldFrames Album{{"TALB", "TAL", nullptr}};
constexpr FieldFrames Year{{"TDRC", "TYER", "TYE"}};
constexpr FieldFrames Comment{{"COMM", "COM", nullptr}};
constexpr FieldFrames Genre{{"TCON", "TCO", nullptr}};
constexpr FieldFrames TrackNumber{{"TRCK", "TRK", nullptr}};
constexpr FieldFrames AlbumArtist{{"TPE2", "TP2", nullptr}};
constexpr FieldFrames DiscNumber{{"TPOS", "TPA", nullptr}};
constexpr FieldFrames All[] = {Title, Artist, Album, Year, Comment, Genre, TrackNumber, AlbumArtist, DiscNumber};

std::string joined(const std::vector<std::string>& strings)
{
    std::string out;
    for (const std::string& s : strings) {
        if (!out.empty() && !s.empty())
            out += ' ';
        out += s;
    }
    return out;
}

std::vector<const Id3v2Frame*> framesOf(const Id3v2Tag& tag, const FieldFrames& field)
{
    std::vector<const Id3v2Frame*> found;
    for (const char* id : field.ids) {
        for (const Id3v2Frame& frame : tag.frames) {
            if (id && frame.id == id)
                found.push_back(&frame);
        }
    }
    return found;
}

// The text of the first frame of a field whose contents can be read.
std::vector<std::string> textOf(const Id3v2Tag& tag, const FieldFrames& field)
{
    for (const Id3v2Frame* frame : framesOf(tag, field)) {
        if (const std::optional<std::string> contents = frame->contents())
            return Id3v2Frame::texts(*contents);
    }
    return {};
}

int leadingNumber(std::string_view s)
{
    s = text::trim(s);
    int value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end != s.data() ? value : 0;
}

// "n" or "n/m": the number and the total (0 where there is none).
std::pair<int, int> numberAndTotal(std::string_view s)
{
    const std::size_t slash = s.find('/');
    const auto clamped = [](int n) { return std::clamp(n, 0, 1'000'000); };
    if (slash == std::string_view::npos)
        return {clamped(leadingNumber(s)), 0};
    return {clamped(leadingNumber(s.substr(0, slash))), clamped(leadingNumber(s.substr(slash + 1)))};
}

bool allDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The genre names of TCON's strings: "(17)" references and plain numbers stand for their
// standard names, "((" begins a text, each name once.
std::string genreText(const std::vector<std::string>& fields)
{
    std::vector<std::string> names;
    const auto add = [&names](std::string name) {
        name = text::trimmed(name);
        if (allDigits(name) && name.size() <= 3)
            name = ExtendedTags::genreName(std::stoi(name));
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    for (std::string_view field : fields) {
        while (field.starts_with('(') && !field.starts_with("((")) {
            const std::size_t close = field.find(')');
            if (close == std::string_view::npos)
                break;
            const std::string_view inside = field.substr(1, close - 1);
            add(inside == "RX" ? "Remix" : inside == "CR" ? "Cover" : std::string(inside));
            field.remove_prefix(close + 1);
        }
        if (field.starts_with("(("))
            field.remove_prefix(1);
        add(std::string(field));
    }
    return joined(names);
}

std::string commentOf(const Id3v2Tag& tag)
{
    std::optional<std::string> first;
    for (const Id3v2Frame* frame : framesOf(tag, Comment)) {
        const std::optional<std::string> contents = frame->contents();
        const auto comment = contents ? Id3v2Frame::comment(*contents) : std::nullopt;
        if (!comment)
            continue;
        if (comment->description.empty())
            return comment->text;
        if (!first)
            first = comment->text;
    }
    return first.value_or("");
}

// Fills the fields of `into` that are still empty.
void fillGaps(TrackProbe::Tag& into, const TrackProbe::Tag& from)
{
    for (auto [field, value] : {std::pair{&into.title, &from.title},
                                {&into.artist, &from.artist},
                                {&into.album, &from.album},
                                {&into.year, &from.year},
                                {&into.comment, &from.comment}}) {
        if (field->empty())
            *field = *value;
    }
    if (into.genre == 255 && into.genreText.empty()) {
        into.genre = from.genre;
        into.genreText = from.genreText;
    }
    if (into.track == 0) {
        into.track = from.track;
        into.trackTotal = from.trackTotal;
    }
    if (into.albumArtist.empty())
        into.albumArtist = from.albumArtist;
    if (into.disc == 0) {
        into.disc = from.disc;
        into.discTotal = from.discTotal;
    }
}

// A genre's name as a number when it is a standard one, else as a text.
void setGenre(TrackProbe::Tag& tag, const std::string& name)
{
    const int number = name.empty() ? -1 : ExtendedTags::genreNumber(name);
    if (number >= 0 && number < 255)
        tag.genre = static_cast<std::uint8_t>(number);
    else
        tag.genreText = name;
}

TrackProbe::Tag fieldsOfApe(const ApeTag& ape)
{
    TrackProbe::Tag tag;
    tag.title = text::trimmed(ape.text("Title"));
    tag.artist = text::trimmed(ape.text("Artist"));
    tag.album = text::trimmed(ape.text("Album"));
    if (const int year = leadingNumber(ape.text("Year")); year > 0)
        tag.year = std::to_string(year);
    tag.comment = text::trimmed(ape.text("Comment"));
    setGenre(tag, text::trimmed(ape.text("Genre")));
    std::tie(tag.track, tag.trackTotal) = numberAndTotal(ape.text("Track"));
    tag.albumArtist = text::trimmed(ape.text("Album Artist"));
    std::tie(tag.disc, tag.discTotal) = numberAndTotal(ape.text("Disc"));
    return tag;
}

bool holdsSomething(const TrackProbe::Tag& t)
{
    return !t.title.empty() || !t.artist.empty() || !t.album.empty() || !t.year.empty() || !t.comment.empty() ||
           t.genre != 255 || !t.genreText.empty() || t.track > 0 || !t.albumArtist.empty() || t.disc > 0;
}

} // namespace

bool ExtendedTags::fieldFrame(std::string_view id)
{
    return std::any_of(std::begin(All), std::end(All), [id](const FieldFrames& f) {
        return std::any_of(std::begin(f.ids), std::end(f.ids), [id](const char* each) { return each && id == each; });
    });
}

TrackProbe::Tag ExtendedTags::fieldsOf(const Id3v2Tag& tag)
{
    TrackProbe::Tag fields;
    fields.title = text::trimmed(joined(textOf(tag, Title)));
    fields.artist = text::trimmed(joined(textOf(tag, Artist)));
    fields.album = text::trimmed(joined(textOf(tag, Album)));
    const std::vector<std::string> year = textOf(tag, Year);
    if (const int value = year.empty() ? 0 : leadingNumber(year.front().substr(0, 4)); value > 0)
        fields.year = std::to_string(value);
    fields.comment = text::trimmed(commentOf(tag));
    setGenre(fields, genreText(textOf(tag, Genre)));
    if (const std::vector<std::string> track = textOf(tag, TrackNumber); !track.empty())
        std::tie(fields.track, fields.trackTotal) = numberAndTotal(track.front());
    fields.albumArtist = text::trimmed(joined(textOf(tag, AlbumArtist)));
    if (const std::vector<std::string> disc = textOf(tag, DiscNumber); !disc.empty())
        std::tie(fields.disc, fields.discTotal) = numberAndTotal(disc.front());
    return fields;
}

std::optional<TrackProbe::Tag> ExtendedTags::read(const ByteSource& file, std::int64_t apeFooterEnd)
{
    TrackProbe::Tag fields;
    if (const std::optional<Id3v2Tag> tag = Id3v2Tag::read(file, fieldFrame))
        fields = fieldsOf(*tag);
    if (apeFooterEnd >= 0) {
        if (const std::optional<ApeTag> ape = ApeTag::read(file, apeFooterEnd))
            fillGaps(fields, fieldsOfApe(*ape));
    }
    if (!holdsSomething(fields))
        return std::nullopt;
    return fields;
}

std::vector<std::string> ExtendedTags::standardGenres()
{
    std::vector<std::string> names;
    for (const TagLib::String& name : TagLib::ID3v1::genreList())
        names.push_back(name.to8Bit(true));
    return names;
}

int ExtendedTags::genreNumber(std::string_view name)
{
    static const std::vector<std::string> names = standardGenres();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (text::equalsFolded(names[i], name))
            return static_cast<int>(i);
    }
    return -1;
}

std::string ExtendedTags::genreName(int number)
{
    static const std::vector<std::string> names = standardGenres();
    return number >= 0 && number < static_cast<int>(names.size()) ? names[static_cast<std::size_t>(number)]
                                                                  : std::string();
}

Result<std::optional<std::string>> ExtendedTags::picture(const std::string& path)
{
    // Opened for reading only: showing a picture never touches the file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return std::optional<std::string>();
    }
    const FileSource file(fd, st.st_size);
    Id3v2Tag::Limits limits;
    limits.frameBytes = static_cast<std::size_t>(PictureCap);
    const std::optional<Id3v2Tag> tag = Id3v2Tag::read(
        file, [](std::string_view id) { return id == "APIC" || id == "PIC"; }, limits);
    ::close(fd);
    if (!tag)
        return std::optional<std::string>();
    std::optional<std::string> chosen;
    for (const Id3v2Frame& frame : tag->frames) {
        const std::optional<std::string> contents = frame.contents(static_cast<std::size_t>(PictureCap));
        const auto picture = contents ? Id3v2Frame::picture(*contents, frame.version) : std::nullopt;
        if (!picture || picture->data.empty())
            continue;
        if (picture->type == 3)
            return std::optional<std::string>(picture->data);
        if (!chosen)
            chosen = picture->data;
    }
    if (!chosen && tag->oversized)
        return fail("its tag's picture is larger than 32 MB");
    return chosen;
}

} // namespace cantorel
