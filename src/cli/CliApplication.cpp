#include "cli/CliApplication.h"

#include "core/collection/Journal.h"
#include "core/collection/SearchIndex.h"
#include "core/info/CodePageRepair.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"
#include "core/platform/FileSystem.h"
#include "core/platform/Paths.h"
#include "core/platform/SafeFileWriter.h"
#include "core/platform/TextRules.h"
#include "core/player/PlaybackController.h"
#include "core/player/TMPEGError.h"

#include "decoder/mpeg.h"

#include "cli/JsonWriter.h"
#include "cli/RecordOutput.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace cantorel::cli {

namespace {

constexpr const char* HelpText =
    R"(Usage: cantorel-cli [--config FILE] [--root FOLDER] [--json] COMMAND [ARGS]

Runs the Cantorel core without a window.

Options:
  --config FILE   read this configuration file (default: the first of cantorel.ini beside
                  the program, $XDG_CONFIG_HOME/cantorel/cantorel.ini and each
                  $XDG_CONFIG_DIRS/cantorel/cantorel.ini); its directory stands for the
                  program's directory
  --root FOLDER   the music folder of this run, whatever the configuration says
  --json          print one JSON document instead of text
  --no-cache      read every track, neither using nor updating the probe cache

Commands:
  config          print the settings, the interface strings and the genre table
  tree            build the collection tree as the window does at start-up and print
                  the node table in tree order
  page INDEX      the description page of node INDEX of the node table
  picture INDEX --out FILE
                  write the picture that the picture page of node INDEX shows (exit 1
                  when it shows none); FILE is new or a regular file outside the
                  collection
  probe FILE...   read each track as the scan does: header, size, playing time, tag
  tag FILE [--title T] [--artist A] [--album B] [--year Y] [--comment C] [--genre G]
          [--track N[/M]] [--disc N[/M]] [--album-artist A] [--cover IMAGE | --no-cover]
                  write the given fields into the track's tags, as the window's editor
                  does (the others keep what the file holds); G is a number, a genre
                  name, or any text (ID3v2 only); "" takes a field away; track, disc,
                  album artist and cover need ReadID3v2 = yes; at least one field
  search TEXT     the nodes whose name, file name, title, artist, album, album artist,
                  comment or description hold every word of TEXT, ignoring case and
                  accents (and, with SearchLatin = yes, by their Latin spelling); prints
                  "<index> <caption> <path>" (tab-separated) per node; exit 1 for none
  repair PATH [--recursive] [--from CODEPAGE] [--dry-run]
                  find the texts of a folder's tags and description file that were
                  written in another code page than they are read in (one proposal a
                  folder, with its confidence), print them as shown and as repaired, and
                  without --dry-run write them (ID3v2 frames in UTF-8, the description
                  file in UTF-8; one save in the journal a folder); --from CODEPAGE
                  (1251, 866, KOI8-R, Shift_JIS ...) repairs from that page; exit 1 when
                  a folder could not be repaired
  undo [N]        list the last saves of tags and description files, newest first;
                  with N, put back what save N replaced, when its files are still as it
                  left them (an undo is a save too: undoing it again redoes)
  describe PATH [TEXT]
                  save the description of a file or directory in its directory's
                  description file; without TEXT the description is cleared
  play FILE... [--out OUTFILE] [--start MS] [--end MS]
                  play tracks one after another without a gap, as the player panel
                  does, through the decoder library to the sound output, or to OUTFILE
                  (WAV when it ends in ".wav", else raw 16-bit PCM; the tracks must share
                  one format; on a failure only a file this run made is removed);
                  --start and --end apply to the first track; prints "<position>
                  <length>" in ms at each
                  report and "end" at the end. Lines on standard input steer it as the
                  panel's buttons do: "next", "previous", "pause", "play"
  version, --version
                  print the version
  --help, -h      print this text

Exit status: 0 on success, 1 when a command fails, 2 on a configuration or usage error.
)";

const char* codePageName(bool oem) { return oem ? "oem" : "ansi"; }

std::string fullPath(const std::string& arg) { return paths::expand(fs::currentDirectory(), arg); }

