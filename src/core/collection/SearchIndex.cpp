#include "core/collection/SearchIndex.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace cantorel {

namespace {

constexpr char End = '\n'; // closes each field; no query word holds it
constexpr std::size_t CancelCheck = 4096;

bool contains(std::string_view text, std::string_view word)
{
    if (word.size() > text.size() || word.empty())
        return word.empty();
    return ::memmem(text.data(), text.size(), word.data(), word.size()) != nullptr;
}

// Shared string `id` of `text`, whose strings start at `starts`.
std::string_view sharedString(const std::string& text, const std::vector<std::uint32_t>& starts, std::uint32_t id)
{
    const std::size_t begin = starts[id];
    const std::size_t end = id + 1 < starts.size() ? starts[id + 1] : text.size();
    return std::string_view(text).substr(begin, end - begin);
}

// The last part of a path, and for a track without its extension.
std::string_view fileNameOf(std::string_view path, bool track)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (track) {
        const std::size_t dot = name.rfind('.');
        if (dot != std::string_view::npos && dot > 0)
            name = name.substr(0, dot);
    }
    return name;
}

} // namespace

// What a build keeps while it runs: the shared strings it has, and the text of each
// record already indexed (the entries of playlists share their tracks' records).
struct SearchIndex::Builder {
    std::vector<Entry> entries;
    BlockText text;
    std::string sharedText;
    std::vector<std::uint32_t> shared;
    std::vector<std::uint32_t> sharedOf;
    std::unordered_map<std::string_view, std::uint32_t> sharedIds; // the records' texts, as they are
    // The last list of shared strings kept in sharedOf: the next node's list, when equal, is
    // kept no more (the tracks of an album share their artist and album).
    std::uint32_t lastShared = 0;
    std::uint16_t lastCount = 0;
    // Only the entries of playlists share their tracks' records.
    bool sharedRecords = false;
    std::unordered_map<const CollectionItem*, std::size_t> placeOfRecord;
};

SearchIndex::SearchIndex(bool latin) : folder_(latin) {}

void SearchIndex::build(const CollectionTree& tree, const CodePage& ansi)
{
    Builder b;
    b.sharedRecords = tree.PlaylistsNode != NoNode;
    b.entries.reserve(tree.Nodes.size());
    Levels levels(tree);
    for (std::size_t place = 0; place < tree.Nodes.size(); ++place) {
        const NodeId n = tree.Nodes[place];
        b.entries.push_back({n, 0, 0, 0, levels.next(n), 0});
        index(b, place, tree, ansi);
    }
    install(std::move(b));
}

std::uint16_t SearchIndex::Levels::next(NodeId n)
{
    const NodeId up = tree_.parent(n);
    while (!path_.empty() && path_.back() != up)
        path_.pop_back();
    path_.push_back(n);
    return static_cast<std::uint16_t>(std::min<std::size_t>(path_.size() - 1, Entry::DeepestLevel));
}

void SearchIndex::install(Builder&& b)
{
    // What only the build needed goes first: the copies below may take its place.
    b.sharedIds = {};
    b.placeOfRecord = {};
    b.sharedText.shrink_to_fit();
    b.shared.shrink_to_fit();
    if (b.sharedOf.capacity() - b.sharedOf.size() > b.sharedOf.size() / 8)
        b.sharedOf.shrink_to_fit();
    std::unique_lock lock(mutex_);
    entries_ = std::move(b.entries);
    text_ = std::move(b.text);
    sharedText_ = std::move(b.sharedText);
    shared_ = std::move(b.shared);
    sharedOf_ = std::move(b.sharedOf);
}

void SearchIndex::rebuild(const CollectionTree& tree, const CodePage& ansi, const std::vector<NodeId>& changed)
{
    // Only this thread changes the index: what it holds is read without the lock.
    NodeId highest = 0;
    for (const NodeId n : tree.Nodes)
        highest = std::max(highest, n);
    for (const Entry& e : entries_)
        highest = std::max(highest, e.node);
    std::vector<std::int32_t> held(static_cast<std::size_t>(highest) + 1, -1); // by node: its old entry
    for (std::size_t i = 0; i < entries_.size(); ++i)
        held[static_cast<std::size_t>(entries_[i].node)] = static_cast<std::int32_t>(i);
    for (const NodeId n : changed)
        held[static_cast<std::size_t>(n)] = -1;
    // The shared strings stay, with their numbers; new nodes may add a string twice.
    Builder b;
    b.sharedText = sharedText_;
    b.shared = shared_;
    b.entries.reserve(tree.Nodes.size());
    Levels levels(tree);
    for (std::size_t place = 0; place < tree.Nodes.size(); ++place) {
        const NodeId n = tree.Nodes[place];
        const std::uint16_t level = levels.next(n);
        const std::int32_t old = held[static_cast<std::size_t>(n)];
        if (old < 0) {
            b.entries.push_back({n, 0, 0, 0, level, 0});
            index(b, place, tree, ansi);
            continue;
        }
        const Entry& was = entries_[static_cast<std::size_t>(old)];
        b.text.beginRun();
        b.text.append(text_.view(was.text, was.length));
        b.entries.push_back(
            {n, b.text.runStart(), static_cast<std::uint32_t>(b.sharedOf.size()), was.length, level, was.count});
        b.sharedOf.insert(b.sharedOf.end(), sharedOf_.begin() + was.shared, sharedOf_.begin() + was.shared + was.count);
        keepSharedList(b, b.entries.back());
    }
    held = {};
    install(std::move(b));
}

