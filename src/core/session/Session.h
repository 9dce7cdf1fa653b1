#pragma once

#include "core/collection/CollectionTree.h"
#include "core/collection/DescriptionWriter.h"
#include "core/config/Configuration.h"
#include "core/info/CodePageRepair.h"
#include "core/info/NodeEditor.h"
#include "core/info/PicturePage.h"
#include "core/platform/Result.h"
#include "core/player/PlayerTimer.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace cantorel {

class BackgroundScan;
class BuildProgress;
struct BuildSettings;
class Collation;
class FolderUpdate;
class TreeUpdate;
class Journal;
class PlaybackController;
class ProbeCache;
class SearchIndex;
class StreamVolume;
class TMPEGPlayer;

// What a run of a program sets beside its configuration.
struct SessionOptions {
    std::string musicFolder;      // the music folder of this run; "" for the configured one
    bool probeCache = true;       // false: neither use nor update the probe cache
    std::string libraryDirectory; // where the decoder library is; "" for the program's own
    // The journal of saves: nothing for the user's (Journal::defaultFile), "" for none.
    std::optional<std::string> journalFile;
    // Keep the tree between runs (TreeSnapshot) for an instant start, and take folders that
    // cannot be read now from it; with the probe cache only.
    bool snapshot = false;
};

// How a front end plays: its timer, how often the position is polled, and where the sound
// goes (a file, or the sound output when empty).
struct PlayerSetup {
    PlayerTimerFactory timers;
    int timerMs = 250;
    std::string outputFile;
};

// A node the way a later build finds it again: its record's path and its kind.
struct NodeKey {
    std::string path;
    std::uint8_t kind = 0;
    bool empty() const { return path.empty(); }
};

// One run of the core, for the window and the command line alike: the configuration and
// what is derived from it, the collection tree, the probe cache, the player, the playback
// controller and the node editor, and the operations both front ends need.
class Session : public EditorStore {
public:
    Session(Configuration configuration, SessionOptions options = {});
    // The program's version, as --version prints it.
    static const char* version();
    // Fails, saying why, when the options cannot make a run: a music folder that is not a
    // folder.
    static Result<> checkOptions(const SessionOptions& options);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const Configuration& configuration() const { return config_; }
    const SettingsRecord& settings() const { return config_.Settings; }
    const std::string& musicFolder() const { return config_.Settings.MP3RootDir; }
    // The user's collation with the ANSI page for names that are not UTF-8.
    const Collation& collation() const { return *collation_; }
    CollectionTree& tree() { return tree_; }
    const CollectionTree& tree() const { return tree_; }

    // Threads that read directories ahead of the walk: enough to keep a disk's queue or a
    // network share busy; they mostly wait.
    static constexpr unsigned ReadAheadThreads = 16;

    // Builds the collection tree (with the probe cache unless it is off, reading the
    // directories ahead of the walk) while `progress` shows how far it is.
    void build(BuildProgress* progress = nullptr);
    // What the run could not do as configured and went on without, each said once (the
    // front end shows them); taken by the call.
    std::vector<std::string> takeNotices() { return std::exchange(notices_, {}); }
    // Builds the tree again, keeping the active track and the playing where the track
    // still exists (else the first track becomes active, as at start).
    void rebuild();
    // Shows the tree the last run left (its snapshot) before anything on disk is read;
    // false when there is none for this collection and its settings.
    bool loadSnapshot();
    // Keeps the tree as it is now for the next start.
    Result<> saveSnapshot() const;
    // Reads the collection again on a thread of its own, as build() does, while the tree
    // stays as it is; `done` is called on that thread when it ends. False while a reading
    // runs. With `changed` folders (paths without a trailing "/"), only they are read
    // where that is enough, and put in the tree in place.
    bool startScan(std::function<void()> done = {}, const std::vector<std::string>& changed = {});
    bool scanRunning() const;
    // How far the reading behind the tree is: top-level entries read, of all.
    std::pair<int, int> scanProgress() const;
    enum class ScanOutcome {
        Running,   // not finished yet
        Changed,   // its tree is in place, the active track kept as rebuild() keeps it
        Unchanged, // it found the tree as it is
        Stale,     // a save happened while it read, or a change reaches past the folders read:
                   // read the whole collection again
    };
    // Takes the finished reading; `before` is called just before the tree is replaced.
    ScanOutcome adoptScan(const std::function<void()>& before = {});
    // Drops a reading under way.
    void cancelScan();
    // A tree of the given tracks alone, one top-level node each, in the order given.
    void useTracks(const std::vector<std::string>& paths);
    NodeKey keyOf(NodeId node) const;
    NodeId find(const NodeKey& key) const;
    // Node `index` of the node table, if there is one.
    std::optional<NodeId> nodeAt(const std::string& index) const;