// Fails, with the system's reason, when a track does not open as a regular file.
Result<> checkInput(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(std::strerror(errno));
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular ? Result<>() : fail("not a regular file");
}

// What the command-line player prints: each position report and the end of play.
class PrintingListener : public PlaybackListener {
public:
    explicit PrintingListener(std::ostream& out) : out_(out) {}
    void positionChanged(std::int32_t positionMs, std::int32_t lengthMs) override
    {
        out_ << positionMs << ' ' << lengthMs << std::endl;
    }
    void playbackFinished() override
    {
        finished = true;
        out_ << "end" << std::endl;
    }
    void playbackFailed(const Failure& why) override { failure = why; }
    bool finished = false;
    std::optional<Failure> failure;

private:
    std::ostream& out_;
};

} // namespace

std::optional<std::uint8_t> CliApplication::genreOf(const std::string& value) const
{
    char* end = nullptr;
    const long number = std::strtol(value.c_str(), &end, 10);
    if (!value.empty() && *end == '\0' && number >= 0 && number <= 255)
        return static_cast<std::uint8_t>(number);
    for (const GenreEntry& g : session_->configuration().GenreTable) {
        if (text::foldAZ(g.GenreName) == text::foldAZ(value))
            return g.Number;
    }
    return std::nullopt;
}

CliApplication::CliApplication(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

std::vector<CliApplication::Command> CliApplication::commands()
{
    return {
        {"config", true, [this](const auto&) { return printConfiguration(); }},
        {"tree", true, [this](const auto&) { return tree(); }},
        {"page", true, [this](const auto& a) { return page(a); }},
        {"picture", true, [this](const auto& a) { return picture(a); }},
        {"probe", true, [this](const auto& a) { return probe(a); }},
        {"tag", true, [this](const auto& a) { return tag(a); }},
        {"describe", true, [this](const auto& a) { return describe(a); }},
        {"undo", true, [this](const auto& a) { return undo(a); }},
        {"search", true, [this](const auto& a) { return search(a); }},
        {"repair", true, [this](const auto& a) { return repair(a); }},
        {"play", false, [this](const auto& a) { return play(a); }},
        {"version", false, [this](const auto&) { return printVersion(); }},
        {"--help", false, [this](const auto&) { return printHelp(); }},
        {"help", false, [this](const auto&) { return printHelp(); }},
    };
}

int CliApplication::usageError(const std::string& message)
{
    err_ << "cantorel-cli: " << message << "\nTry 'cantorel-cli --help'.\n";
    return 2;
}

void CliApplication::emit(const JsonWriter& json) { out_ << json.text(); }

int CliApplication::run(const std::vector<std::string>& args)
{
    // Global options may stand before or after the command.
    std::string configFile;
    SessionOptions options;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json_ = true;
        } else if (args[i] == "--no-cache") {
            options.probeCache = false;
        } else if (args[i] == "--config") {
            if (++i >= args.size())
                return usageError("--config needs a file name");
            configFile = args[i];
        } else if (args[i] == "--root") {
            if (++i >= args.size())
                return usageError("--root needs a folder");
            options.musicFolder = args[i];
        } else if (args[i] == "-h" || args[i] == "--version") {
            words.push_back(args[i] == "-h" ? "--help" : "version");
        } else {
            words.push_back(args[i]);
        }
    }
    if (words.empty())
        return usageError("no command given");
    const std::string name = words.front();
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    for (const Command& command : commands()) {
        if (name != command.name)
            continue;
        if (const Result<> usable = Session::checkOptions(options); !usable)
            return usageError(usable.error());
        // A command without a configuration runs with the defaults.
        Configuration configuration = Configuration::defaults(fs::programDirectory());
        if (command.needsConfiguration) {
            // The companion's own file beside it is cantorel.ini, the window program's name.
            const Result<> loaded =
                LoadRunConfiguration(configuration, configFile, fs::programDirectory() + "cantorel.ini");
            if (!loaded) {
                err_ << loaded.error() << '\n';
                return 2;
            }
        }
        session_ = std::make_unique<Session>(std::move(configuration), std::move(options));
        return command.run(rest);
    }
    return usageError("unknown command '" + name + "'");
}

