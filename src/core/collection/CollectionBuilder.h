#pragma once

#include "core/collection/CollectionTree.h"
#include "core/collection/DescriptionList.h"
#include "core/collection/ReadAhead.h"
#include "core/collection/TrackProbe.h"
#include "core/platform/FileSystem.h"
#include "core/platform/TextRules.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace cantorel {

class BuildProgress;
class CodePage;
class Collation;
class DirectoryListing;
struct Configuration;

// A folder of a tree shown already that a reading need not enter: nothing changed in it.
struct KnownFolder {
    CollectionItem record; // as shown: its sums, text page and picture are kept
    std::uint8_t kind = 0;
    std::string parentTextPage; // what it may have inherited from the folder above
    std::string parentPicture;
};

// What the build takes from the configuration.
struct BuildSettings {
    std::string rootDirectory; // ends with "/"
    std::string rootName;      // empty: no root node
    std::string descriptionFile;
    std::string textPage; // plain-text page name, without a trailing dot
    std::string richTextPage;
    std::string picture;
    std::string playlistsCaption; // interface string 19
    std::string statusPreparing;  // interface string 37
    std::string statusReading;    // interface string 38
    std::string statusPlaylists;  // interface string 39
    const CodePage& oem;
    const CodePage& ansi;
    TrackProber probe; // reads each track file
    const Collation& collation;
    // What the probe cache knows of a track file, asked first with the stamp read relative
    // to its folder when reading ahead (see ReadAhead); may be empty.
    KnownProbe known = {};
    // Threads that read the directories ahead of the walk (0: none). The prober must then
    // be safe to call from several threads at once.
    unsigned readAheadThreads = 0;
    // The folder devices an earlier build recorded (CollectionTree::FolderDevices): a folder
    // found empty on another device than that is a mount that went away, kept as offline.
    std::unordered_map<std::string, std::uint64_t> knownDevices = {};
    // Folders that cannot be read are kept as offline nodes (for the session to fill with
    // what an earlier tree held there) instead of being dropped.
    bool keepOffline = false;
    // Turns true when the build's result is no longer wanted: it ends soon.
    const std::atomic<bool>* cancel = nullptr;
    // The childrenDigest() of each folder of a tree already shown, by path (the root's
    // with its "/", NoNode's digest without a root node): a folder that holds what it holds there keeps only its folders in the
    // new tree, its tracks left out, and is listed in foldersAsShown().
    const std::unordered_map<std::string, std::uint64_t>* shownFolders = nullptr;
    // Folders by path that are not entered: each gets a node with its record as known
    // (its name and description as the folder above gives them now), and nothing below
    // it; listed in foldersSkipped().
    const std::unordered_map<std::string, KnownFolder>* skipFolders = nullptr;

    static BuildSettings fromConfiguration(const Configuration& configuration, const Collation& collation,
                                           TrackProber probe);
    // The settings of a plain collection at `root` (ending with "/"): root node "Root",
    // "files.bbs", "dirinfo", "dirinfo.rtf", "dirinfo.bmp", playlists node "Playlists", no
    // status texts; for tests, fuzz targets and benchmarks.
    static BuildSettings forRoot(const std::string& root, const Collation& collation, TrackProber probe,
                                 const CodePage& oem, const CodePage& ansi);
};

// One folder of a collection to be read again on its own: what the folder above it gives it.
struct FolderSeed {
    CollectionItem record; // the folder's record in the tree: its path, name and description
    std::string textPage;  // the text page and picture of the folder above, which it inherits
    std::string picture;
    std::uint64_t device = 0;       // the device of the folder above
    std::vector<std::string> above; // the folders above it (ending with "/"), the root first
};

// What reading one folder again found.
enum class FolderRead {
    Tracks, // the folder holds tracks: the tree has one top-level node for it
    Empty,  // no track lies in or below it any more: it leaves the tree
    Whole,  // it holds a playlist, an offline or a linked folder: read the whole collection
};

// Builds the collection tree once: walks the root directory, reads every track, gives
// each entry its description, picture and text page, sums sizes and playing times up
// the tree, resolves the playlists and fills the node table.
class CollectionBuilder {
public:
    CollectionBuilder(CollectionTree& tree, const BuildSettings& settings, BuildProgress* progress = nullptr);