void SearchIndex::index(Builder& b, std::size_t place, const CollectionTree& tree, const CodePage& ansi)
{
    Entry& e = b.entries[place];
    const CollectionItem* r = tree.record(e.node);
    const std::string caption = folder_.fold(tree.caption(e.node).str());
    if (r && b.sharedRecords) {
        if (const auto known = b.placeOfRecord.find(r); known != b.placeOfRecord.end()) {
            // A playlist's entry: its track's text, when its caption says nothing more.
            const Entry& same = b.entries[known->second];
            const auto heldBySame = [&](std::string_view text) {
                for (std::size_t from = 0; from < text.size();) {
                    const std::size_t to = std::min(text.find(' ', from), text.size());
                    if (to > from && !holds(b, same, text.substr(from, to - from)))
                        return false;
                    from = to + 1;
                }
                return true;
            };
            if (heldBySame(caption) && heldBySame(folder_.latin(caption))) {
                e.text = same.text;
                e.length = same.length;
                e.shared = same.shared;
                e.count = same.count;
                return;
            }
        } else {
            b.placeOfRecord.emplace(r, place);
        }
    }
    // The strings it shares with other tracks first: its own text leaves out what they hold.
    e.shared = static_cast<std::uint32_t>(b.sharedOf.size());
    if (r) {
        for (const CompactString* field : {&r->Artist, &r->Album, &r->AlbumArtist, &r->Comment}) {
            if (!field->empty())
                share(b, e.shared, field->view());
        }
    }
    e.count = static_cast<std::uint16_t>(b.sharedOf.size() - e.shared) & 7;
    keepSharedList(b, e);
    // Then the words of its own fields, each only when neither the words before nor its
    // shared strings hold it: a query word holds no blank, so it is found in one word.
    b.text.beginRun();
    const auto heldBy = [&](std::string_view word) {
        e.length = static_cast<std::uint16_t>(b.text.runLength());
        e.text = b.text.runStart();
        return holds(b, e, word);
    };
    const auto addWords = [&](std::string_view text) {
        for (std::size_t from = 0; from < text.size();) {
            const std::size_t to = std::min(text.find(' ', from), text.size());
            const std::string_view word = text.substr(from, to - from);
            from = to + 1;
            // A node's own text stays below 64 KB: words beyond are not kept.
            if (word.empty() || b.text.runLength() + word.size() + 1 > BlockText::LongestRun || heldBy(word))
                continue;
            b.text.append(word);
            b.text.append(std::string_view(&End, 1));
        }
    };
    const auto add = [&](const std::string& folded) {
        addWords(folded);
        addWords(folder_.latin(folded));
    };
    if (r) {
        const bool track = tree.kind(e.node) == KindTrack;
        const std::string_view path = r->Path.linked() ? r->Path.fileName() : r->Path.wholeText();
        add(folder_.fold(displayName(std::string(fileNameOf(path, track)), ansi)));
    }
    add(caption);
    if (r) {
        if (r->Name.view() != tree.caption(e.node).view()) // a track's caption is mostly its title
            add(folder_.fold(r->Name.str()));
        add(folder_.fold(r->Description.str()));
    }
    e.text = b.text.runStart();
    e.length = static_cast<std::uint16_t>(b.text.runLength());
}

bool SearchIndex::holds(const Builder& b, const Entry& e, std::string_view word)
{
    if (contains(b.text.view(e.text, e.length), word))
        return true;
    for (std::size_t i = e.shared; i < e.shared + e.count; ++i) {
        if (contains(sharedString(b.sharedText, b.shared, b.sharedOf[i]), word))
            return true;
    }
    return false;
}

void SearchIndex::keepSharedList(Builder& b, Entry& e)
{
    if (e.count == 0)
        return;
    const auto list = b.sharedOf.begin() + e.shared;
    if (e.count == b.lastCount && e.shared != b.lastShared &&
        std::equal(list, b.sharedOf.end(), b.sharedOf.begin() + b.lastShared)) {
        b.sharedOf.erase(list, b.sharedOf.end());
        e.shared = b.lastShared;
        return;
    }
    b.lastShared = e.shared;
    b.lastCount = e.count;
}

