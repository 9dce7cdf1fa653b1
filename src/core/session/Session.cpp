#include "core/session/Session.h"

#include "core/collection/CollectionBuilder.h"
#include "core/collection/FolderUpdate.h"
#include "core/collection/Journal.h"
#include "core/collection/OfflineFolders.h"
#include "core/collection/ProbeCache.h"
#include "core/collection/SearchIndex.h"
#include "core/collection/TreeSnapshot.h"
#include "core/collection/TreeUpdate.h"
#include "core/info/InfoPage.h"
#include "core/info/TrackInfo.h"
#include "core/platform/Collation.h"
#include "core/platform/FileSystem.h"
#include "core/platform/Paths.h"
#include "core/platform/ProcessPriority.h"
#include "core/platform/SafeFileWriter.h"
#include "core/platform/SystemLocale.h"
#include "core/player/PlaybackController.h"
#include "core/player/StreamVolume.h"
#include "core/player/TMPEGPlayer.h"
#include "core/session/BackgroundScan.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace cantorel {

namespace {

Configuration withOptions(Configuration configuration, const SessionOptions& options)
{
    if (!options.musicFolder.empty())
        configuration.Settings.MP3RootDir =
            paths::withTrailingSlash(paths::expand(fs::currentDirectory(), options.musicFolder));
    if (!options.probeCache)
        configuration.Settings.ProbeCache = false;
    return configuration;
}

} // namespace

Session::Session(Configuration configuration, SessionOptions options)
    : config_(withOptions(std::move(configuration), options)), options_(std::move(options)),
      collation_(std::make_unique<Collation>(locale::localeName("LC_COLLATE"), &config_.Settings.ansi())),
      editor_(std::make_unique<NodeEditor>(tree_, config_.Settings.AllowEdit, config_.Settings.ansi(), *this)),
      search_(std::make_unique<SearchIndex>(config_.Settings.SearchLatin))
{
    editor_->setWriteComposed(config_.Settings.ComposeDescriptions);
    editor_->setExtended(config_.Settings.ReadID3v2);
    const std::string journal = options_.journalFile.value_or(Journal::defaultFile());
    if (!journal.empty())
        journal_ = std::make_unique<Journal>(journal);
}

Session::~Session()
{
    cancelScan();
    stopPlayer();
}

const char* Session::version() { return CANTOREL_VERSION; }

Result<> Session::checkOptions(const SessionOptions& options)
{
    if (options.musicFolder.empty())
        return {};
    const std::string folder = paths::expand(fs::currentDirectory(), options.musicFolder);
    if (!fs::isDirectory(folder))
        return fail("the music folder " + folder + " is not a folder");
    return {};
}

BuildSettings Session::buildSettings(const Collation& collation, const FolderDevices& devices,
                                     const std::atomic<bool>* cancel, ProbeCache* cache) const
{
    TrackProber probe = trackProber(config_.Settings.tagCodePage(), config_.Settings.ReadID3v2);
    if (cache)
        probe = cachedProber(std::move(probe), *cache);
    BuildSettings build = BuildSettings::fromConfiguration(config_, collation, std::move(probe));
    if (cache)
        build.known = knownProbe(*cache);
    build.readAheadThreads = ReadAheadThreads;
    build.knownDevices = devices;
    build.keepOffline = true;
    build.cancel = cancel;
    return build;
}

CollectionTree Session::buildTree(const Collation& collation, const FolderDevices& devices, BuildProgress* progress,
                                  const std::atomic<bool>* cancel, std::unique_ptr<ProbeCache>& cache) const
{
    cache = probeCacheFor(config_);
    const BuildSettings build = buildSettings(collation, devices, cancel, cache.get());
    CollectionTree tree;
    CollectionBuilder(tree, build, progress).BuildTree();
    // What is known of folders that cannot be read now stays, in the tree and the cache.
    if (cache) {
        for (const std::string& folder : offlineFolders(tree, musicFolder()))
            cache->keepUnder(folder);
    }
    return tree;
}