int CliApplication::printHelp()
{
    out_ << HelpText;
    return 0;
}

int CliApplication::printVersion()
{
    if (json_) {
        JsonWriter json;
        json.beginObject();
        json.key("version");
        json.value(Session::version());
        json.endObject();
        emit(json);
    } else {
        out_ << "cantorel-cli " << Session::version() << '\n';
    }
    return 0;
}

int CliApplication::printConfiguration()
{
    const Configuration& config = session_->configuration();
    const SettingsRecord& s = config.Settings;
    const std::pair<const char*, std::string> texts[] = {
        {"WindowTitle", s.WindowTitle},
        {"Icon", shown(s.Icon)},
        {"MP3RootName", s.MP3RootName},
        {"MP3RootDir", shown(s.MP3RootDir)},
        {"FilesBBS", shown(s.FilesBBS)},
        {"DirInfoTXT", shown(s.DirInfoTXT)},
        {"DirInfoRTF", shown(s.DirInfoRTF)},
        {"DirInfoBMP", shown(s.DirInfoBMP)},
        {"TXTCodePage", codePageName(s.TXTCodePage)},
        {"TAGCodePage", codePageName(s.TAGCodePage)},
    };
    if (!json_) {
        for (const auto& [key, value] : texts)
            out_ << key << " = " << value << '\n';
        out_ << "AllowEdit = " << (s.AllowEdit ? "yes" : "no") << '\n';
        out_ << "ComposeDescriptions = " << (s.ComposeDescriptions ? "yes" : "no") << '\n';
        out_ << "SearchLatin = " << (s.SearchLatin ? "yes" : "no") << '\n';
        out_ << "InstantStart = " << (s.InstantStart ? "yes" : "no") << "\nSweepMinutes = " << s.SweepMinutes << '\n';
        out_ << "ReadID3v2 = " << (s.ReadID3v2 ? "yes" : "no") << '\n';
        out_ << "ReplayGain = " << s.ReplayGain << "\nReplayGainPreamp = " << s.ReplayGainPreamp << '\n';
        out_ << "OEMCodePage = " << s.OEMCodePage << "\nANSICodePage = " << s.ANSICodePage << '\n';
        for (int n = 1; n <= UIStringCount; ++n)
            out_ << "String" << n << " = " << config.GetUIString(n) << '\n';
        for (const GenreEntry& g : config.GenreTable)
            out_ << "Genre " << int(g.Number) << " = " << g.GenreName << '\n';
        return 0;
    }
    JsonWriter json;
    json.beginObject();
    json.key("Settings");
    json.beginObject();
    for (const auto& [key, value] : texts) {
        json.key(key);
        json.value(value);
    }
    json.key("AllowEdit");
    json.value(s.AllowEdit);
    json.key("ComposeDescriptions");
    json.value(s.ComposeDescriptions);
    json.key("SearchLatin");
    json.value(s.SearchLatin);
    json.key("InstantStart");
    json.value(s.InstantStart);
    json.key("SweepMinutes");
    json.value(s.SweepMinutes);
    json.key("ReadID3v2");
    json.value(s.ReadID3v2);
    json.key("ReplayGain");
    json.value(s.ReplayGain);
    json.key("ReplayGainPreamp");
    json.value(s.ReplayGainPreamp);
    json.key("OEMCodePage");
    json.value(s.OEMCodePage);
    json.key("ANSICodePage");
    json.value(s.ANSICodePage);
    json.endObject();
    json.key("UIStrings");
    json.beginArray();
    for (int n = 1; n <= UIStringCount; ++n)
        json.value(config.GetUIString(n));
    json.endArray();
    json.key("Genres");
    json.beginArray();
    for (const GenreEntry& g : config.GenreTable) {
        json.beginObject();
        json.key("Number");
        json.value(int(g.Number));
        json.key("GenreName");
        json.value(g.GenreName);
        json.endObject();
    }
    json.endArray();
    json.endObject();
    emit(json);
    return 0;
}

