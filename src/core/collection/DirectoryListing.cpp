#include "core/collection/DirectoryListing.h"

#include "core/collection/FileKinds.h"
#include "core/platform/Collation.h"
#include "core/platform/OpenFolder.h"
#include "core/platform/Paths.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace cantorel {

namespace {

enum class EntryType { Other, File, Directory };

EntryType typeOf(int directory, const dirent64* e)
{
    if (e->d_type == DT_REG)
        return EntryType::File;
    if (e->d_type == DT_DIR)
        return EntryType::Directory;
    if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN)
        return EntryType::Other;
    struct stat st {};
    if (::fstatat(directory, e->d_name, &st, 0) != 0)
        return EntryType::Other;
    if (S_ISREG(st.st_mode))
        return EntryType::File;
    return S_ISDIR(st.st_mode) ? EntryType::Directory : EntryType::Other;
}

} // namespace

DirectoryListing DirectoryListing::read(const std::string& directory, const Collation& collation)
{
    return read(fs::OpenFolder(directory), collation);
}

DirectoryListing DirectoryListing::read(const fs::OpenFolder& dir, const Collation& collation)
{
    DirectoryListing listing;
    if (!dir.isOpen()) {
        listing.error_ = std::strerror(dir.error());
        return listing;
    }
    listing.readable_ = true;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> regular; // where each name lies in names_
    const auto add = [&listing, &regular](std::string_view name, EntryType type) {
        if (type == EntryType::Directory) {
            listing.directories_.emplace_back(name);
        } else if (type == EntryType::File) {
            if (FileKinds::of(name) != FileKind::Other)
                listing.files_.emplace_back(name);
            const std::string_view ext = paths::extensionOf(name);
            if (std::none_of(listing.extensions_.begin(), listing.extensions_.end(),
                             [&](const std::string& e) { return text::equalsFolded(e, ext); }))
                listing.extensions_.push_back(text::foldAZ(ext));
            regular.emplace_back(static_cast<std::uint32_t>(listing.names_.size()),
                                 static_cast<std::uint32_t>(name.size()));
            listing.names_.insert(listing.names_.end(), name.begin(), name.end());
            listing.names_.push_back('\0');
        }
    };
    // Listed with getdents64 into a buffer of its own: opendir takes a 32 KB heap block for
    // each folder, and a scan of thousands of folders spends more on that than on listing.
    alignas(dirent64) char buffer[16384];
    long got = 0;
    while ((got = ::getdents64(dir.fd(), buffer, sizeof buffer)) > 0) {
        // Room for what this part of the listing may add, taken at once.
        std::size_t entries = 0;
        for (long at = 0; at < got; at += reinterpret_cast<const dirent64*>(buffer + at)->d_reclen)
            ++entries;
        listing.files_.reserve(listing.files_.size() + entries);
        regular.reserve(regular.size() + entries);
        listing.names_.reserve(listing.names_.size() + static_cast<std::size_t>(got));
        for (long at = 0; at < got;) {
            const auto* e = reinterpret_cast<const dirent64*>(buffer + at);
            at += e->d_reclen;
            const std::string_view name = e->d_name;
            if (name != "." && name != "..")
                add(name, typeOf(dir.fd(), e));
        }
    }
    if (got < 0) {
        // A listing that broke off (a share that went away) is not taken for the folder.
        const int error = errno;
        listing = DirectoryListing();
        listing.error_ = std::strerror(error);
        return listing;
    }
    collation.sort(listing.directories_);
    collation.sort(listing.files_);
    listing.regularFiles_.reserve(regular.size());
    for (const auto& [at, size] : regular)
        listing.regularFiles_.emplace_back(listing.names_.data() + at, size);
    std::sort(listing.regularFiles_.begin(), listing.regularFiles_.end());
    return listing;
}

std::vector<std::string> DirectoryListing::scanOrder() const
{
    std::vector<std::string> names = directories_;
    names.insert(names.end(), files_.begin(), files_.end());
    return names;
}

bool DirectoryListing::hasExtension(std::string_view extension) const
{
    return std::any_of(extensions_.begin(), extensions_.end(),
                       [&](const std::string& e) { return text::equalsFolded(e, extension); });
}

std::optional<std::string> DirectoryListing::findFile(const std::string& name) const
{
    // Most look-ups are for side files that a directory does not have at all.
    if (!hasExtension(paths::extensionOf(name)))
        return std::nullopt;
    if (std::binary_search(regularFiles_.begin(), regularFiles_.end(), std::string_view(name)))
        return name;
    if (!foldedIndexMade_) {
        byFoldedName_.resize(regularFiles_.size());
        for (std::uint32_t i = 0; i < regularFiles_.size(); ++i)
            byFoldedName_[i] = i;
        // Stable, so that of names equal with A-Z folded the first in byte order comes first.
        std::stable_sort(byFoldedName_.begin(), byFoldedName_.end(), [this](std::uint32_t a, std::uint32_t b) {
            return text::lessFolded(regularFiles_[a], regularFiles_[b]);
        });
        foldedIndexMade_ = true;
    }
    const auto it =
        std::lower_bound(byFoldedName_.begin(), byFoldedName_.end(), name,
                         [&](std::uint32_t i, const std::string& n) { return text::lessFolded(regularFiles_[i], n); });
    if (it == byFoldedName_.end() || !text::equalsFolded(regularFiles_[*it], name))
        return std::nullopt;
    return std::string(regularFiles_[*it]);
}

} // namespace cantorel
