#include "core/collection/DescriptionList.h"

#include "core/platform/CodePage.h"
#include "core/platform/FileSystem.h"
#include "core/platform/TextFile.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <functional>

namespace cantorel {

namespace {

bool quotedMatch(std::string_view t, std::string_view name)
{
    return t.size() >= name.size() + 2 && t.front() == '"' && text::startsWithFolded(t.substr(1), name) &&
           t[name.size() + 1] == '"';
}

} // namespace

std::optional<DescriptionList> DescriptionList::load(const std::string& path, const CodePage& oem)
{
    std::optional<std::string> data = fs::readFile(path);
    if (!data)
        return std::nullopt;
    return fromBytes(*data, oem);
}

DescriptionList DescriptionList::fromBytes(const std::string& data, const CodePage& oem)
{
    DescriptionList list;
    list.bytes_.assign(data.begin(), data.end());
    const std::string_view all(list.bytes_.data(), list.bytes_.size());
    const std::size_t nul = all.find('\0');
    list.holdsNul_ = nul != std::string_view::npos;
    const std::size_t textEnd = list.holdsNul_ ? nul : all.size();
    // A file with a NUL is no text file: its text before the NUL is in the OEM code page.
    const bool bom = all.starts_with(TextFile::ByteOrderMark);
    list.utf8_ = !list.holdsNul_ && TextFile::isUtf8(data);
    const CodePage& codePage = list.utf8_ ? *CodePage::byNumber(CodePage::Utf8) : oem;
    const std::vector<std::string_view> lines = text::splitLines(all);
    list.lines_.reserve(lines.size());
    // Texts that decoding changes go to decoded_, and get their place once it is whole.
    struct Decoded {
        std::size_t line, at, size;
    };
    std::vector<Decoded> decoded;
    for (const std::string_view raw : lines) {
        const auto lineStart = static_cast<std::size_t>(raw.data() - all.data());
        std::string_view bytes = lineStart < textEnd ? raw.substr(0, std::min(raw.size(), textEnd - lineStart)) : "";
        if (lineStart == 0 && bom)
            bytes.remove_prefix(3);
        // Valid UTF-8 decodes to itself, and so do ASCII bytes from any page.
        if (list.utf8_ || std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0; })) {
            list.lines_.push_back({raw, bytes});
            continue;
        }
        const std::string text = codePage.decode(bytes);
        decoded.push_back({list.lines_.size(), list.decoded_.size(), text.size()});
        list.decoded_.insert(list.decoded_.end(), text.begin(), text.end());
        list.lines_.push_back({raw, {}});
    }
    for (const Decoded& d : decoded)
        list.lines_[d.line].text = std::string_view(list.decoded_.data() + d.at, d.size);
    return list;
}

DescriptionList::DescriptionList(const DescriptionList& other)
    : bytes_(other.bytes_), decoded_(other.decoded_), lines_(other.lines_), holdsNul_(other.holdsNul_),
      utf8_(other.utf8_)
{
    rebase(other);
}

DescriptionList& DescriptionList::operator=(const DescriptionList& other)
{
    if (this != &other) {
        bytes_ = other.bytes_;
        decoded_ = other.decoded_;
        lines_ = other.lines_;
        holdsNul_ = other.holdsNul_;
        utf8_ = other.utf8_;
        rebase(other);
    }
    return *this;
}

void DescriptionList::rebase(const DescriptionList& from)
{
    const auto within = [](std::string_view v, const std::vector<char>& buffer) {
        const std::less<const char*> before;
        return !buffer.empty() && !before(v.data(), buffer.data()) && !before(buffer.data() + buffer.size(), v.data());
    };
    const auto moved = [&](std::string_view v) {
        if (v.empty())
            return std::string_view();
        const bool inBytes = within(v, from.bytes_);
        const char* base = inBytes ? bytes_.data() : decoded_.data();
        const char* fromBase = inBytes ? from.bytes_.data() : from.decoded_.data();
        return std::string_view(base + (v.data() - fromBase), v.size());
    };
    for (Line& line : lines_) {
        line.raw = moved(line.raw);
        line.text = moved(line.text);
    }
}

DescriptionList DescriptionList::ReadDescriptions(const std::string& path, const CodePage& oem)
{
    std::optional<DescriptionList> list = load(path, oem);
    return list ? std::move(*list) : DescriptionList();
}

bool DescriptionList::matchesWholeName(std::string_view lineText, std::string_view name)
{
    const std::string_view t = text::trim(lineText);
    if (quotedMatch(t, name))
        return true;
    if (!text::startsWithFolded(t, name))
        return false;
    return t.size() == name.size() || t[name.size()] == ' ' || t[name.size()] == '\t';
}

bool DescriptionList::matchesPrefix(std::string_view lineText, std::string_view name)
{
    const std::string_view t = text::trim(lineText);
    return text::startsWithFolded(t, name) || quotedMatch(t, name);
}

std::string_view DescriptionList::descriptionOf(std::string_view lineText, std::string_view name)
{
    std::string_view d = text::trim(lineText);
    const std::size_t skip = (!d.empty() && d.front() == '"') ? name.size() + 2 : name.size();
    d.remove_prefix(std::min(skip, d.size()));
    return text::trim(d);
}

std::vector<int> DescriptionList::assign(const std::vector<std::string>& names) const
{
    return assign(std::vector<std::string_view>(names.begin(), names.end()));
}

std::vector<int> DescriptionList::assign(const std::vector<std::string_view>& names) const
{
    // Lines sorted by their text, and by their text after an opening quote, with A-Z
    // folded, so that each entry looks only at the lines that begin with its name.
    struct Key {
        std::string_view text; // of the line itself
        int line;
    };
    std::vector<Key> bare;
    std::vector<Key> quoted;
    bare.reserve(lines_.size());
    for (std::size_t l = 0; l < lines_.size(); ++l) {
        const std::string_view t = text::trim(lines_[l].text);
        bare.push_back({t, static_cast<int>(l)});
        if (!t.empty() && t.front() == '"')
            quoted.push_back({t.substr(1), static_cast<int>(l)});
    }
    const auto before = [](const Key& a, const Key& b) {
        return text::lessFolded(a.text, b.text) || (!text::lessFolded(b.text, a.text) && a.line < b.line);
    };
    std::sort(bare.begin(), bare.end(), before);
    std::sort(quoted.begin(), quoted.end(), before);
    const auto candidates = [](const std::vector<Key>& index, std::string_view prefix, std::vector<int>& out) {
        const auto first = std::lower_bound(index.begin(), index.end(), prefix, [](const Key& k, std::string_view p) {
            return text::lessFolded(k.text, p);
        });
        for (auto it = first; it != index.end() && text::startsWithFolded(it->text, prefix); ++it)
            out.push_back(it->line);
    };

    std::vector<int> taken(names.size(), -1);
    std::vector<bool> used(lines_.size(), false);
    std::vector<int> found;
    const auto pass = [&](bool (*matches)(std::string_view, std::string_view)) {
        for (std::size_t e = 0; e < names.size(); ++e) {
            if (taken[e] >= 0 || names[e].empty())
                continue;
            found.clear();
            candidates(bare, names[e], found);
            candidates(quoted, names[e], found);
            int best = -1;
            for (int l : found) {
                if (!used[l] && (best < 0 || l < best) && matches(lines_[l].text, names[e]))
                    best = l;
            }
            if (best >= 0) {
                used[best] = true;
                taken[e] = best;
            }
        }
    };
    pass(&matchesWholeName);
    pass(&matchesPrefix);
    return taken;
}

} // namespace cantorel
