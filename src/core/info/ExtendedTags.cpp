#include "core/info/ExtendedTags.h"

#include <cstring>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfilestream.h>

namespace cantorel {

namespace {

std::string utf8(const TagLib::String& s) { return s.to8Bit(true); }

// Fills the fields of `into` that are still empty from `tag`.
void fillFrom(const TagLib::Tag& tag, TrackProbe::Tag& into)
{
    const auto fill = [](std::string& field, const TagLib::String& value) {
        if (field.empty())
            field = utf8(value.stripWhiteSpace());
    };
    fill(into.title, tag.title());
    fill(into.artist, tag.artist());
    fill(into.album, tag.album());
    if (into.year.empty() && tag.year() > 0)
        into.year = std::to_string(tag.year());
    fill(into.comment, tag.comment());
    if (into.genre == 255 && into.genreText.empty()) {
        // "(17)" references are names already; a name of the standard list gets its number.
        const TagLib::String genre = tag.genre().stripWhiteSpace();
        const int number = genre.isEmpty() ? 255 : TagLib::ID3v1::genreIndex(genre);
        if (number >= 0 && number < 255)
            into.genre = static_cast<std::uint8_t>(number);
        else
            into.genreText = utf8(genre);
    }
    if (into.track == 0)
        into.track = static_cast<int>(std::min<unsigned>(tag.track(), 1'000'000));
}

void setText(TagLib::ID3v2::Tag& tag, const char* id, const std::string& value, TagLib::String::Type encoding)
{
    tag.removeFrames(id);
    if (value.empty())
        return;
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, encoding);
    frame->setText(TagLib::String(value, TagLib::String::UTF8));
    tag.addFrame(frame);
}

void setComment(TagLib::ID3v2::Tag& tag, const std::string& value, TagLib::String::Type encoding)
{
    // Only the comment without a description is ours; others (iTunes data ...) stay.
    for (TagLib::ID3v2::Frame* frame : TagLib::ID3v2::FrameList(tag.frameList("COMM"))) {
        const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame);
        if (comment && comment->description().isEmpty())
            tag.removeFrame(frame);
    }
    if (value.empty())
        return;
    auto* frame = new TagLib::ID3v2::CommentsFrame(encoding);
    frame->setLanguage("eng");
    frame->setText(TagLib::String(value, TagLib::String::UTF8));
    tag.addFrame(frame);
}

bool holdsSomething(const TrackProbe::Tag& t)
{
    return !t.title.empty() || !t.artist.empty() || !t.album.empty() || !t.year.empty() || !t.comment.empty() ||
           t.genre != 255 || !t.genreText.empty() || t.track > 0;
}

} // namespace

std::optional<TrackProbe::Tag> ExtendedTags::read(std::string_view id3v2, std::string_view ape)
{
    TrackProbe::Tag tag;
    // A stream of the tag's bytes alone: TagLib finds the ID3v2 tag at its start and the
    // APE tag at its end, and reads no audio.
    TagLib::ByteVector bytes(id3v2.data(), static_cast<unsigned>(id3v2.size()));
    bytes.append(TagLib::ByteVector(ape.data(), static_cast<unsigned>(ape.size())));
    TagLib::ByteVectorStream stream(bytes);
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid())
        return std::nullopt;
    if (!id3v2.empty() && file.hasID3v2Tag())
        fillFrom(*file.ID3v2Tag(), tag);
    if (!ape.empty() && file.hasAPETag())
        fillFrom(*file.APETag(), tag);
    if (!holdsSomething(tag))
        return std::nullopt;
    return tag;
}

std::size_t ExtendedTags::apeTagSize(std::string_view end)
{
    if (end.size() < 32 || end.substr(end.size() - 32, 8) != "APETAGEX")
        return 0;
    const auto* footer = reinterpret_cast<const unsigned char*>(end.data() + end.size() - 32);
    const std::uint32_t size = footer[12] | (footer[13] << 8) | (footer[14] << 16) | (std::uint32_t(footer[15]) << 24);
    const std::uint32_t flags = footer[20] | (footer[21] << 8) | (footer[22] << 16) | (std::uint32_t(footer[23]) << 24);
    // The size counts the items and the footer; a header adds 32 more.
    const std::size_t whole = static_cast<std::size_t>(size) + ((flags & 0x80000000u) ? 32 : 0);
    return whole >= 32 ? whole : 0;
}

std::vector<std::string> ExtendedTags::standardGenres()
{
    std::vector<std::string> names;
    for (const TagLib::String& name : TagLib::ID3v1::genreList())
        names.push_back(utf8(name));
    return names;
}

std::optional<std::string> ExtendedTags::picture(const std::string& path)
{
    // Opened for reading only: showing a picture never touches the file.
    TagLib::FileStream stream(path.c_str(), true);
    if (!stream.isOpen())
        return std::nullopt;
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid() || !file.hasID3v2Tag())
        return std::nullopt;
    const TagLib::ID3v2::FrameList& frames = file.ID3v2Tag()->frameList("APIC");
    const TagLib::ID3v2::AttachedPictureFrame* chosen = nullptr;
    for (const TagLib::ID3v2::Frame* frame : frames) {
        const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (!picture || picture->picture().isEmpty())
            continue;
        if (picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover) {
            chosen = picture;
            break;
        }
        if (!chosen)
            chosen = picture;
    }
    if (!chosen)
        return std::nullopt;
    return std::string(chosen->picture().data(), chosen->picture().size());
}

Result<> ExtendedTags::write(const std::string& path, const TrackProbe::Tag& fields)
{
    TagLib::MPEG::File file(path.c_str(), false);
    if (!file.isValid() || file.readOnly())
        return fail("cannot open the copy for its ID3v2 tag");
    const bool existed = file.hasID3v2Tag();
    TagLib::ID3v2::Tag& tag = *file.ID3v2Tag(true);
    const bool v4 = !existed || tag.header()->majorVersion() == 4;
    const TagLib::String::Type encoding = v4 ? TagLib::String::UTF8 : TagLib::String::UTF16;
    setText(tag, "TIT2", fields.title, encoding);
    setText(tag, "TPE1", fields.artist, encoding);
    setText(tag, "TALB", fields.album, encoding);
    setText(tag, "TDRC", fields.year, encoding); // written as TYER in ID3v2.3
    setComment(tag, fields.comment, encoding);
    // A number without a standard name is written as a reference, "(n)".
    std::string genre = fields.genre != 255 ? utf8(TagLib::ID3v1::genre(fields.genre)) : fields.genreText;
    if (genre.empty() && fields.genre != 255)
        genre.append(1, '(').append(std::to_string(fields.genre)).append(1, ')');
    setText(tag, "TCON", genre, encoding);
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, v4 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3,
                   TagLib::File::DoNotDuplicate))
        return fail("cannot write the ID3v2 tag");
    return {};
}

} // namespace cantorel