void Session::build(BuildProgress* progress)
{
    cache_.reset(); // after the save of the last build
    std::optional<CollectionTree> snapshot;
    if (tree_.NodeCount() == 0 && options_.snapshot && config_.Settings.ProbeCache)
        snapshot = TreeSnapshot::load(TreeSnapshot::fileFor(musicFolder()), snapshotKey());
    const CollectionTree& known = snapshot ? *snapshot : tree_;
    CollectionTree fresh = buildTree(*collation_, known.FolderDevices, progress, nullptr, cache_);
    keepOfflineFolders(fresh, known);
    if (cache_ && !cache_->problem().empty() && !std::exchange(cacheNoticed_, true))
        notices_.push_back(cache_->problem());
    searchBuilt_ = false;
    search_->clear();
    tree_ = std::move(fresh);
    // The window shows while the cache is written; its destructor waits for the end.
    if (cache_)
        cache_->saveInBackground();
}

void Session::replaceTree(CollectionTree&& fresh)
{
    const NodeKey active = playback_ ? keyOf(playback_->activeNode()) : NodeKey{};
    searchBuilt_ = false;
    search_->clear();
    tree_ = std::move(fresh);
    keepActive(active);
}

void Session::rebuild()
{
    cancelScan(); // this reading makes it needless
    const NodeKey active = playback_ ? keyOf(playback_->activeNode()) : NodeKey{};
    build();
    keepActive(active);
}

void Session::keepActive(const NodeKey& active)
{
    if (!playback_)
        return;
    playback_->treeRebuilt(find(active));
    // Without the active track (it is gone), the first track is made active, as at start.
    if (playback_->activeNode() == NoNode)
        playback_->activateFirstTrack();
}

std::string Session::snapshotKey() const
{
    const SettingsRecord& s = config_.Settings;
    // The collation orders the tree.
    std::string key = std::string(version()) + '\n' + locale::localeName("LC_COLLATE") + '\n' + s.MP3RootName + '\n' +
                      s.FilesBBS + '\n' + s.DirInfoTXT + '\n' + s.DirInfoRTF + '\n' + s.DirInfoBMP + '\n' +
                      std::to_string(s.OEMCodePage) + ' ' + std::to_string(s.ANSICodePage) + ' ' +
                      (s.TAGCodePage ? "oem" : "ansi") + (s.ReadID3v2 ? " id3v2" : "") + '\n' +
                      config_.GetUIString(UiString::PlaylistsNode);
    return key;
}

bool Session::loadSnapshot()
{
    if (!options_.snapshot || !config_.Settings.ProbeCache)
        return false;
    std::optional<CollectionTree> snapshot = TreeSnapshot::load(TreeSnapshot::fileFor(musicFolder()), snapshotKey());
    if (!snapshot)
        return false;
    replaceTree(std::move(*snapshot));
    return true;
}

Result<> Session::saveSnapshot() const
{
    if (!options_.snapshot || !config_.Settings.ProbeCache)
        return {};
    return TreeSnapshot::save(tree_, TreeSnapshot::fileFor(musicFolder()), snapshotKey());
}

void Session::keepSaving(std::unique_ptr<ProbeCache> cache)
{
    // What was read is handed over while the cache is written. Readings run one after the
    // other, and the next one (or the end of the session) waits for this save.
    scanCache_ = std::move(cache);
    if (scanCache_)
        scanCache_->saveInBackground();
}

void Session::readFolders(FolderUpdate& update, const FolderDevices& devices, const std::atomic<bool>& cancel)
{
    const Collation collation(locale::localeName("LC_COLLATE"), &config_.Settings.ansi());
    // The rows of the folders read alone.
    std::unique_ptr<ProbeCache> cache = probeCacheFor(config_, ProbeCache::Rows::ByFolder);
    const bool alone = update.read(buildSettings(collation, devices, &cancel, cache.get()));
    if (cache) // the rest of the collection was not met by this reading, and stays known
        cache->keepUnder(paths::withoutTrailingSlash(musicFolder()));
    keepSaving(std::move(cache));
    if (!alone)
        scanFolders_.reset();
}

