#include "core/collection/TreeSnapshot.h"

#include "core/platform/FileSystem.h"
#include "core/platform/PackedBytes.h"
#include "core/platform/SafeFileWriter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unordered_map>

namespace cantorel {

namespace {

constexpr std::string_view Magic = "cantorel tree\n";

// A path that continues the path of a folder whose record was written before is written
// as that record's number and the name; any other path as 0 and the whole path.
void writeRecord(PackedWriter& w, const CollectionItem& r, std::uint32_t folder)
{
    w.number(folder);
    if (folder)
        w.text(r.Path.fileName());
    else
        w.text(r.Path.str());
    for (const CompactString* s : {&r.Name, &r.Artist, &r.Album, &r.Year, &r.Comment, &r.GenreText, &r.Description,
                                   &r.PicturePath, &r.TextPath, &r.AlbumArtist})
        w.text(s->view());
    for (const std::int64_t v :
         {r.FileSize, r.Duration, std::int64_t(r.Track), std::int64_t(r.Bitrate), std::int64_t(r.Frequency),
          std::int64_t(r.Genre), std::int64_t(r.TrackTotal), std::int64_t(r.Disc), std::int64_t(r.DiscTotal)})
        w.integer(v);
}

// The texts of a record as read, before they are kept: their room stays for the next.
using RecordTexts = std::array<std::string, 10>;

// False when the path names a folder that was not read before it.
bool readRecord(PackedReader& in, CollectionTree& tree, CollectionItem& r, const std::vector<CollectionItem*>& before,
                RecordTexts& texts)
{
    const std::uint64_t folder = in.number();
    const std::string_view path = in.text();
    if (folder > before.size())
        return false;
    if (folder == 0)
        tree.keepPath(r.Path, path);
    else
        tree.keepPathIn(r.Path, before[folder - 1]->Path, path);
    const std::array<CompactString*, 10> fields{&r.Name,     &r.Artist,     &r.Album,       &r.Year,
                                                &r.Comment,  &r.GenreText,  &r.Description, &r.PicturePath,
                                                &r.TextPath, &r.AlbumArtist};
    for (std::string& text : texts)
        text = in.text();
    // The description first: a title at its end is kept once (see TextPool).
    constexpr std::size_t Description = 6;
    tree.keepText(r.Description, texts[Description]);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i != Description)
            tree.keepText(*fields[i], texts[i]);
    }
    r.FileSize = in.integer();
    r.Duration = in.integer();
    r.Track = static_cast<std::int32_t>(in.integer());
    r.Bitrate = bitrateOf(in.integer());
    r.Frequency = frequencyOf(in.integer());
    r.Genre = static_cast<std::uint8_t>(in.integer());
    r.TrackTotal = static_cast<std::int32_t>(in.integer());
    r.Disc = static_cast<std::int32_t>(in.integer());
    r.DiscTotal = static_cast<std::int32_t>(in.integer());
    return true;
}

} // namespace

std::string TreeSnapshot::fileFor(const std::string& rootDirectory)
{
    return fs::cacheFileFor("tree-", rootDirectory, ".bin");
}

std::string TreeSnapshot::encode(const CollectionTree& tree, const std::string& key)
{
    PackedWriter w;
    write(w, tree, key);
    return w.take();
}

