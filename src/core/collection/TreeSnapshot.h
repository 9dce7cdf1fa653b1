#pragma once

#include "core/collection/CollectionTree.h"
#include "core/platform/Result.h"

#include <optional>
#include <string>

namespace cantorel {

class PackedReader;
class PackedWriter;

// The collection tree as a run left it, kept in the user's cache so that the next start
// can show it before anything on disk is read. One file a collection; `key` names what the
// tree depends on (root, names, code pages), and a file made for another key, of another
// version, cut short or damaged is not taken.
class TreeSnapshot {
public:
    static constexpr int Version = 2; // 2: a file's path follows its folder's

    // The snapshot file of the collection at `rootDirectory` in the user's cache folder;
    // "" when there is none.
    static std::string fileFor(const std::string& rootDirectory);

    static Result<> save(const CollectionTree& tree, const std::string& file, const std::string& key);
    // The tree with its node table, offline marks and folder devices.
    static std::optional<CollectionTree> load(const std::string& file, const std::string& key);

    // The same in memory.
    static std::string encode(const CollectionTree& tree, const std::string& key);
    static std::optional<CollectionTree> decode(std::string_view bytes, const std::string& key);
    // The same from a reader of a file of `size` bytes.
    static std::optional<CollectionTree> decode(PackedReader& in, const std::string& key, std::uint64_t size);

private:
    static void write(PackedWriter& w, const CollectionTree& tree, const std::string& key);
};

} // namespace cantorel