void SearchIndex::share(Builder& b, std::size_t first, std::string_view text)
{
    const auto [id, isNew] = b.sharedIds.try_emplace(text, static_cast<std::uint32_t>(b.shared.size()));
    if (isNew) {
        b.shared.push_back(static_cast<std::uint32_t>(b.sharedText.size()));
        const std::string folded = folder_.fold(text);
        b.sharedText += folded;
        b.sharedText += End;
        if (const std::string latin = folder_.latin(folded); !latin.empty()) {
            b.sharedText += latin;
            b.sharedText += End;
        }
    }
    // Once for a node, though its artist may be its album artist too.
    if (std::find(b.sharedOf.begin() + static_cast<std::ptrdiff_t>(first), b.sharedOf.end(), id->second) ==
        b.sharedOf.end())
        b.sharedOf.push_back(id->second);
}

void SearchIndex::update(const CollectionTree& tree, const CollectionItem* record, const CodePage& ansi)
{
    if (!record)
        return;
    std::unique_lock lock(mutex_);
    // The new text goes after the old, which stays unused until the next build.
    Builder b;
    b.entries = std::move(entries_);
    b.text = std::move(text_);
    b.sharedText = std::move(sharedText_);
    b.shared = std::move(shared_);
    b.sharedOf = std::move(sharedOf_);
    for (std::size_t place = 0; place < b.entries.size(); ++place) {
        if (tree.record(b.entries[place].node) == record)
            index(b, place, tree, ansi);
    }
    entries_ = std::move(b.entries);
    text_ = std::move(b.text);
    sharedText_ = std::move(b.sharedText);
    shared_ = std::move(b.shared);
    sharedOf_ = std::move(b.sharedOf);
}

void SearchIndex::clear()
{
    std::unique_lock lock(mutex_);
    entries_.clear();
    text_.clear();
    sharedText_.clear();
    shared_.clear();
    sharedOf_.clear();
}

void SearchIndex::take(SearchIndex&& other)
{
    std::unique_lock lock(mutex_);
    std::unique_lock theirs(other.mutex_);
    entries_ = std::move(other.entries_);
    text_ = std::move(other.text_);
    sharedText_ = std::move(other.sharedText_);
    shared_ = std::move(other.shared_);
    sharedOf_ = std::move(other.sharedOf_);
}

std::vector<std::string> SearchIndex::words(std::string_view query) const
{
    std::vector<std::string> out;
    const std::string folded = folder_.fold(query);
    std::size_t start = 0;
    while (start < folded.size()) {
        const std::size_t end = std::min(folded.find_first_of(" \t\n\r", start), folded.size());
        if (end > start)
            out.emplace_back(folded.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

SearchHits SearchIndex::search(const std::vector<std::string>& words, const std::atomic<std::uint64_t>* generation,
                               std::uint64_t mine, std::size_t limit) const
{
    SearchHits hits;
    std::shared_lock lock(mutex_);
    const auto cancelled = [&] { return generation && generation->load(std::memory_order_relaxed) != mine; };
    // Which shared strings hold each word, found in one pass over them.
    std::vector<std::vector<bool>> sharedHit(words.size(), std::vector<bool>(shared_.size(), false));
    for (std::size_t w = 0; w < words.size(); ++w) {
        const std::string& word = words[w];
        std::size_t from = 0;
        while (const void* at =
                   ::memmem(sharedText_.data() + from, sharedText_.size() - from, word.data(), word.size())) {
            const auto offset = static_cast<std::uint32_t>(static_cast<const char*>(at) - sharedText_.data());
            const auto next = std::upper_bound(shared_.begin(), shared_.end(), offset);
            sharedHit[w][static_cast<std::size_t>(next - shared_.begin()) - 1] = true;
            from = next == shared_.end() ? sharedText_.size() : *next;
        }
    }
    std::vector<bool> shown(entries_.size(), false);
    std::vector<std::size_t> path; // the place of the last entry met at each level
    for (std::size_t place = 0; place < entries_.size(); ++place) {
        if (place % CancelCheck == 0 && cancelled()) {
            hits.cancelled = true;
            return hits;
        }
        const Entry& e = entries_[place];
        path.resize(std::min<std::size_t>(e.level, path.size()));
        path.push_back(place);
        const std::string_view own = text_.view(e.text, e.length);
        bool all = true;
        for (std::size_t w = 0; w < words.size() && all; ++w) {
            all = contains(own, words[w]);
            for (std::uint32_t i = 0; i < e.count && !all; ++i)
                all = sharedHit[w][sharedOf_[e.shared + i]];
        }
        if (!all || ++hits.total > limit)
            continue;
        hits.matches.push_back(e.node);
        for (auto p = path.rbegin(); p != path.rend() && !shown[*p]; ++p)
            shown[*p] = true;
    }
    for (std::size_t place = 0; place < entries_.size(); ++place) {
        if (shown[place])
            hits.shown.push_back(entries_[place].node);
    }
    return hits;
}

std::size_t SearchIndex::bytes() const
{
    std::shared_lock lock(mutex_);
    return entries_.capacity() * sizeof(Entry) + text_.bytes() + sharedText_.capacity() +
           (shared_.capacity() + sharedOf_.capacity()) * sizeof(std::uint32_t);
}

std::size_t SearchIndex::nodes() const
{
    std::shared_lock lock(mutex_);
    return entries_.size();
}

} // namespace cantorel