void TreeSnapshot::write(PackedWriter& w, const CollectionTree& tree, const std::string& key)
{
    w.text(Magic);
    w.number(Version);
    w.text(key);
    // Records first, each once however many nodes share it (a track and its playlist
    // entries); then the nodes in table order, each with its parent's place in the table.
    // Sorted tables rather than hash maps: the save at the end of a run must not add
    // much to what the tree takes.
    NodeId highest = NoNode;
    for (const NodeId n : tree.Nodes)
        highest = std::max(highest, n);
    std::vector<std::uint32_t> place(static_cast<std::size_t>(highest + 1), 0); // by node: 1 + its place
    // Only a playlist's entries share records: without playlists each node's record is
    // the next one, and no table of records is needed.
    const bool shared = tree.PlaylistsNode != NoNode;
    std::vector<std::pair<const CollectionItem*, std::uint32_t>> recordIndex; // record, 1 + its number
    for (const NodeId n : tree.Nodes) {
        if (const CollectionItem* r = tree.record(n); r && shared)
            recordIndex.emplace_back(r, 0);
    }
    std::sort(recordIndex.begin(), recordIndex.end());
    recordIndex.erase(std::unique(recordIndex.begin(), recordIndex.end()), recordIndex.end());
    const auto numberOf = [&](const CollectionItem* r) -> std::uint32_t& {
        return std::lower_bound(recordIndex.begin(), recordIndex.end(), std::make_pair(r, std::uint32_t{0}))->second;
    };
    std::uint32_t recordCount = 0;
    for (const NodeId n : tree.Nodes) {
        const CollectionItem* r = tree.record(n);
        if (r && (!shared || numberOf(r) == 0)) {
            ++recordCount;
            if (shared)
                numberOf(r) = recordCount;
        }
    }
    w.number(recordCount);
    std::uint32_t written = 0;
    std::unordered_map<const char*, std::uint32_t> folders; // the path of each folder written, by its text
    for (const NodeId n : tree.Nodes) {
        const CollectionItem* r = tree.record(n);
        if (r && (!shared || numberOf(r) > written)) {
            const auto folder = folders.find(r->Path.folderText().data());
            writeRecord(w, *r, r->Path.linked() && folder != folders.end() ? folder->second : 0);
            ++written;
            if (tree.isFolder(n) && r->Path.borrowed() && !r->Path.linked())
                folders.emplace(r->Path.wholeText().data(), written);
        }
    }
    w.number(tree.Nodes.size());
    std::uint32_t met = 0; // records met so far, without playlists
    for (std::size_t i = 0; i < tree.Nodes.size(); ++i) {
        const NodeId n = tree.Nodes[i];
        place[static_cast<std::size_t>(n)] = static_cast<std::uint32_t>(i + 1);
        const NodeId parent = tree.parent(n);
        w.number(parent == NoNode ? 0 : place[static_cast<std::size_t>(parent)]);
        w.number(tree.kind(n));
        w.text(tree.caption(n).view());
        const CollectionItem* r = tree.record(n);
        w.number(!r ? 0 : shared ? numberOf(r) : ++met);
    }
    const auto placeOf = [&](NodeId n) -> std::uint64_t {
        return n == NoNode || n > highest ? 0 : place[static_cast<std::size_t>(n)];
    };
    w.number(placeOf(tree.RootNode));
    w.number(placeOf(tree.PlaylistsNode));
    w.number(tree.offlineNodes().size());
    for (const auto& [node, reason] : tree.offlineNodes()) {
        w.number(placeOf(node));
        w.text(reason);
    }
    w.number(tree.FolderDevices.size());
    for (const auto& [path, device] : tree.FolderDevices) {
        w.text(path);
        w.number(device);
    }
    w.text(Magic); // the end: a file cut short lacks it
}

std::optional<CollectionTree> TreeSnapshot::decode(std::string_view bytes, const std::string& key)
{
    PackedReader in(bytes);
    return decode(in, key, bytes.size());
}