    // Makes the player and loads the decoder library; the playback controller exists
    // once this succeeded.
    Result<> startPlayer(PlayerSetup setup);
    bool playerStarted() const { return playback_ != nullptr; }
    TMPEGPlayer& player() { return *player_; }
    const TMPEGPlayer& player() const { return *player_; }
    PlaybackController& playback() { return *playback_; }
    const PlaybackController& playback() const { return *playback_; }
    // The process's priority class (an entry of the panel's list), the decoder thread
    // keeping its place relative to it.
    void setPriorityClass(int entry);
    // Closes the stream and unloads the decoder library.
    void stopPlayer();
    // The volume of the sound output, kept between runs; nothing while the player plays
    // into a file or has not started.
    StreamVolume* volume() { return volume_.get(); }

    NodeEditor& editor() { return *editor_; }
    DescriptionFormat descriptionFormat() const;
    // Writes what changed of a track's tag fields (TagWriter), the bytes it replaces kept
    // in the journal first; `edited` is the track's record as it will be. Without ID3v2
    // tags the whole record is written, as the editor always did. The active track is
    // refused.
    Result<> saveTag(const CollectionItem& edited, const TagChange& change) override;
    // The same for the track at `path`, whose fields not in the change keep what its tags
    // hold (not what a record shows in their place, such as the file name).
    Result<> saveTag(const std::string& path, const TagChange& change);
    Result<> saveDescription(const CollectionItem& item) override;
    // Fails, saying why, when `text` cannot be written into the entry's description file.
    Result<> checkDescription(const CollectionItem& item, const std::string& text, bool typed) override;
    // True when `path` names the file of the active track.
    bool isActiveTrack(const std::string& path) const;

    // A track's record as the scan makes it, and whether every step of reading it worked.
    struct ReadTrack {
        CollectionItem record;
        Result<> status;
        int channels = 0; // of the first frame: 1 or 2
    };
    ReadTrack readTrack(const std::string& path) const;
    // What the pages show for a node.
    std::string descriptionPage(NodeId node) const;
    Result<std::optional<Picture>> picture(NodeId node) const;
    // A file that holds the picture the Picture page shows for `node`: the picture's own
    // file, or for a tag's picture a copy written once into the user's cache (art/, named
    // by its contents); "" without one.
    std::string pictureFile(NodeId node) const;
    // The journal of saves; nothing when this run keeps none.
    Journal* journal() { return journal_.get(); }
    // Puts back what save `number` of the journal replaced (see Journal::undo); refused
    // while one of its files is the active track. The undo's own number.
    Result<std::int64_t> undo(std::int64_t number);
    // The last save of this collection that an undo would put back; 0 for none.
    Result<std::int64_t> lastSave() const;
    // The genre list as the editor offers it, the empty entry (-1) first.
    std::vector<std::pair<std::string, int>> genreList() const;
    // A path as the window shows it.
    std::string shown(const std::string& path) const;

