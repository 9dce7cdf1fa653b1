#include "core/info/CodePageRepair.h"

#include "core/collection/DescriptionList.h"
#include "core/info/Id3v2Tag.h"
#include "core/info/TagBlock.h"
#include "core/info/TagWriter.h"
#include "core/platform/ByteSource.h"
#include "core/platform/FileSystem.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>
#include <unicode/unistr.h>
#include <unicode/uscript.h>
#include <unistd.h>

namespace cantorel {

namespace {

bool hasHighBytes(std::string_view bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

std::string trimmed(std::string_view bytes)
{
    while (!bytes.empty() && (bytes.back() == '\0' || bytes.back() == ' '))
        bytes.remove_suffix(1);
    return std::string(bytes);
}

// `bytes` read in code page `name`; nothing when a byte has no character there.
std::optional<std::string> decodeAs(std::string_view bytes, const std::string& name)
{
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name.c_str(), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    std::u16string text(bytes.size() * 2 + 2, u'\0');
    const int32_t length = ucnv_toUChars(converter, text.data(), static_cast<int32_t>(text.size()), bytes.data(),
                                         static_cast<int32_t>(bytes.size()), &status);
    ucnv_close(converter);
    if (U_FAILURE(status))
        return std::nullopt;
    std::string out;
    icu::UnicodeString(text.data(), length).toUTF8String(out);
    return out;
}

// The script class of a letter: the scripts of one writing system count as one.
int scriptClass(UChar32 c)
{
    UErrorCode status = U_ZERO_ERROR;
    const UScriptCode script = uscript_getScript(c, &status);
    switch (script) {
    case USCRIPT_HAN:
    case USCRIPT_HIRAGANA:
    case USCRIPT_KATAKANA:
    case USCRIPT_HANGUL:
    case USCRIPT_BOPOMOFO: return USCRIPT_HAN;
    default: return script;
    }
}

// How plausible `utf8` is as text: the share of its characters beyond ASCII that are
// letters of its main script, less what looks broken (controls, replacement characters,
// a small letter followed by a capital inside a word, Latin words made of accented
// letters alone). 1 for ASCII text.
double plausibility(const std::string& utf8)
{
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
    std::map<int, int> letters;
    int beyond = 0;
    double bad = 0;
    int wordLetters = 0, wordAccented = 0, wordScript = -1;
    bool lastLower = false, mixed = false;
    const auto endWord = [&] {
        if (wordLetters >= 3 && wordAccented * 10 >= wordLetters * 6)
            bad += wordAccented; // "Ïåñíÿ": Latin letters that were others
        if (mixed)
            bad += wordLetters; // "Pшнliљ": two scripts in one word
        wordLetters = wordAccented = 0;
        wordScript = -1;
        lastLower = mixed = false;
    };
    for (int32_t i = 0; i < text.length();) {
        const UChar32 c = text.char32At(i);
        i += U16_LENGTH(c);
        const bool letter = u_isalpha(c);
        if (c >= 0x80) {
            ++beyond;
            if (letter)
                ++letters[scriptClass(c)];
            else if (u_iscntrl(c) || c == 0xFFFD || u_charType(c) == U_PRIVATE_USE_CHAR)
                bad += 3;
        }
        if (!letter) {
            endWord();
            continue;
        }
        if (u_isupper(c) && lastLower)
            bad += 1; // "пЕСНЯ"
        lastLower = u_islower(c);
        ++wordLetters;
        const int script = c < 0x80 ? USCRIPT_LATIN : scriptClass(c);
        if (wordScript >= 0 && script != wordScript && script != USCRIPT_COMMON && script != USCRIPT_INHERITED)
            mixed = true;
        if (script != USCRIPT_COMMON && script != USCRIPT_INHERITED)
            wordScript = script;
        if (c >= 0x80 && scriptClass(c) == USCRIPT_LATIN)
            ++wordAccented;
    }
    endWord();
    if (beyond == 0)
        return 1.0;
    int main = 0;
    for (const auto& [script, count] : letters)
        main = std::max(main, count);
    return std::max(0.0, (main - bad) / beyond);
}

// ICU's detectors' confidence (0-100) in each code page they name, for `bytes`.
std::map<std::string, int> detected(const std::string& bytes)
{
    std::map<std::string, int> out;
    UErrorCode status = U_ZERO_ERROR;
    UCharsetDetector* detector = ucsdet_open(&status);
    if (U_FAILURE(status))
        return out;
    ucsdet_setText(detector, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    int32_t count = 0;
    const UCharsetMatch** matches = ucsdet_detectAll(detector, &count, &status);
    for (int32_t i = 0; U_SUCCESS(status) && i < count; ++i) {
        const char* name = ucsdet_getName(matches[i], &status);
        const int confidence = ucsdet_getConfidence(matches[i], &status);
        if (name && U_SUCCESS(status))
            out.emplace(name, confidence); // the best match of a name comes first
    }
    ucsdet_close(detector);
    return out;
}

// The raw fields of an ID3v1 block.
void blockFields(const std::string& path, const TagBlock::Bytes& block, const CodePage& page,
                 std::vector<RepairField>& out)
{
    const auto field = [&](const char* name, std::size_t at, std::size_t size) {
        const std::string raw = trimmed(std::string_view(reinterpret_cast<const char*>(block.data()) + at, size));
        if (hasHighBytes(raw))
            out.push_back({path, name, {}, raw, page.decode(raw), {}});
    };
    field("ID3v1 title", 3, 30);
    field("ID3v1 artist", 33, 30);
    field("ID3v1 album", 63, 30);
    field("ID3v1 comment", 97, block[125] == 0 && block[126] != 0 ? 28 : 30);
}

// The single bytes of a text frame held as ISO-8859-1, or as UTF-16 of characters below
// 256; nothing for any other.
std::optional<std::string> singleBytes(std::string_view contents)
{
    if (contents.empty())
        return std::nullopt;
    const auto encoding = static_cast<unsigned char>(contents[0]);
    std::string_view text = contents.substr(1);
    if (encoding == 0)
        return trimmed(text.substr(0, text.find('\0')));
    if (encoding != 1 && encoding != 2)
        return std::nullopt;
    bool big = encoding == 2;
    if (encoding == 1 && text.size() >= 2) {
        big = static_cast<unsigned char>(text[0]) == 0xFE;
        text.remove_prefix(2);
    }
    std::string out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        const auto hi = static_cast<unsigned char>(text[big ? i : i + 1]);
        const auto lo = static_cast<unsigned char>(text[big ? i + 1 : i]);
        if (hi == 0 && lo == 0)
            break;
        if (hi != 0)
            return std::nullopt; // real UTF-16 text
        out += static_cast<char>(lo);
    }
    return out;
}

// The frames' texts that may hold bytes of another code page.
void frameFields(const std::string& path, const ByteSource& source, std::vector<RepairField>& out)
{
    static const char* const Ids[] = {"TIT2", "TPE1", "TALB", "TPE2", "COMM"};
    const auto tag = Id3v2Tag::read(
        source, [](std::string_view id) { return std::find(std::begin(Ids), std::end(Ids), id) != std::end(Ids); });
    if (!tag || tag->version == 2)
        return;
    for (const char* id : Ids) {
        const Id3v2Frame* frame = tag->find(id);
        const std::optional<std::string> contents = frame ? frame->contents() : std::nullopt;
        if (!contents || contents->empty())
            continue;
        std::string body = *contents;
        if (std::string_view(id) == "COMM") {
            // Encoding, language, a description ended by a zero (two for UTF-16), the text.
            const bool wide = body[0] == 1 || body[0] == 2;
            std::size_t end = 4;
            while (end < body.size() &&
                   !(body[end] == 0 && (!wide || (end + 1 < body.size() && body[end + 1] == 0 && (end - 4) % 2 == 0))))
                ++end;
            if (end >= body.size())
                continue;
            body = body.substr(0, 1) + body.substr(end + (wide ? 2 : 1));
        }
        const std::optional<std::string> raw = singleBytes(body);
        if (raw && hasHighBytes(*raw))
            out.push_back({path, id, {}, *raw, decodeAs(*raw, "ISO-8859-1").value_or(*raw), {}});
    }
}

// The entries of a description file whose descriptions hold bytes beyond ASCII: the
// file's lines are "name description", the name quoted when it holds a blank.
void descriptionFields(const std::string& path, const CodePage& oem, std::vector<RepairField>& out)
{
    const std::optional<DescriptionList> list = DescriptionList::load(path, oem);
    if (!list || list->utf8())
        return;
    for (const DescriptionList::Line& entry : list->lines()) {
        const std::string_view line = entry.raw;
        std::size_t nameEnd = line.find(' ');
        if (!line.empty() && line[0] == '"')
            nameEnd = line.find('"', 1) == std::string_view::npos ? line.size() : line.find('"', 1) + 1;
        const std::size_t start =
            nameEnd == std::string_view::npos ? line.size() : line.find_first_not_of(' ', nameEnd);
        if (start == std::string_view::npos || start >= line.size() || !hasHighBytes(line.substr(start)))
            continue;
        const std::string description(line.substr(start));
        out.push_back(
            {path, "description", oem.decode(line.substr(0, nameEnd)), description, oem.decode(description), {}});
    }
}

} // namespace

const std::vector<std::string>& CodePageRepair::candidates()
{
    static const std::vector<std::string> pages{
        "windows-1251", "KOI8-R",       "IBM866",       "windows-1250", "ISO-8859-2",   "windows-1252",
        "IBM437",       "IBM850",       "Shift_JIS",    "GB18030",      "Big5",         "EUC-KR",
        "ISO-8859-7",   "windows-1253", "windows-1255", "windows-1256", "windows-1254", "windows-1257"};
    return pages;
}

std::vector<RepairField> CodePageRepair::suspects(const std::string& folder, const Settings& settings)
{
    std::vector<RepairField> out;
    std::vector<std::string> tracks;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file(error) && name.size() > 4 && text::foldAZ(name.substr(name.size() - 4)) == ".mp3")
            tracks.push_back(entry.path().string());
    }
    std::sort(tracks.begin(), tracks.end());
    for (const std::string& path : tracks) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(TagBlock::Size)) {
            if (fd >= 0)
                ::close(fd);
            continue;
        }
        const FileSource source(fd, st.st_size);
        if (settings.extended)
            frameFields(path, source, out);
        const std::string tail = source.read(st.st_size - static_cast<std::int64_t>(TagBlock::Size), TagBlock::Size);
        TagBlock::Bytes block{};
        if (tail.size() == TagBlock::Size) {
            std::copy(tail.begin(), tail.end(), block.begin());
            if (TagBlock::isTag(block))
                blockFields(path, block, settings.tagCodePage, out);
        }
        ::close(fd);
    }
    descriptionFields((std::filesystem::path(folder) / settings.descriptionFile).string(), settings.oem, out);
    return out;
}