int CliApplication::tree()
{
    build();
    const CollectionTree& tree = session_->tree();
    std::unordered_map<const CollectionItem*, int> recordIds;
    JsonWriter json;
    json.beginArray();
    for (int index = 0; index < tree.NodeCount(); ++index) {
        const NodeId node = tree.Nodes[static_cast<std::size_t>(index)];
        int depth = 0;
        for (NodeId up = tree.parent(node); up != NoNode; up = tree.parent(up))
            ++depth;
        const CollectionItem* record = tree.record(node);
        const int recordId = recordIds.try_emplace(record, static_cast<int>(recordIds.size())).first->second;
        if (!json_) {
            out_ << std::string(static_cast<std::size_t>(depth) * 2, ' ') << '[' << int(tree.kind(node)) << "] "
                 << tree.caption(node).view() << '\n';
            continue;
        }
        json.beginObject();
        json.key("index");
        json.value(index);
        json.key("depth");
        json.value(depth);
        json.key("kind");
        json.value(int(tree.kind(node)));
        json.key("text");
        json.value(tree.caption(node));
        json.key("record_id");
        json.value(recordId);
        json.key("record");
        writeRecord(json, *record, session_->settings().ansi());
        json.endObject();
    }
    json.endArray();
    if (json_)
        emit(json);
    return 0;
}

int CliApplication::search(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return usageError("search takes one TEXT (quote several words)");
    const std::vector<std::string> words = session_->searchIndex().words(args[0]);
    if (words.empty())
        return usageError("search needs something to find");
    build();
    const CollectionTree& tree = session_->tree();
    const SearchHits hits = session_->searchIndex().search(words);
    std::unordered_map<NodeId, int> indexOf;
    for (int index = 0; index < tree.NodeCount(); ++index)
        indexOf.emplace(tree.Nodes[static_cast<std::size_t>(index)], index);
    JsonWriter json;
    json.beginArray();
    for (const NodeId node : hits.matches) {
        const CollectionItem* record = tree.record(node);
        const std::string path = record ? displayPath(record->Path, session_->settings().ansi()) : std::string();
        if (!json_) {
            out_ << indexOf[node] << '\t' << tree.caption(node).view() << '\t' << path << '\n';
            continue;
        }
        json.beginObject();
        json.key("index");
        json.value(indexOf[node]);
        json.key("kind");
        json.value(int(tree.kind(node)));
        json.key("text");
        json.value(tree.caption(node));
        json.key("path");
        json.value(path);
        json.endObject();
    }
    json.endArray();
    if (json_)
        emit(json);
    if (hits.matches.empty())
        err_ << "cantorel-cli: no match for " << args[0] << '\n';
    return hits.matches.empty() ? 1 : 0;
}