void Session::readAgainstTree(TreeUpdate& update, const FolderDevices& devices, BuildProgress& progress,
                              const std::atomic<bool>& cancel)
{
    const Collation collation(locale::localeName("LC_COLLATE"), &config_.Settings.ansi());
    // A folder's rows at a time: the tree shown holds what the cache holds already.
    std::unique_ptr<ProbeCache> cache = probeCacheFor(config_, ProbeCache::Rows::ByFolder);
    if (cache)
        cache->expectTracks(update.shownNodes());
    const bool inPlace = update.read(buildSettings(collation, devices, &cancel, cache.get()), &progress);
    for (const std::string& folder : cache ? update.foldersNotRead() : std::vector<std::string>())
        cache->keepUnder(folder);
    keepSaving(std::move(cache));
    if (!inPlace)
        scanInPlace_.reset();
}

namespace {

// The caches of the build and the reading before, whose saves may still run.
struct PendingSaves {
    std::unique_ptr<ProbeCache> build, scan;
    PendingSaves(std::unique_ptr<ProbeCache> b, std::unique_ptr<ProbeCache> s) : build(std::move(b)), scan(std::move(s))
    {
    }
    void wait()
    {
        build.reset();
        scan.reset();
    }
};

} // namespace

bool Session::startScan(std::function<void()> done, const std::vector<std::string>& changed)
{
    if (!scan_)
        scan_ = std::make_unique<BackgroundScan>();
    if (scan_->running())
        return false;
    scan_->cancel(); // a finished scan not taken is read again
    scanSaves_ = saves_;
    // The reading opens the cache file once the saves of the build and the reading before
    // it are written: a reading of a few folders keeps what it did not read as that file
    // holds it.
    const auto saves = std::make_shared<PendingSaves>(std::move(cache_), std::move(scanCache_));
    scanKind_ = ScanKind::NewTree;
    if (std::optional<FolderUpdate> update = FolderUpdate::plan(tree_, musicFolder(), changed)) {
        scanKind_ = ScanKind::Folders;
        scanFolders_ = std::make_shared<FolderUpdate>(std::move(*update));
        auto work = [this, update = scanFolders_, devices = tree_.FolderDevices,
                     saves](BuildProgress&, const std::atomic<bool>& cancel) {
            saves->wait();
            readFolders(*update, devices, cancel);
            return CollectionTree();
        };
        return scan_->start(std::move(work), std::move(done));
    }
    std::optional<TreeUpdate> update =
        std::exchange(newTreeNext_, false) ? std::nullopt : TreeUpdate::plan(tree_, musicFolder(), changed);
    if (update) {
        scanKind_ = ScanKind::InPlace;
        scanInPlace_ = std::make_shared<TreeUpdate>(std::move(*update));
        auto work = [this, update = scanInPlace_, devices = tree_.FolderDevices,
                     saves](BuildProgress& progress, const std::atomic<bool>& cancel) {
            saves->wait();
            readAgainstTree(*update, devices, progress, cancel);
            return CollectionTree();
        };
        return scan_->start(std::move(work), std::move(done));
    }
    // The scan's thread has its own collation and only the devices of the tree shown;
    // offline folders are filled from the tree when the scan is taken.
    auto work = [this, devices = tree_.FolderDevices, saves](BuildProgress& progress, const std::atomic<bool>& cancel) {
        saves->wait();
        const Collation collation(locale::localeName("LC_COLLATE"), &config_.Settings.ansi());
        std::unique_ptr<ProbeCache> cache;
        CollectionTree tree = buildTree(collation, devices, &progress, &cancel, cache);
        // The search index of the new tree is built here too, not on the window's thread;
        // offline folders, filled in later, need it built again.
        scanIndex_.reset();
        if (tree.offlineNodes().empty() && !cancel) {
            scanIndex_ = std::make_unique<SearchIndex>(config_.Settings.SearchLatin);
            scanIndex_->build(tree, config_.Settings.ansi());
        }
        keepSaving(std::move(cache));
        return tree;
    };
    return scan_->start(std::move(work), std::move(done));
}

bool Session::scanRunning() const { return scan_ && scan_->running(); }

std::pair<int, int> Session::scanProgress() const
{
    return scan_ ? std::pair{scan_->position(), scan_->maximum()} : std::pair{0, 0};
}