    // The texts of `folder` that look stored in another code page, and the proposal for
    // them (in code page `forced` when given; see CodePageRepair).
    struct RepairPreview {
        std::vector<RepairField> suspects;
        std::optional<RepairProposal> proposal;
    };
    RepairPreview previewRepair(const std::string& folder, const std::string& forced = {}) const;
    // Writes a proposal, in one save of the journal; refused when it holds the active
    // track. The number of files written.
    Result<int> applyRepair(const RepairProposal& proposal);

    // The search index of the tree, built on first use after each build of the tree.
    const SearchIndex& searchIndex();
    // The same index as it is now: empty until searchIndex() builds it.
    const SearchIndex& searchIndexAsItIs() const { return *search_; }
    // Reads the nodes of `node`'s record into the search index again (after an edit).
    void searchChanged(NodeId node);

private:
    Configuration config_;
    SessionOptions options_;
    std::unique_ptr<Collation> collation_;
    CollectionTree tree_;
    using FolderDevices = std::unordered_map<std::string, std::uint64_t>;
    // How the session's readings build: read-ahead, offline folders kept, with `cache`.
    BuildSettings buildSettings(const Collation& collation, const FolderDevices& devices,
                                const std::atomic<bool>* cancel, ProbeCache* cache) const;
    // A new tree of the collection, offline folders marked (their tracks kept in the cache).
    CollectionTree buildTree(const Collation& collation, const FolderDevices& devices, BuildProgress* progress,
                             const std::atomic<bool>* cancel, std::unique_ptr<ProbeCache>& cache) const;
    // Writes a reading's probe cache on a thread of its own, kept until the next reading.
    void keepSaving(std::unique_ptr<ProbeCache> cache);
    // A reading of a few changed folders of the tree (FolderUpdate), on the scan's thread.
    void readFolders(FolderUpdate& update, const FolderDevices& devices, const std::atomic<bool>& cancel);
    // A reading of the whole collection against the tree shown (TreeUpdate), on the scan's
    // thread.
    void readAgainstTree(TreeUpdate& update, const FolderDevices& devices, BuildProgress& progress,
                         const std::atomic<bool>& cancel);
    // What the tree's snapshot depends on beside the root.
    std::string snapshotKey() const;
    // Puts a new tree in place, keeping the active track and the playing where it exists.
    void replaceTree(CollectionTree&& fresh);
    // Puts a FolderUpdate or TreeUpdate in the tree shown; Stale without one.
    template <class Update>
    ScanOutcome adoptInPlace(const Update* update, const std::function<void()>& before);
    // After a new tree: the active track found again, else the first track.
    void keepActive(const NodeKey& active);

    std::unique_ptr<ProbeCache> cache_; // of the last build; its save may still run
    std::unique_ptr<TMPEGPlayer> player_;
    std::unique_ptr<PlaybackController> playback_;
    std::unique_ptr<StreamVolume> volume_;
    std::unique_ptr<NodeEditor> editor_;
    std::unique_ptr<Journal> journal_;
    std::unique_ptr<SearchIndex> search_;
    bool searchBuilt_ = false;
    std::vector<std::string> notices_;
    bool cacheNoticed_ = false;
    std::unique_ptr<SearchIndex> scanIndex_; // of the last reading's tree, built on its thread
    // What the reading under way makes: a new tree, changed folders read alone, or the
    // whole collection read against the tree shown. The update is dropped by its reading
    // when the change could not be put in place.
    enum class ScanKind { NewTree, Folders, InPlace };
    ScanKind scanKind_ = ScanKind::NewTree;
    std::shared_ptr<FolderUpdate> scanFolders_;
    std::shared_ptr<TreeUpdate> scanInPlace_;
    bool newTreeNext_ = false;              // the last reading could not be put in place
    std::unique_ptr<ProbeCache> scanCache_; // of the last reading behind the window; its save may run
    std::unique_ptr<BackgroundScan> scan_;
    std::uint64_t saves_ = 0;     // saves of this run so far
    std::uint64_t scanSaves_ = 0; // ... when the reading under way started
};

} // namespace cantorel