std::optional<RepairProposal> CodePageRepair::propose(const std::string& folder, std::vector<RepairField> fields,
                                                      const std::string& forced)
{
    if (fields.empty())
        return std::nullopt;
    std::string joined, shown;
    for (const RepairField& f : fields) {
        joined += f.stored + '\n';
        shown += f.shown + '\n';
    }
    const std::map<std::string, int> confidence = detected(joined);
    const auto confidenceOf = [&](const std::string& page) {
        const auto found = confidence.find(page);
        return found == confidence.end() ? 0 : found->second;
    };
    // Every field read in `page`, and how good that reading is.
    const auto readIn = [&](const std::string& page) -> std::optional<double> {
        std::string all;
        for (RepairField& f : fields) {
            const std::optional<std::string> text = decodeAs(f.stored, page);
            if (!text)
                return std::nullopt;
            f.repaired = *text;
            all += *text + '\n';
        }
        return plausibility(all) * 100 + confidenceOf(page) * 0.3;
    };
    if (!forced.empty()) {
        if (!readIn(forced))
            return std::nullopt;
        return RepairProposal{folder, forced, 100, std::move(fields)};
    }
    // As shown now, the text is read in ISO-8859-1 or the configured pages.
    const double asShown =
        plausibility(shown) * 100 + std::max({confidenceOf("ISO-8859-1"), confidenceOf("windows-1252"), 0}) * 0.3;
    std::string best;
    double bestScore = -1;
    for (const std::string& page : candidates()) {
        const std::optional<double> score = readIn(page);
        if (score && *score > bestScore) {
            bestScore = *score;
            best = page;
        }
    }
    // A reading that is plausible, and clearly better than what is shown.
    if (best.empty() || bestScore < 80 || bestScore < asShown + 15)
        return std::nullopt;
    (void)readIn(best);
    const bool changes =
        std::any_of(fields.begin(), fields.end(), [](const RepairField& f) { return f.repaired != f.shown; });
    if (!changes)
        return std::nullopt;
    const int percent = static_cast<int>(std::lround(std::min(100.0, bestScore - 30 + confidenceOf(best) * 0.3)));
    return RepairProposal{folder, best, std::clamp(percent, 1, 100), std::move(fields)};
}