Session::ScanOutcome Session::adoptScan(const std::function<void()>& before)
{
    if (!scan_ || scan_->running())
        return ScanOutcome::Running;
    std::optional<CollectionTree> fresh = scan_->take();
    const std::unique_ptr<SearchIndex> index = std::move(scanIndex_);
    const std::shared_ptr<FolderUpdate> folders = std::move(scanFolders_);
    const std::shared_ptr<TreeUpdate> inPlace = std::move(scanInPlace_);
    if (!fresh || saves_ != scanSaves_)
        return ScanOutcome::Stale;
    if (scanKind_ == ScanKind::Folders)
        return adoptInPlace(folders.get(), before);
    if (scanKind_ == ScanKind::InPlace) {
        newTreeNext_ = !inPlace; // offline folders or playlists: a new tree
        return adoptInPlace(inPlace.get(), before);
    }
    keepOfflineFolders(*fresh, tree_);
    if (fresh->sameAs(tree_))
        return ScanOutcome::Unchanged;
    if (before)
        before();
    if (saves_ != scanSaves_)
        return ScanOutcome::Stale; // what `before` saved is newer than the reading
    replaceTree(std::move(*fresh));
    if (index) {
        search_->take(std::move(*index));
        searchBuilt_ = true;
    }
    return ScanOutcome::Changed;
}

template <class Update>
Session::ScanOutcome Session::adoptInPlace(const Update* update, const std::function<void()>& before)
{
    if (!update)
        return ScanOutcome::Stale; // the change reaches past what was read
    if (update->sameAs(tree_))
        return ScanOutcome::Unchanged;
    if (before)
        before();
    if (saves_ != scanSaves_)
        return ScanOutcome::Stale;
    const NodeKey active = playback_ ? keyOf(playback_->activeNode()) : NodeKey{};
    const std::vector<NodeId> changed = update->apply(tree_);
    if (searchBuilt_)
        search_->rebuild(tree_, config_.Settings.ansi(), changed);
    keepActive(active);
    return ScanOutcome::Changed;
}

void Session::cancelScan()
{
    if (scan_)
        scan_->cancel();
}

void Session::useTracks(const std::vector<std::string>& paths)
{
    searchBuilt_ = false;
    search_->clear();
    tree_.clear();
    for (const std::string& path : paths) {
        CollectionItem* record = tree_.newRecord(readTrack(path).record);
        tree_.Nodes.push_back(tree_.addNode(NoNode, record->Name, record, KindTrack));
    }
}

NodeKey Session::keyOf(NodeId node) const
{
    const CollectionItem* r = node == NoNode ? nullptr : tree_.record(node);
    return r ? NodeKey{r->Path.str(), tree_.kind(node)} : NodeKey{};
}

NodeId Session::find(const NodeKey& key) const
{
    if (key.empty())
        return NoNode;
    for (const NodeId node : tree_.Nodes) {
        const CollectionItem* r = tree_.record(node);
        if (r && r->Path == key.path && tree_.kind(node) == key.kind)
            return node;
    }
    return NoNode;
}

std::optional<NodeId> Session::nodeAt(const std::string& index) const
{
    char* end = nullptr;
    const long n = std::strtol(index.c_str(), &end, 10);
    if (index.empty() || *end != '\0' || n < 0 || n >= tree_.NodeCount())
        return std::nullopt;
    return tree_.Nodes[static_cast<std::size_t>(n)];
}

Result<> Session::startPlayer(PlayerSetup setup)
{
    player_ = std::make_unique<TMPEGPlayer>(setup.timers);
    player_->PathToDLL = options_.libraryDirectory.empty() ? fs::ownFileDirectory("mpeg.so", "../lib/cantorel")
                                                           : options_.libraryDirectory;
    player_->setTimerFreq(setup.timerMs);
    player_->UseTimer = true;
    if (setup.outputFile.empty()) {
        player_->setOutputDevice(TOutputDevice::wavemapper);
        player_->WaveDeviceNum = -1;
    } else {
        player_->setOutputDevice(TOutputDevice::pcmfile);
        player_->OutFilename = setup.outputFile;
    }
    // The decoder reads the ReplayGain wanted at each open.
    char preamp[32];
    const auto written = std::to_chars(preamp, preamp + sizeof preamp, config_.Settings.ReplayGainPreamp);
    const std::string gain = config_.Settings.ReplayGain + ' ' + std::string(preamp, written.ptr);
    ::setenv("CANTOREL_REPLAYGAIN", gain.c_str(), 1);
    try {
        player_->LoadDLL();
        player_->setPlayerPriority(TPlayPriority::Normal);
    } catch (const TMPEGError& e) {
        return fail(e.what(), e.ErrorCode);
    }
    playback_ = std::make_unique<PlaybackController>(
        tree_, *player_, PlaybackTexts{config_.GetUIString(UiString::NowPlaying), config_.Settings.WindowTitle},
        PlaybackController::Clock{}, setup.timers);
    if (setup.outputFile.empty()) {
        const std::string folder = fs::userFolder(fs::UserFolder::State);
        volume_ = std::make_unique<StreamVolume>(folder.empty() ? std::string() : folder + "volume");
        playback_->addListener(volume_.get());
    }
    return {};
}