Result<> CliApplication::checkPictureOutput(const std::string& out) const
{
    struct stat st {};
    if (::lstat(out.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return fail(std::strerror(errno));
    } else if (S_ISLNK(st.st_mode)) {
        return fail("it is a link");
    } else if (!S_ISREG(st.st_mode)) {
        return fail("it is not a regular file");
    }
    // A file inside the music folder is one of the collection's.
    const std::string root = fs::realPath(session_->musicFolder());
    const std::string folder = fs::realPath(paths::directoryOf(out));
    if (!root.empty() && !folder.empty() &&
        paths::withTrailingSlash(folder).starts_with(paths::withTrailingSlash(root)))
        return fail("it is a file of the collection");
    return {};
}

void CliApplication::build()
{
    session_->build();
    for (const std::string& notice : session_->takeNotices())
        err_ << "cantorel-cli: " << shown(notice) << '\n';
}

std::optional<NodeId> CliApplication::buildAndFind(const std::string& index)
{
    build();
    return session_->nodeAt(index);
}

int CliApplication::picture(const std::vector<std::string>& args)
{
    if (args.size() != 3 || args[1] != "--out")
        return usageError("picture takes a node index and --out FILE");
    const std::string out = fullPath(args[2]);
    // The picture goes to a file of its own: never over a track, a file of the
    // collection, a device, a pipe or a link.
    if (const Result<> writable = checkPictureOutput(out); !writable)
        return usageError("will not write the picture to " + shown(out) + ": " + writable.error());
    const std::optional<NodeId> node = buildAndFind(args[0]);
    if (!node)
        return usageError("no node " + args[0] + " (the tree has " + std::to_string(session_->tree().NodeCount()) +
                          ")");
    const Result<std::optional<Picture>> picture = session_->picture(*node);
    if (!picture) {
        err_ << "Node " << args[0] << " shows no picture: " << shown(picture.error()) << '\n';
        return 1;
    }
    if (!picture.value()) {
        err_ << "Node " << args[0] << " has no picture\n";
        return 1;
    }
    if (const Result<> written = fs::replaceFile(out, picture.value()->bytes); !written) {
        err_ << "Unable to write " << shown(out) << ": " << written.error() << '\n';
        return 1;
    }
    return 0;
}

int CliApplication::page(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return usageError("page takes one node index");
    const std::optional<NodeId> found = buildAndFind(args[0]);
    if (!found)
        return usageError("no node " + args[0] + " (the tree has " + std::to_string(session_->tree().NodeCount()) +
                          ")");
    const std::string text = session_->descriptionPage(*found);
    if (json_) {
        JsonWriter json;
        json.beginObject();
        json.key("text");
        json.value(text);
        json.endObject();
        emit(json);
    } else {
        std::string shown = text;
        std::replace(shown.begin(), shown.end(), '\r', '\n');
        out_ << shown << '\n';
    }
    return 0;
}

int CliApplication::probe(const std::vector<std::string>& files)
{
    if (files.empty())
        return usageError("probe needs at least one file");
    JsonWriter json;
    json.beginArray();
    bool allRead = true;
    for (const std::string& file : files) {
        const Session::ReadTrack read = session_->readTrack(fullPath(file));
        const CollectionItem& item = read.record;
        const bool ok = read.status.ok();
        allRead = allRead && ok;
        if (json_) {
            json.beginObject();
            json.key("file");
            json.value(shown(file));
            json.key("ok");
            json.value(ok);
            json.key("record");
            writeRecord(json, item, session_->settings().ansi());
            json.endObject();
        } else {
            out_ << shown(file) << (ok ? "" : " (the probe failed)") << '\n';
            printRecord(out_, item, session_->settings().ansi(), "  ");
        }
    }
    json.endArray();
    if (json_)
        emit(json);
    return allRead ? 0 : 1;
}

int CliApplication::tag(const std::vector<std::string>& args)
{
    if (args.empty())
        return usageError("tag needs a file");
    const std::string path = fullPath(args[0]);
    // The texts as the editor takes them: trimmed, at most as long as a record holds.
    const auto field = [](const std::string& value) {
        return text::cutChars(text::trim(value), CollectionItem::TextLimit);
    };
    TagChange change;
    const bool extended = session_->settings().ReadID3v2;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--no-cover") {
            change.cover = TagChange::Cover{};
            continue;
        }
        if (i + 1 >= args.size())
            return usageError(option + " needs a value");
        const std::string& value = args[++i];
        if (option == "--title")
            change.title = field(value);
        else if (option == "--artist")
            change.artist = field(value);
        else if (option == "--album")
            change.album = field(value);
        else if (option == "--year")
            change.year = field(value);
        else if (option == "--comment")
            change.comment = field(value);
        else if (option == "--genre") {
            const std::optional<std::uint8_t> genre = genreOf(value);
            // A genre the table does not hold goes into the ID3v2 tag by its name; a number
            // is one of 0-255.
            const bool number = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
            if (!genre && (!extended || number))
                return usageError("--genre takes a number from 0 to 255 or a genre name of the configuration");
            change.genre = genre ? TagChange::Genre{*genre, {}} : TagChange::Genre{255, field(value)};
        } else if (option == "--album-artist") {
            change.albumArtist = field(value);
        } else if (option == "--track" || option == "--disc") {
            const std::optional<TagChange::Number> number = TagChange::Number::parse(value);
            if (!number)
                return usageError(option + " takes N or N/M (numbers from 1 to 999999)");
            (option == "--track" ? change.track : change.disc) = number;
        } else if (option == "--cover") {
            const Result<TagChange::Cover> cover = TagChange::Cover::fromFile(fullPath(value));
            if (!cover) {
                err_ << shown(cover.error()) << '\n';
                return 1;
            }
            change.cover = cover.value();
        } else {
            return usageError("unknown option '" + option + "'");
        }
    }
    if (change.empty())
        return usageError("tag needs at least one field to set (--title, --artist, --album, --year, --comment, "
                          "--genre, --track, --disc, --album-artist, --cover, --no-cover)");
    if (!extended && (change.albumArtist || change.track || change.disc || change.cover))
        return usageError("--track, --disc, --album-artist and the cover need ID3v2 tags (ReadID3v2 = yes)");
    if (const Result<> written = session_->saveTag(path, change); !written) {
        err_ << shown(written.error()) << '\n';
        return 1;
    }
    return 0;
}