std::optional<CollectionTree> TreeSnapshot::decode(PackedReader& in, const std::string& key, std::uint64_t size)
{
    if (in.text() != Magic || in.number() != Version || in.text() != key || !in.ok())
        return std::nullopt;
    const std::uint64_t recordCount = in.number();
    if (recordCount > size) // a record takes a byte at least
        return std::nullopt;
    CollectionTree tree;
    std::vector<CollectionItem*> records;
    records.reserve(recordCount);
    RecordTexts texts;
    for (std::uint64_t i = 0; i < recordCount && in.ok(); ++i) {
        CollectionItem* record = tree.newRecord();
        if (!readRecord(in, tree, *record, records, texts))
            return std::nullopt;
        records.push_back(record);
    }
    const std::uint64_t nodeCount = in.number();
    if (!in.ok() || nodeCount > size)
        return std::nullopt;
    tree.Nodes.reserve(nodeCount);
    for (std::uint64_t i = 0; i < nodeCount && in.ok(); ++i) {
        const std::uint64_t parent = in.number();
        const auto kind = static_cast<std::uint8_t>(in.number());
        const std::string_view caption = in.text();
        const std::uint64_t record = in.number();
        // A parent stands before its children in the table.
        if (parent > i || record > records.size() || kind > KindPlaylists)
            return std::nullopt;
        tree.Nodes.push_back(tree.addNode(parent == 0 ? NoNode : tree.Nodes[parent - 1], caption,
                                          record == 0 ? nullptr : records[record - 1], kind));
    }
    const auto nodeAt = [&](std::uint64_t place) -> std::optional<NodeId> {
        if (place > tree.Nodes.size())
            return std::nullopt;
        return place == 0 ? NoNode : tree.Nodes[place - 1];
    };
    const auto root = nodeAt(in.number());
    const auto playlists = nodeAt(in.number());
    if (!root || !playlists)
        return std::nullopt;
    tree.RootNode = *root;
    tree.PlaylistsNode = *playlists;
    const std::uint64_t offline = in.number();
    for (std::uint64_t i = 0; i < offline && in.ok(); ++i) {
        const auto node = nodeAt(in.number());
        const std::string_view reason = in.text();
        if (!node)
            return std::nullopt;
        tree.markOffline(*node, std::string(reason));
    }
    const std::uint64_t devices = in.number();
    for (std::uint64_t i = 0; i < devices && in.ok(); ++i) {
        const std::string_view path = in.text();
        tree.FolderDevices[std::string(path)] = in.number();
    }
    if (in.text() != Magic || !in.ok() || !in.atEnd())
        return std::nullopt;
    // The table must be the tree's own pre-order, as a build leaves it.
    std::vector<NodeId> table = std::move(tree.Nodes);
    tree.fillNodeTable();
    if (tree.Nodes != table)
        return std::nullopt;
    return tree;
}

Result<> TreeSnapshot::save(const CollectionTree& tree, const std::string& file, const std::string& key)
{
    if (file.empty())
        return {};
    if (fs::kindOf(file) == fs::PathKind::Other)
        return fail(file + " is not a regular file");
    std::error_code ignored; // a folder that cannot be made fails the write
    std::filesystem::create_directories(file.substr(0, file.rfind('/')), ignored);
    // Written a block at a time: the whole file held beside the tree would add a third to
    // the run's memory as it ends.
    return fs::replaceFileWith(file, [&](int fd) -> Result<> {
        int error = 0;
        PackedWriter w([fd, &error](std::string_view bytes) {
            if (fs::writeAll(fd, bytes.data(), bytes.size()))
                return true;
            error = errno;
            return false;
        });
        write(w, tree, key);
        if (!w.finish())
            return fail(std::string("cannot write: ") + std::strerror(error));
        return {};
    });
}

std::optional<CollectionTree> TreeSnapshot::load(const std::string& file, const std::string& key)
{
    // Only a regular file is opened: a pipe in its place would hang the start.
    if (file.empty() || fs::kindOf(file) != fs::PathKind::RegularFile)
        return std::nullopt;
    // Read a block at a time: the whole file held beside the tree it makes would double
    // what the start needs at its peak.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rbe"), std::fclose);
    const std::optional<std::int64_t> size = fs::fileSize(file);
    if (!in || !size)
        return std::nullopt;
    PackedReader reader(in.get());
    return decode(reader, key, static_cast<std::uint64_t>(*size));
}

} // namespace cantorel