void Session::setPriorityClass(int entry)
{
    try {
        player_->setPlayerPriority(TPlayPriority::AboveNormal);
        ProcessPriority::setClass(ProcessPriority::classOfEntry(entry));
        // The class moved every thread; the decoder thread takes its place relative to it again.
        player_->setPlayerPriority(TPlayPriority::AboveNormal);
    } catch (const TMPEGError&) {
        // The panel swallows the player's errors; the priority stays where it was.
    }
}

void Session::stopPlayer()
{
    if (volume_)
        playback_->removeListener(volume_.get());
    volume_.reset();
    playback_.reset();
    if (!player_)
        return;
    try {
        player_->UnloadDLL();
    } catch (const TMPEGError&) {
        // The library is unloaded whatever closing its stream said.
    }
}

DescriptionFormat Session::descriptionFormat() const
{
    const SettingsRecord& s = config_.Settings;
    return DescriptionFormat{s.FilesBBS, s.oem(), s.ansi(), *collation_, s.MP3RootDir};
}

bool Session::isActiveTrack(const std::string& path) const
{
    const NodeId active = playback_ ? playback_->activeNode() : NoNode;
    if (active == NoNode || !tree_.record(active))
        return false;
    const auto identity = fs::identityOf(tree_.record(active)->Path);
    return identity && identity == fs::identityOf(path);
}

Result<> Session::saveTag(const CollectionItem& edited, const TagChange& change)
{
    TagWriteOptions options(config_.Settings.tagCodePage());
    options.extended = config_.Settings.ReadID3v2;
    options.isActiveTrack = [this](const std::string& path) { return isActiveTrack(path); };
    options.journal = journal_.get();
    options.collection = musicFolder();
    ++saves_;
    return TagWriter::save(edited.Path, options.extended ? change : TagChange::allOf(edited), options);
}

Result<> Session::saveTag(const std::string& path, const TagChange& change)
{
    CollectionItem edited;
    edited.Path = path;
    edited.Genre = 255;
    applyProbe(edited, ProbeTrack(path, config_.Settings.tagCodePage(), config_.Settings.ReadID3v2));
    change.applyTo(edited);
    return saveTag(edited, change);
}

Result<> Session::saveDescription(const CollectionItem& item)
{
    ++saves_;
    return WriteDescription(item, descriptionFormat(), journal_.get());
}

Result<> Session::checkDescription(const CollectionItem& item, const std::string& text, bool typed)
{
    return cantorel::checkDescription(item, text, descriptionFormat(), typed);
}

Session::ReadTrack Session::readTrack(const std::string& path) const
{
    ReadTrack read{
        CreateEntry(paths::directoryOf(path), paths::fileNameOf(path), config_.Settings.ansi(), std::nullopt), {}};
    const TrackProbe probe = ProbeTrack(path, config_.Settings.tagCodePage(), config_.Settings.ReadID3v2);
    applyProbe(read.record, probe);
    read.status = probe.status;
    read.channels = probe.Channels;
    return read;
}