Result<int> CodePageRepair::apply(const RepairProposal& proposal, const Settings& settings, Journal* journal,
                                  const std::string& collection)
{
    // Each track's change: the repaired texts of its frames, else of its ID3v1 fields.
    std::map<std::string, TagChange> changes;
    std::string description;
    for (const RepairField& f : proposal.fields) {
        if (f.name == "description") {
            description = f.path;
            continue;
        }
        TagChange& c = changes[f.path];
        const bool frame = f.name.rfind("ID3v1", 0) != 0;
        const auto set = [&](std::optional<std::string>& field) {
            if (frame || !field)
                field = f.repaired;
        };
        if (f.name == "TIT2" || f.name == "ID3v1 title")
            set(c.title);
        else if (f.name == "TPE1" || f.name == "ID3v1 artist")
            set(c.artist);
        else if (f.name == "TALB" || f.name == "ID3v1 album")
            set(c.album);
        else if (f.name == "COMM" || f.name == "ID3v1 comment")
            set(c.comment);
        else if (f.name == "TPE2")
            c.albumArtist = f.repaired;
    }
    TagWriteOptions options(settings.tagCodePage);
    options.extended = settings.extended;
    std::vector<TagWriter::Plan> plans;
    std::vector<JournalEdit> edits;
    for (const auto& [path, change] : changes) {
        Result<TagWriter::Plan> plan = TagWriter::plan(path, change, options);
        if (!plan)
            return fail(path + ": " + plan.error());
        edits.insert(edits.end(), plan.value().edits.begin(), plan.value().edits.end());
        plans.push_back(std::move(plan.value()));
    }
    // The description file again, its repaired lines in UTF-8.
    std::optional<TagWriter::Plan> rewritten;
    if (!description.empty()) {
        const std::optional<std::string> bytes = fs::readFile(description);
        struct stat st {};
        if (!bytes || ::stat(description.c_str(), &st) != 0)
            return fail(description + ": cannot be read");
        std::string repaired;
        std::string_view rest = *bytes;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            const std::string_view line = rest.substr(0, end == std::string_view::npos ? rest.size() : end + 1);
            rest.remove_prefix(line.size());
            const std::optional<std::string> text =
                hasHighBytes(line) ? decodeAs(line, proposal.codePage) : std::string(line);
            if (!text)
                return fail(description + ": a line cannot be read in " + proposal.codePage);
            repaired += *text;
        }
        const JournalEdit edit{description, 0, *bytes, repaired};
        edits.push_back(edit);
        rewritten =
            TagWriter::Plan{description,
                            {edit},
                            fs::FileState{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec}};
    }
    if (edits.empty())
        return 0;
    std::optional<std::int64_t> save;
    if (journal) {
        const Result<std::int64_t> recorded = journal->record("repair", collection, edits);
        if (!recorded)
            return fail("nothing was repaired: the old bytes could not be kept first (" + recorded.error() + ")");
        save = recorded.value();
    }
    const std::string undo = save ? " (undo " + std::to_string(*save) + " puts back what was written)" : "";
    int written = 0;
    for (const TagWriter::Plan& plan : plans) {
        if (plan.edits.empty())
            continue;
        if (const Result<> done = TagWriter::write(plan); !done)
            return fail(done.error() + undo);
        ++written;
    }
    if (rewritten) {
        const JournalEdit& e = rewritten->edits.front();
        const Result<fs::FileState> done =
            fs::spliceFile(e.path, 0, static_cast<std::int64_t>(e.oldBytes.size()), e.newBytes, rewritten->before);
        if (!done)
            return fail("Unable to write " + e.path + ": " + done.error() + undo);
        ++written;
    }
    if (save)
        (void)journal->written(*save);
    return written;
}

} // namespace cantorel