    void BuildTree();
    // Builds the tree of one folder of the collection alone, as BuildTree would build its
    // node and what lies below it.
    FolderRead BuildFolder(const FolderSeed& seed);
    // With BuildSettings::shownFolders: the folder nodes whose tracks were left out
    // (NoNode: the root folder without a root node).
    const std::vector<NodeId>& foldersAsShown() const { return asShown_; }
    // With BuildSettings::skipFolders: the nodes of the folders not entered, and whether
    // one of them may have inherited a text page or picture that changed above it.
    const std::vector<NodeId>& foldersSkipped() const { return skipped_; }
    bool skippedInheritanceChanged() const { return skippedStale_; }

private:
    // True when a track lies in `directory` (ending with "/") or below it.
    bool ScanDirectory(const std::string& directory, DirectoryRead& read, NodeId parent);
    void scanSubdirectory(const std::string& directory, const std::string& name,
                          const std::optional<std::string_view>& description, NodeId parent, bool& result);
    void addTrack(const std::string& directory, const DirectoryListing& listing, const std::string& name,
                  const std::optional<std::string_view>& description, const TrackProbe* probe, NodeId parent);
    void AddPlaylist(const std::string& directory, const DirectoryListing& listing, const std::string& name,
                     const std::optional<std::string_view>& description);
    // The record of an entry that the scan meets in `directory`, as CreateEntry makes it,
    // its texts kept in the tree; its path linked to that of `folder`, the record of
    // `directory`, when there is one.
    CollectionItem* newEntry(const std::string& directory, const std::string& name,
                             const std::optional<std::string_view>& description,
                             const CollectionItem* folder = nullptr);
    void ResolvePlaylists();
    void resolvePlaylist(NodeId playlist);
    // A track's or playlist's text page and picture, found in its directory's listing.
    void setSideFiles(CollectionItem& record, const std::string& directory, const DirectoryListing& listing,
                      const std::string& name) const;
    // A folder's text page and picture, found in its listing, else inherited from the
    // folder above.
    void setFolderSideFiles(CollectionItem& record, const std::string& path, const DirectoryListing& listing,
                            const CollectionItem* inherited) const;
    // True when a folder of the tree is reached through a symbolic link.
    bool linkedFolders() const;
    // A side file of that name in the listing, as a path; "" when there is none.
    std::string sideFile(const std::string& directory, const DirectoryListing& listing, const std::string& name) const;
    void stepProgress();
    bool topLevel(NodeId parent) const;

    // Starts a build at `directory` (ending with "/"): nothing made yet, the read-ahead
    // asked for it.
    void begin(const std::string& directory);
    DirectoryRead readDirectory(const std::string& directory);
    // Why a folder that was read as `read` stands for what was there before (not mounted,
    // not readable); "" when the reading counts.
    std::string offlineReason(const std::string& directory, const DirectoryRead& read) const;

    CollectionTree& tree_;
    const BuildSettings& settings_;
    std::unique_ptr<ReadAhead> ahead_; // while BuildTree runs with read-ahead
    BuildProgress* progress_;
    // Leaves out the entries made since the marks when `folder` holds what the shown tree
    // holds there.
    void leaveOutIfAsShown(NodeId folder, const CollectionTree::Slots& mark, std::size_t tracks);

    std::vector<NodeId> tracks_; // the scan's tracks, in the order it made them
    std::vector<NodeId> asShown_;
    std::vector<NodeId> skipped_;
    bool skippedStale_ = false;
    // The folder's node as known, when it need not be entered.
    bool skipKnown(const std::string& path, NodeId node, const CollectionItem* inherited);
    int playlistCount_ = 0;
    int position_ = 0;
    std::uint64_t device_ = 0;                                           // of the folder being scanned
    std::unordered_set<fs::FileIdentity, fs::FileIdentityHash> visited_; // directories entered
    // Shown track paths (A-Z folded for matching) to the first track of the scan.
    // The scan's tracks by a hash of their shown path with A-Z folded: the paths are not
    // all held at once.
    std::unordered_multimap<std::size_t, std::size_t> trackByPath_;
    std::string shownPath_; // shownPath's
    // The shown path of the scan's track number `track` (valid until the next call).
    std::string_view shownPath(std::size_t track);
    std::string entryPath_;       // newEntry's, kept for its capacity
    const TextSetter keepInTree_; // sets a record's text, kept in the tree
};

} // namespace cantorel