std::string Session::descriptionPage(NodeId node) const
{
    const CollectionItem& r = *tree_.record(node);
    std::string page = DescriptionPageText(
        {r, tree_.kind(node) == KindTrack, node == tree_.PlaylistsNode, genreShown(r, config_.GenreTable, *collation_)},
        config_);
    // What an earlier reading found, while its folder cannot be read.
    if (const std::string reason = tree_.offlineReason(node); !reason.empty())
        page = config_.GetUIString(UiString::OfflineNote) + reason + "\n\n" + page;
    return page;
}

Result<std::optional<Picture>> Session::picture(NodeId node) const
{
    return pictureFor(*tree_.record(node), tree_.kind(node) == KindTrack, config_.Settings.ReadID3v2);
}

namespace {

// The file name of a picture in the art cache: its contents' FNV-1a hash, the extension of
// its format.
std::string artFileName(const std::string& bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char name[17];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    const auto starts = [&bytes](std::string_view magic) { return bytes.compare(0, magic.size(), magic) == 0; };
    const char* extension = starts("\xFF\xD8")  ? ".jpg"
                            : starts("\x89PNG") ? ".png"
                            : starts("GIF8")    ? ".gif"
                            : starts("BM")      ? ".bmp"
                                                : ".img";
    return name + std::string(extension);
}

} // namespace

std::string Session::pictureFile(NodeId node) const
{
    const CollectionItem* r = node == NoNode ? nullptr : tree_.record(node);
    if (!r)
        return {};
    const Result<std::optional<Picture>> found = picture(node);
    if (!found || !found.value())
        return {};
    const Picture& p = *found.value();
    if (p.source != r->Path.str() + "#cover")
        return p.source;
    const std::string folder = fs::userFolder(fs::UserFolder::Cache);
    if (folder.empty())
        return {};
    const std::string file = folder + "art/" + artFileName(p.bytes);
    if (fs::isRegularFile(file))
        return file;
    std::error_code ignored;
    std::filesystem::create_directories(folder + "art", ignored);
    return fs::replaceFile(file, p.bytes) ? file : std::string();
}

Result<std::int64_t> Session::undo(std::int64_t number)
{
    if (!journal_)
        return fail("there is no journal of saves ($XDG_STATE_HOME or $HOME)");
    const Result<std::vector<JournalEntry>> saves = journal_->list(Journal::MaxSaves);
    if (!saves)
        return saves.failure();
    for (const JournalEntry& e : saves.value()) {
        if (e.number != number)
            continue;
        for (const std::string& file : e.files) {
            if (isActiveTrack(file))
                return fail("Unable to edit active track tag. ", ActiveTrackRefused);
        }
    }
    ++saves_;
    return journal_->undo(number);
}

Result<std::int64_t> Session::lastSave() const
{
    return journal_ ? journal_->lastOf(musicFolder()) : Result<std::int64_t>(std::int64_t{0});
}

std::vector<std::pair<std::string, int>> Session::genreList() const
{
    return sortedGenreList(config_.GenreTable, *collation_);
}

std::string Session::shown(const std::string& path) const { return displayPath(path, config_.Settings.ansi()); }

const SearchIndex& Session::searchIndex()
{
    if (!std::exchange(searchBuilt_, true))
        search_->build(tree_, config_.Settings.ansi());
    return *search_;
}

void Session::searchChanged(NodeId node)
{
    if (searchBuilt_ && node != NoNode)
        search_->update(tree_, tree_.record(node), config_.Settings.ansi());
}

Session::RepairPreview Session::previewRepair(const std::string& folder, const std::string& forced) const
{
    const SettingsRecord& s = config_.Settings;
    RepairPreview preview;
    preview.suspects = CodePageRepair::suspects(folder, {s.tagCodePage(), s.oem(), s.FilesBBS, s.ReadID3v2});
    preview.proposal = CodePageRepair::propose(folder, preview.suspects, forced);
    return preview;
}

Result<int> Session::applyRepair(const RepairProposal& proposal)
{
    for (const RepairField& f : proposal.fields) {
        if (isActiveTrack(f.path))
            return fail("Unable to edit active track tag. ", ActiveTrackRefused);
    }
    const SettingsRecord& s = config_.Settings;
    ++saves_;
    return CodePageRepair::apply(proposal, {s.tagCodePage(), s.oem(), s.FilesBBS, s.ReadID3v2}, journal_.get(),
                                 musicFolder());
}

} // namespace cantorel