namespace {

// A track's format in words: "44100 Hz stereo".
std::string formatText(const Session::ReadTrack& read)
{
    return std::to_string(read.record.Frequency) + " Hz " + (read.channels == 1 ? "mono" : "stereo");
}

// One line of the command-line player's input; true when it was a command.
bool playerCommand(PlaybackController& controller, const std::string& line)
{
    if (line == "next")
        controller.next();
    else if (line == "previous")
        controller.previous();
    else if (line == "pause" || line == "play")
        controller.SetPlaying(line == "play");
    else
        return false;
    return true;
}

} // namespace

int CliApplication::play(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    std::string outFile;
    std::int32_t start = 0;
    std::int32_t end = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--out" && args[i] != "--start" && args[i] != "--end") {
            files.push_back(args[i]);
            continue;
        }
        if (i + 1 >= args.size())
            return usageError(args[i] + " needs a value");
        const std::string& value = args[++i];
        char* stop = nullptr;
        const long number = std::strtol(value.c_str(), &stop, 10);
        const bool isNumber = !value.empty() && *stop == '\0' && number >= 0 && number <= INT32_MAX;
        if (args[i - 1] == "--out")
            outFile = value;
        else if (isNumber)
            (args[i - 1] == "--start" ? start : end) = static_cast<std::int32_t>(number);
        else
            return usageError("bad option '" + args[i - 1] + " " + value + "'");
    }
    if (files.empty())
        return usageError("play needs a file");
    const std::string outPath = outFile.empty() ? std::string() : fullPath(outFile);
    std::vector<std::string> tracks;
    for (const std::string& file : files) {
        const std::string path = fullPath(file);
        if (!outPath.empty() && fs::identityOf(outPath) && fs::identityOf(outPath) == fs::identityOf(path))
            return usageError("the output file is the track itself: " + shown(path));
        if (const Result<> input = checkInput(path); !input) {
            err_ << MPEG_ERR_INPUT << ' ' << mpegErrorMessage(MPEG_ERR_INPUT) << ": " << shown(path) << ": "
                 << input.error() << '\n';
            return 1;
        }
        tracks.push_back(path);
    }
    // One output file holds one format: tracks of another are refused before anything is
    // written.
    if (!outPath.empty()) {
        const Session::ReadTrack first = session_->readTrack(tracks.front());
        for (const std::string& track : tracks) {
            const Session::ReadTrack read = session_->readTrack(track);
            if (read.record.Frequency != first.record.Frequency || read.channels != first.channels)
                return usageError("the tracks differ in format (" + shown(tracks.front()) + ": " + formatText(first) +
                                  ", " + shown(track) + ": " + formatText(read) + "), and one output file holds one");
        }
    }
    // What stood at the output before this run is never removed.
    struct stat outState {};
    const bool outExisted = !outPath.empty() && ::lstat(outPath.c_str(), &outState) == 0;
    // The files are the tracks of a tree of their own, played as the panel plays them.
    session_->useTracks(tracks);
    // A file takes the samples as fast as they are decoded: the end of each track is
    // looked for more often there.
    if (const Result<> started = session_->startPlayer({loop_.factory(), outPath.empty() ? 250 : 5, outPath});
        !started) {
        err_ << started.failure().code << ' ' << started.error() << '\n';
        return 1;
    }
    PlaybackController& controller = session_->playback();
    const CollectionTree& tree = session_->tree();
    PrintingListener printer(out_);
    controller.addListener(&printer);
    controller.MakeActiveTrack(tree.Nodes.front());
    controller.playRange(start, end);
    bool commanded = false; // stopped by a command, not by a failure
    // The tracks may all have been played (to a file) before the start returns: that is
    // the end, not a failure.
    if (controller.isPlaying() || controller.viewsBehind())
        loop_.run([&] { return !printer.finished && !printer.failure; }, STDIN_FILENO,
                  [&](const std::string& line) { commanded |= playerCommand(controller, line); });
    std::optional<Failure> failure = printer.failure;
    if (const Result<> closed = controller.closeTrack(); !closed && !failure)
        failure = closed.failure();
    // A start that failed, or a later track that did not start, ends the run too.
    if (!failure && !printer.finished && !commanded)
        failure = controller.lastFailure().value_or(fail("Incorrect mode", MPEG_ERR_MODE));
    const NodeId active = controller.activeNode();
    controller.removeListener(&printer);
    session_->stopPlayer(); // hears out the end of the last track
    if (!failure)
        return 0;
    err_ << failure->code << ' ' << failure->message;
    if (failure->code == MPEG_ERR_OUTPUT && !outPath.empty()) {
        // The output failed on the way (a full disk): what it holds is not the tracks. A
        // file this run made goes; anything that was there before stays.
        struct stat now {};
        if (!outExisted && ::lstat(outPath.c_str(), &now) == 0 && S_ISREG(now.st_mode)) {
            err_ << ": " << shown(outPath) << " (removed)";
            ::unlink(outPath.c_str());
        } else {
            err_ << ": " << shown(outPath) << " (left in place)";
        }
    } else if (failure->code == MPEG_ERR_INPUT && active != NoNode) {
        const std::string path = tree.record(active)->Path.str();
        err_ << ": " << shown(path);
        if (const Result<> input = checkInput(path); !input)
            err_ << ": " << input.error();
    }
    err_ << '\n';
    return 1;
}

