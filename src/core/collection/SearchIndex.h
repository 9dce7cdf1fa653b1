#pragma once

#include "core/collection/CollectionTree.h"
#include "core/platform/BlockText.h"
#include "core/platform/CodePage.h"
#include "core/platform/TextFolder.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace cantorel {

// What a search found: the nodes that match, and the nodes a filtered tree shows (the
// matches and every folder above them), both in tree order.
struct SearchHits {
    std::vector<NodeId> matches; // the first ones, as many as were asked for
    std::vector<NodeId> shown;
    std::size_t total = 0; // of all the matches
    bool cancelled = false;
};

// The folded text of every node, for find-as-you-type: the words of a node's caption,
// file name, title and description kept with the node (each word once, and none that
// another word or a shared string holds); artist, album, album artist and comment kept
// once for all the tracks that share them. A search may run on another thread
// while the window thread updates a node.
class SearchIndex {
public:
    // `latin`: also keep a Latin spelling of text in other scripts.
    explicit SearchIndex(bool latin);

    void build(const CollectionTree& tree, const CodePage& ansi);
    // Indexes `tree` again after its nodes changed in place: a node this index holds keeps
    // its text unless it is one of `changed`; the others are read. Much quicker than a
    // build when few nodes are new.
    void rebuild(const CollectionTree& tree, const CodePage& ansi, const std::vector<NodeId>& changed);
    // Reads again the nodes whose record is `record` (after a save).
    void update(const CollectionTree& tree, const CollectionItem* record, const CodePage& ansi);
    void clear();
    // Takes what `other` holds (an index built elsewhere, of the tree now shown).
    void take(SearchIndex&& other);

    // The words of a query, folded; a node matches when each is found in one of its fields.
    std::vector<std::string> words(std::string_view query) const;
    // The nodes matching all `words`, the first `limit` of them. A search whose
    // `generation` moves on from `mine` stops early, cancelled.
    SearchHits search(const std::vector<std::string>& words, const std::atomic<std::uint64_t>* generation = nullptr,
                      std::uint64_t mine = 0, std::size_t limit = SIZE_MAX) const;
    // What the index holds, in bytes, and over how many nodes.
    std::size_t bytes() const;
    std::size_t nodes() const;

private:
    // A node, at its place in tree order (a pre-order: a node's parent is the last node
    // before it one level up), in 16 bytes.
    struct Entry {
        static constexpr int DeepestLevel = 8191; // a path of PATH_MAX has fewer
        NodeId node;
        std::uint32_t text;       // its own text in text_: where it starts
        std::uint32_t shared;     // its shared strings: where their numbers start in sharedOf_
        std::uint16_t length;     // the length of its own text
        std::uint16_t level : 13; // 0 at the top
        std::uint16_t count : 3;  // the number of its shared strings (artist, album, album artist, comment)
    };
    static_assert(sizeof(Entry) == 16);
    // The levels of the nodes of a table in tree order, one by one.
    class Levels {
    public:
        explicit Levels(const CollectionTree& tree) : tree_(tree) {}
        std::uint16_t next(NodeId n);

    private:
        const CollectionTree& tree_;
        std::vector<NodeId> path_; // the nodes above, and the last node
    };
    struct Builder;
    // Puts what a build made in place of what the index held.
    void install(Builder&& b);
    void index(Builder& b, std::size_t place, const CollectionTree& tree, const CodePage& ansi);
    // True when the node's own text or one of its shared strings holds `word`.
    static bool holds(const Builder& b, const Entry& e, std::string_view word);
    // Keeps the list of shared strings that `e` just added at the end of sharedOf, or
    // points `e` at the last list kept when it is the same.
    static void keepSharedList(Builder& b, Entry& e);
    // Adds shared string `text` to the node whose shared strings begin at `first`.
    void share(Builder& b, std::size_t first, std::string_view text);

    mutable std::shared_mutex mutex_;
    TextFolder folder_;
    std::vector<Entry> entries_;
    BlockText text_;                    // every node's text, each field closed by '\n'
    std::string sharedText_;            // the shared strings, each closed by '\n'
    std::vector<std::uint32_t> shared_; // where each shared string starts in sharedText_
    std::vector<std::uint32_t> sharedOf_;
};

} // namespace cantorel
