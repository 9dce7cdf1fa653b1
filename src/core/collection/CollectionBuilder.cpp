#include "core/collection/CollectionBuilder.h"

#include "core/collection/BuildProgress.h"
#include "core/collection/DirectoryListing.h"
#include "core/collection/FileKinds.h"
#include "core/collection/PlaylistFile.h"
#include "core/config/Configuration.h"
#include "core/platform/CodePage.h"
#include "core/platform/Paths.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <deque>

namespace cantorel {

namespace {

// The read-ahead is given subdirectories in batches of this many, between one and two
// batches ahead of the walk.
constexpr std::size_t ReadAheadBatch = 8;

std::string withoutTrailingDot(std::string name)
{
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    return name;
}

// True when `folder`, a folder's path as its record holds it, names `directory` (ending
// with "/").
bool isPathOf(std::string_view folder, std::string_view directory)
{
    return !folder.empty() && directory.starts_with(folder) &&
           directory.size() - folder.size() == (folder.ends_with('/') ? 0 : 1);
}

} // namespace

BuildSettings BuildSettings::fromConfiguration(const Configuration& c, const Collation& collation, TrackProber probe)
{
    const SettingsRecord& s = c.Settings;
    return BuildSettings{s.MP3RootDir,
                         s.MP3RootName,
                         s.FilesBBS,
                         withoutTrailingDot(s.DirInfoTXT),
                         withoutTrailingDot(s.DirInfoRTF),
                         withoutTrailingDot(s.DirInfoBMP),
                         c.GetUIString(UiString::PlaylistsNode),
                         c.GetUIString(UiString::SplashPreparing),
                         c.GetUIString(UiString::SplashReading),
                         c.GetUIString(UiString::SplashPlaylists),
                         s.oem(),
                         s.ansi(),
                         std::move(probe),
                         collation};
}

BuildSettings BuildSettings::forRoot(const std::string& root, const Collation& collation, TrackProber probe,
                                     const CodePage& oem, const CodePage& ansi)
{
    return BuildSettings{root, "Root", "files.bbs", "dirinfo", "dirinfo.rtf", "dirinfo.bmp",    "Playlists",
                         "",   "",     "",          oem,       ansi,          std::move(probe), collation};
}

CollectionBuilder::CollectionBuilder(CollectionTree& tree, const BuildSettings& settings, BuildProgress* progress)
    : tree_(tree), settings_(settings), progress_(progress),
      keepInTree_([this](CompactString& field, std::string_view text) { tree_.keepText(field, text); })
{
}

void CollectionBuilder::BuildTree()
{
    if (progress_)
        progress_->setStatus(settings_.statusPreparing);
    const std::string& root = settings_.rootDirectory;
    begin(root);
    DirectoryRead read = readDirectory(root);
    const DirectoryListing& listing = read.listing;
    const std::string offline = settings_.keepOffline ? offlineReason(root, read) : std::string();
    device_ = 0;
    if (!settings_.rootName.empty()) {
        CollectionItem* record = tree_.newRecord();
        record->Path = root;
        record->Name = text::cutChars(settings_.rootName, CollectionItem::TextLimit);
        record->TextPath = sideFile(root, listing, settings_.richTextPage);
        if (record->TextPath.empty())
            record->TextPath = sideFile(root, listing, settings_.textPage);
        record->PicturePath = sideFile(root, listing, settings_.picture);
        tree_.keepTexts(*record);
        tree_.RootNode = tree_.addNode(NoNode, settings_.rootName, record, KindRootOrParent);
    }
    if (progress_)
        progress_->setStatus(settings_.statusReading);
    if (!offline.empty()) {
        tree_.markOffline(tree_.RootNode, offline); // NoNode: the whole tree
        if (const auto known = settings_.knownDevices.find(paths::withoutTrailingSlash(root));
            known != settings_.knownDevices.end())
            tree_.FolderDevices.insert(*known);
    } else {
        ScanDirectory(root, read, tree_.RootNode);
    }
    ahead_.reset();
    ResolvePlaylists();
    if (progress_) {
        progress_->setPosition(0);
        progress_->setMaximum(tree_.size());
    }
    tree_.fillNodeTable([this](int index) {
        if (progress_) {
            progress_->setPosition(index);
            progress_->repaint();
        }
    });
}

void CollectionBuilder::begin(const std::string& directory)
{
    tree_.clear();
    tracks_.clear();
    asShown_.clear();
    skipped_.clear();
    skippedStale_ = false;
    visited_.clear();
    playlistCount_ = 0;
    if (settings_.readAheadThreads > 0) {
        ahead_ = std::make_unique<ReadAhead>(settings_.probe, settings_.known, settings_.readAheadThreads,
                                             settings_.collation, settings_.descriptionFile);
        ahead_->want(directory);
    }
}

FolderRead CollectionBuilder::BuildFolder(const FolderSeed& seed)
{
    const std::string path = seed.record.Path + "/";
    begin(path);
    // The folders above were entered before it, as a whole build enters them.
    for (const std::string& folder : seed.above) {
        if (const std::optional<fs::FileIdentity> identity = fs::identityOf(folder))
            visited_.insert(*identity);
    }
    device_ = seed.device;
    DirectoryRead read = readDirectory(path);
    CollectionItem* record = tree_.newRecord();
    record->Path = seed.record.Path;
    record->Name = seed.record.Name;
    record->Description = seed.record.Description;
    record->Genre = seed.record.Genre;
    const NodeId node = tree_.addNode(NoNode, record->Name, record, KindDirectory);
    CollectionItem inherited;
    inherited.TextPath = seed.textPage;
    inherited.PicturePath = seed.picture;
    setFolderSideFiles(*record, path, read.listing, &inherited);
    const bool offline = !offlineReason(path, read).empty() || !read.listing.readable();
    const bool tracks = !offline && ScanDirectory(path, read, node);
    ahead_.reset();
    if (offline || playlistCount_ > 0 || !tree_.offlineNodes().empty() || linkedFolders())
        return FolderRead::Whole;
    if (!tracks) {
        tree_.clear();
        return FolderRead::Empty;
    }
    tree_.fillNodeTable();
    return FolderRead::Tracks;
}

void CollectionBuilder::setFolderSideFiles(CollectionItem& record, const std::string& path,
                                           const DirectoryListing& listing, const CollectionItem* inherited) const
{
    record.TextPath = sideFile(path, listing, settings_.richTextPage);
    if (record.TextPath.empty())
        record.TextPath = sideFile(path, listing, settings_.textPage);
    record.PicturePath = sideFile(path, listing, settings_.picture);
    tree_.keepTexts(record);
    if (record.TextPath.empty() && inherited)
        tree_.shareText(record.TextPath, inherited->TextPath);
    if (record.PicturePath.empty() && inherited)
        tree_.shareText(record.PicturePath, inherited->PicturePath);
}

bool CollectionBuilder::linkedFolders() const
{
    for (NodeId n = tree_.firstTopLevel(); n != NoNode; n = tree_.nextInPreOrder(n)) {
        if (tree_.kind(n) != KindTrack && fs::isSymbolicLink(tree_.record(n)->Path))
            return true;
    }
    return false;
}

bool CollectionBuilder::topLevel(NodeId parent) const
{
    const CollectionItem* r = parent == NoNode ? nullptr : tree_.record(parent);
    return !r || r->Path == settings_.rootDirectory;
}

void CollectionBuilder::stepProgress()
{
    if (!progress_)
        return;
    progress_->setPosition(++position_);
    progress_->repaint();
}

std::string CollectionBuilder::sideFile(const std::string& directory, const DirectoryListing& listing,
                                        const std::string& name) const
{
    if (name.empty())
        return {};
    const std::optional<std::string> found = listing.findFile(name);
    return found ? directory + *found : std::string();
}

void CollectionBuilder::setSideFiles(CollectionItem& record, const std::string& directory,
                                     const DirectoryListing& listing, const std::string& name) const
{
    const std::string_view stem = FileKinds::stem(name);
    const auto side = [&](const char* extension) {
        // Most folders have no side file of a kind at all: no name is made for them.
        return listing.hasExtension(extension) ? sideFile(directory, listing, std::string(stem) + extension)
                                               : std::string();
    };
    for (const char* extension : FileKinds::TextPageExtensions) {
        if (record.TextPath.empty())
            record.TextPath = side(extension);
    }
    record.PicturePath = side(FileKinds::PictureExtension);
}

bool CollectionBuilder::ScanDirectory(const std::string& directory, DirectoryRead& read, NodeId parent)
{
    // Each directory is entered once per scan, whatever the paths to it: a link loop would
    // never end, and links between directories without a loop multiply the tree. Pseudo
    // file systems hold no music and may be endless.
    const std::optional<fs::FileIdentity> identity = read.ahead ? read.identity : fs::identityOf(directory);
    if (!identity || !visited_.insert(*identity).second ||
        (read.ahead ? read.pseudo : fs::isPseudoFileSystem(directory)))
        return false;
    if (settings_.cancel && settings_.cancel->load(std::memory_order_relaxed))
        return false;
    const std::uint64_t outer = device_;
    device_ = static_cast<std::uint64_t>(identity->device);
    if (device_ != outer)
        tree_.FolderDevices[paths::withoutTrailingSlash(directory)] = device_;
    struct Restore {
        std::uint64_t& device;
        std::uint64_t value;
        ~Restore() { device = value; }
    } restore{device_, outer};

    const DirectoryListing& listing = read.listing;
    const bool top = topLevel(parent);
    const std::optional<std::string> bbs = listing.findFile(settings_.descriptionFile);
    const DescriptionList descriptions = !bbs ? DescriptionList()
                                         : read.descriptions
                                             ? DescriptionList::fromBytes(*read.descriptions, settings_.oem)
                                             : DescriptionList::ReadDescriptions(directory + *bbs, settings_.oem);
    // Without description lines there is nothing to match the entries against.
    std::vector<std::string_view> names;
    std::deque<std::string> decoded; // the shown names that are not the names' own bytes
    std::vector<int> taken;
    if (!descriptions.lines().empty()) {
        names.reserve(listing.directories().size() + listing.files().size());
        for (const std::vector<std::string>* part : {&listing.directories(), &listing.files()}) {
            for (const std::string& name : *part)
                names.push_back(text::isValidUtf8(name) ? std::string_view(name)
                                                        : decoded.emplace_back(displayName(name, settings_.ansi)));
        }
        taken = descriptions.assign(names);
    }
    const auto descriptionOf = [&](std::size_t i) -> std::optional<std::string_view> {
        if (taken.empty() || taken[i] < 0)
            return std::nullopt;
        return DescriptionList::descriptionOf(descriptions.lines()[static_cast<std::size_t>(taken[i])].text, names[i]);
    };
    if (top && progress_) {
        position_ = 0;
        progress_->setPosition(0);
        progress_->setMaximum(static_cast<int>(listing.directories().size() + listing.files().size()));
        progress_->repaint();
    }

    bool result = false;
    const std::size_t dirCount = listing.directories().size();
    for (std::size_t i = 0; i < dirCount; ++i) {
        if (top)
            stepProgress();
        if (ahead_ && i % ReadAheadBatch == 0) {
            for (std::size_t j = i == 0 ? 0 : i + ReadAheadBatch; j < std::min(dirCount, i + 2 * ReadAheadBatch); ++j) {
                if (!settings_.skipFolders || !settings_.skipFolders->contains(directory + listing.directories()[j]))
                    ahead_->want(directory + listing.directories()[j] + "/");
            }
        }
        scanSubdirectory(directory, listing.directories()[i], descriptionOf(i), parent, result);
    }
    const CollectionTree::Slots mark = tree_.madeSoFar();
    const std::size_t trackMark = tracks_.size();
    const int playlistMark = playlistCount_;
    for (std::size_t i = 0; i < listing.files().size(); ++i) {
        if (top)
            stepProgress();
        const std::string& name = listing.files()[i];
        if (FileKinds::isTrack(name)) {
            const TrackProbe* probe = i < read.probes.size() && read.probes[i] ? &*read.probes[i] : nullptr;
            addTrack(directory, listing, name, descriptionOf(dirCount + i), probe, parent);
            result = true;
        } else {
            AddPlaylist(directory, listing, name, descriptionOf(dirCount + i));
        }
    }
    // A playlist's node lies among the tracks' nodes, under the Playlists node.
    if (settings_.shownFolders && playlistCount_ == playlistMark)
        leaveOutIfAsShown(parent, mark, trackMark);
    return result;
}

bool CollectionBuilder::skipKnown(const std::string& path, NodeId node, const CollectionItem* inherited)
{
    if (!settings_.skipFolders)
        return false;
    const auto known = settings_.skipFolders->find(path);
    if (known == settings_.skipFolders->end())
        return false;
    CollectionItem& record = *tree_.record(node);
    const CollectionItem& shown = known->second.record;
    record.FileSize = shown.FileSize;
    record.Duration = shown.Duration;
    record.TextPath = shown.TextPath;
    record.PicturePath = shown.PicturePath;
    tree_.setKind(node, known->second.kind);
    // As if entered: a link to it met later is not followed.
    if (const std::optional<fs::FileIdentity> identity = fs::identityOf(path))
        visited_.insert(*identity);
    const std::string_view text = inherited ? inherited->TextPath.view() : std::string_view();
    const std::string_view picture = inherited ? inherited->PicturePath.view() : std::string_view();
    if (text != known->second.parentTextPage || picture != known->second.parentPicture)
        skippedStale_ = true;
    skipped_.push_back(node);
    return true;
}

void CollectionBuilder::leaveOutIfAsShown(NodeId folder, const CollectionTree::Slots& mark, std::size_t tracks)
{
    // NoNode: the root folder, without a root node.
    const auto shown =
        settings_.shownFolders->find(folder == NoNode ? settings_.rootDirectory : tree_.record(folder)->Path.str());
    if (shown == settings_.shownFolders->end() || shown->second != tree_.childrenDigest(folder))
        return;
    tree_.truncate(mark);
    tracks_.resize(tracks);
    asShown_.push_back(folder);
}

void CollectionBuilder::scanSubdirectory(const std::string& directory, const std::string& name,
                                         const std::optional<std::string_view>& description, NodeId parent,
                                         bool& result)
{
    CollectionItem* record = newEntry(directory, name, description);
    const NodeId node = tree_.addNode(parent, record->Name, record, KindDirectory);
    if (parent != NoNode)
        tree_.setKind(parent, KindRootOrParent);
    CollectionItem* inherited = parent == NoNode ? nullptr : tree_.record(parent);
    if (skipKnown(record->Path, node, inherited)) {
        result = true; // a folder shown holds tracks
        if (inherited) {
            inherited->FileSize += record->FileSize;
            inherited->Duration += record->Duration;
        }
        return;
    }
    const std::string path = record->Path + "/";
    DirectoryRead read = readDirectory(path);
    const DirectoryListing& listing = read.listing;
    if (const std::string offline = settings_.keepOffline ? offlineReason(path, read) : std::string();
        !offline.empty()) {
        // Kept with what an earlier build found there, once the session puts it back.
        tree_.markOffline(node, offline);
        if (const auto known = settings_.knownDevices.find(record->Path.str()); known != settings_.knownDevices.end())
            tree_.FolderDevices.insert(*known);
        result = true;
        return;
    }
    setFolderSideFiles(*record, path, listing, inherited);
    if (ScanDirectory(path, read, node)) {
        result = true;
        if (inherited) {
            inherited->FileSize += record->FileSize;
            inherited->Duration += record->Duration;
        }
    } else {
        *record = CollectionItem();
        tree_.removeLeaf(node);
    }
}

CollectionItem* CollectionBuilder::newEntry(const std::string& directory, const std::string& name,
                                            const std::optional<std::string_view>& description,
                                            const CollectionItem* folder)
{
    CollectionItem* record = tree_.newRecord();
    entryPath_.assign(directory).append(name);
    // A file keeps its folder's path once for all the folder's files.
    if (folder && isPathOf(folder->Path.wholeText(), directory))
        tree_.keepPathIn(record->Path, folder->Path, name);
    else
        tree_.keepPath(record->Path, entryPath_);
    FillEntry(*record, name, settings_.ansi, description, keepInTree_);
    return record;
}

void CollectionBuilder::addTrack(const std::string& directory, const DirectoryListing& listing, const std::string& name,
                                 const std::optional<std::string_view>& description, const TrackProbe* probe,
                                 NodeId parent)
{
    CollectionItem* inherited = parent == NoNode ? nullptr : tree_.record(parent);
    CollectionItem* record = newEntry(directory, name, description, inherited);
    std::optional<TrackProbe> probed;
    if (!probe)
        probe = &probed.emplace(settings_.probe(entryPath_));
    applyProbe(*record, *probe, keepInTree_);
    setSideFiles(*record, directory, listing, name);
    tree_.keepTexts(*record);
    if (record->TextPath.empty() && inherited)
        tree_.shareText(record->TextPath, inherited->TextPath);
    if (record->PicturePath.empty() && inherited)
        tree_.shareText(record->PicturePath, inherited->PicturePath);
    tracks_.push_back(tree_.addNode(parent, record->Name, record, KindTrack));
    if (inherited) {
        inherited->FileSize += record->FileSize;
        inherited->Duration += record->Duration;
    }
}

std::string CollectionBuilder::offlineReason(const std::string& directory, const DirectoryRead& read) const
{
    const DirectoryListing& listing = read.listing;
    if (!listing.readable())
        return listing.error().empty() ? "cannot be read" : listing.error();
    if (!listing.directories().empty() || !listing.files().empty())
        return {};
    const auto known = settings_.knownDevices.find(paths::withoutTrailingSlash(directory));
    if (known == settings_.knownDevices.end())
        return {};
    const std::optional<fs::FileIdentity> identity = read.ahead ? read.identity : fs::identityOf(directory);
    if (identity && static_cast<std::uint64_t>(identity->device) == known->second)
        return {};
    return "not mounted";
}

DirectoryRead CollectionBuilder::readDirectory(const std::string& directory)
{
    return ahead_ ? ahead_->take(directory) : DirectoryRead{DirectoryListing::read(directory, settings_.collation)};
}

void CollectionBuilder::AddPlaylist(const std::string& directory, const DirectoryListing& listing,
                                    const std::string& name, const std::optional<std::string_view>& description)
{
    ++playlistCount_;
    if (tree_.PlaylistsNode == NoNode) {
        CollectionItem* record = tree_.newRecord();
        record->Path = settings_.rootDirectory;
        record->Name = text::cutChars(settings_.playlistsCaption, CollectionItem::TextLimit);
        tree_.PlaylistsNode = tree_.addNode(NoNode, settings_.playlistsCaption, record, KindPlaylists);
    }
    CollectionItem* record = newEntry(directory, name, description);
    setSideFiles(*record, directory, listing, name);
    tree_.keepTexts(*record);
    tree_.addNode(tree_.PlaylistsNode, record->Name, record, KindPlaylist);
}

void CollectionBuilder::ResolvePlaylists()
{
    if (tree_.PlaylistsNode == NoNode)
        return;
    if (progress_) {
        progress_->setStatus(settings_.statusPlaylists);
        progress_->setPosition(0);
        progress_->setMaximum(playlistCount_);
    }
    position_ = 0;
    tree_.setKind(tree_.PlaylistsNode, KindPlaylists);
    tree_.moveToEnd(tree_.PlaylistsNode);
    // Lines match the first track of the scan whose path equals them with A-Z folded.
    trackByPath_.reserve(tracks_.size());
    for (std::size_t i = 0; i < tracks_.size(); ++i)
        trackByPath_.emplace(text::FoldedHash()(shownPath(i)), i);
    for (NodeId n = tree_.firstChild(tree_.PlaylistsNode); n != NoNode; n = tree_.nextSibling(n)) {
        if (FileKinds::isPlaylist(tree_.record(n)->Path.fileName()))
            resolvePlaylist(n);
    }
    trackByPath_ = {};
}

std::string_view CollectionBuilder::shownPath(std::size_t track)
{
    shownPath_.clear();
    tree_.record(tracks_[track])->Path.appendTo(shownPath_);
    if (!text::isValidUtf8(shownPath_))
        shownPath_ = displayPath(shownPath_, settings_.ansi);
    return shownPath_;
}

void CollectionBuilder::resolvePlaylist(NodeId playlist)
{
    stepProgress();
    CollectionItem* record = tree_.record(playlist);
    const std::optional<std::vector<std::string>> lines = PlaylistFile::read(record->Path, settings_.ansi);
    if (!lines)
        return;
    const std::string directory = paths::directoryOf(displayPath(record->Path, settings_.ansi));
    for (const std::string& line : *lines) {
        const std::string wanted = paths::expand(directory, line, true);
        const auto [from, to] = trackByPath_.equal_range(text::FoldedHash()(wanted));
        std::size_t first = tracks_.size();
        for (auto it = from; it != to; ++it) {
            if (it->second < first && text::equalsFolded(shownPath(it->second), wanted))
                first = it->second;
        }
        if (first == tracks_.size())
            continue;
        CollectionItem* track = tree_.record(tracks_[first]);
        tree_.addNode(playlist, track->Name, track, KindTrack);
        record->Duration += track->Duration;
    }
    tree_.record(tree_.PlaylistsNode)->Duration += record->Duration;
}

} // namespace cantorel