int CliApplication::describe(const std::vector<std::string>& args)
{
    if (args.empty() || args.size() > 2)
        return usageError("describe takes a path and at most one text");
    CollectionItem item;
    item.Path = paths::withoutTrailingSlash(fullPath(args[0]));
    if (args.size() == 2)
        item.Description = text::cutChars(text::trim(args[1]), CollectionItem::DescriptionLimit);
    if (const Result<> saved = session_->saveDescription(item); !saved) {
        err_ << shown(saved.error()) << '\n';
        return 1;
    }
    return 0;
}

int CliApplication::undo(const std::vector<std::string>& args)
{
    Journal* journal = session_->journal();
    if (!journal) {
        err_ << "there is no journal of saves ($XDG_STATE_HOME or $HOME)\n";
        return 1;
    }
    if (args.size() > 1)
        return usageError("undo takes at most one save number");
    if (args.empty())
        return listSaves(*journal);
    char* end = nullptr;
    const long long number = std::strtoll(args[0].c_str(), &end, 10);
    if (args[0].empty() || *end != '\0' || number <= 0)
        return usageError("undo takes the number of a save, as 'cantorel-cli undo' lists them");
    const Result<std::int64_t> undone = session_->undo(number);
    if (!undone) {
        err_ << shown(undone.error()) << '\n';
        return 1;
    }
    out_ << "save " << number << " undone (as save " << undone.value() << ")\n";
    return 0;
}

