#include "core/collection/DirectoryListing.h"

#include "core/collection/FileKinds.h"
#include "core/platform/Collation.h"
#include "core/platform/Paths.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace cantorel {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

enum class EntryType { Other, File, Directory };

EntryType typeOf(DIR* dir, const dirent* e)
{
    if (e->d_type == DT_REG)
        return EntryType::File;
    if (e->d_type == DT_DIR)
        return EntryType::Directory;
    if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN)
        return EntryType::Other;
    struct stat st {};
    if (::fstatat(::dirfd(dir), e->d_name, &st, 0) != 0)
        return EntryType::Other;
    if (S_ISREG(st.st_mode))
        return EntryType::File;
    return S_ISDIR(st.st_mode) ? EntryType::Directory : EntryType::Other;
}

} // namespace

DirectoryListing DirectoryListing::read(const std::string& directory, const Collation& collation)
{
    DirectoryListing listing;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(directory.c_str()));
    if (!dir) {
        listing.error_ = std::strerror(errno);
        return listing;
    }
    listing.readable_ = true;
    errno = 0;
    for (const dirent* e; (e = ::readdir(dir.get())) != nullptr; errno = 0) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        switch (typeOf(dir.get(), e)) {
        case EntryType::Directory: listing.directories_.push_back(name); break;
        case EntryType::File: {
            const std::string_view ext = paths::extensionOf(name);
            if (FileKinds::of(name) != FileKind::Other)
                listing.files_.push_back(name);
            const std::string folded = text::foldAZ(ext);
            if (std::find(listing.extensions_.begin(), listing.extensions_.end(), folded) == listing.extensions_.end())
                listing.extensions_.push_back(folded);
            listing.regularFiles_.push_back(name);
            break;
        }
        case EntryType::Other: break;
        }
    }
    if (errno != 0) {
        // A listing that broke off (a share that went away) is not taken for the folder.
        listing = DirectoryListing();
        listing.error_ = std::strerror(errno);
        return listing;
    }
    collation.sort(listing.directories_);
    collation.sort(listing.files_);
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
    if (std::binary_search(regularFiles_.begin(), regularFiles_.end(), name))
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
    return regularFiles_[*it];
}

} // namespace cantorel