int CliApplication::repair(const std::vector<std::string>& args)
{
    std::string path, from;
    bool recursive = false, dryRun = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--recursive")
            recursive = true;
        else if (args[i] == "--dry-run")
            dryRun = true;
        else if (args[i] == "--from" && i + 1 < args.size())
            from = args[++i];
        else if (path.empty() && args[i].rfind("--", 0) != 0)
            path = args[i];
        else
            return usageError("repair takes one PATH, and --recursive, --from CODEPAGE, --dry-run");
    }
    if (path.empty() || !fs::isDirectory(path))
        return usageError("repair needs the path of a folder");
    if (!from.empty()) {
        // A number of ours (1251) is the page of that number; else an ICU name (KOI8-R).
        if (const CodePage* page = std::all_of(from.begin(), from.end(), ::isdigit)
                                       ? CodePage::byNumber(std::atoi(from.c_str()))
                                       : nullptr)
            from = page->number() >= 1250 && page->number() <= 1258 ? "windows-" + from : "IBM" + from;
    }
    std::vector<std::string> folders{path};
    if (recursive) {
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(path, error);
             it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            if (error)
                break;
            if (it->is_directory(error) && !it->is_symlink(error))
                folders.push_back(it->path().string());
        }
        std::sort(folders.begin() + 1, folders.end());
    }
    int status = 0;
    JsonWriter json;
    json.beginArray();
    for (const std::string& folder : folders) {
        const Session::RepairPreview preview = session_->previewRepair(folder, from);
        const std::vector<RepairField>& suspects = preview.suspects;
        const std::optional<RepairProposal>& proposal = preview.proposal;
        if (!proposal && suspects.empty())
            continue;
        if (!proposal && !from.empty()) {
            err_ << shown(folder) << ": its texts cannot be read in " << from << '\n';
            status = 1;
            continue;
        }
        Result<int> written = 0;
        if (proposal && !dryRun)
            written = session_->applyRepair(*proposal);
        if (!written) {
            err_ << shown(written.error()) << '\n';
            status = 1;
        }
        if (!json_) {
            out_ << shown(folder) << '\t'
                 << (proposal ? proposal->codePage + '\t' + std::to_string(proposal->confidence) + "%" : "no proposal")
                 << '\n';
            for (const RepairField& f : proposal ? proposal->fields : suspects) {
                out_ << "  " << shown(std::filesystem::path(f.path).filename().string()) << ' ' << f.name
                     << (f.entry.empty() ? "" : " " + f.entry) << ": " << f.shown;
                if (proposal)
                    out_ << " -> " << f.repaired;
                out_ << '\n';
            }
            if (proposal && !dryRun && written)
                out_ << "  " << written.value() << " files repaired\n";
            continue;
        }
        json.beginObject();
        json.key("Folder");
        json.value(shown(folder));
        json.key("CodePage");
        json.value(proposal ? proposal->codePage : std::string());
        json.key("Confidence");
        json.value(proposal ? proposal->confidence : 0);
        json.key("Written");
        json.value(written ? written.value() : 0);
        json.key("Fields");
        json.beginArray();
        for (const RepairField& f : proposal ? proposal->fields : suspects) {
            json.beginObject();
            json.key("Path");
            json.value(shown(f.path));
            json.key("Field");
            json.value(f.name);
            json.key("Entry");
            json.value(f.entry);
            json.key("Shown");
            json.value(f.shown);
            json.key("Repaired");
            json.value(f.repaired);
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }
    json.endArray();
    if (json_)
        emit(json);
    return status;
}

int CliApplication::listSaves(const Journal& journal)
{
    const Result<std::vector<JournalEntry>> saves = journal.list(ListedSaves);
    if (!saves) {
        err_ << saves.error() << '\n';
        return 1;
    }
    if (json_) {
        JsonWriter json;
        json.beginArray();
        for (const JournalEntry& e : saves.value()) {
            json.beginObject();
            json.key("Number");
            json.value(e.number);
            json.key("Time");
            json.value(e.time);
            json.key("What");
            json.value(e.what);
            json.key("Written");
            json.value(e.written);
            json.key("Files");
            json.beginArray();
            for (const std::string& f : e.files)
                json.value(shown(f));
            json.endArray();
            json.endObject();
        }
        json.endArray();
        emit(json);
        return 0;
    }
    for (const JournalEntry& e : saves.value()) {
        char when[32] = "";
        const std::time_t t = static_cast<std::time_t>(e.time);
        std::tm local{};
        if (::localtime_r(&t, &local))
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
        out_ << e.number << '\t' << when << '\t' << e.what << (e.written ? "" : " (not finished)");
        for (const std::string& f : e.files)
            out_ << '\t' << shown(f);
        out_ << '\n';
    }
    return 0;
}

} // namespace cantorel::cli
