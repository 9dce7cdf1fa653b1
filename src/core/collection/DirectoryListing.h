#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cantorel {

namespace fs {
class OpenFolder;
}

class Collation;

// One reading of a directory, as the scan and the description writer see it: its
// subdirectories and its tracks and playlists, each list in collation order, and every
// name for the case-folded look-ups of side files.
class DirectoryListing {
public:
    // Moved, not copied: the names' buffer stays where it is.
    DirectoryListing() = default;
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;
    DirectoryListing(DirectoryListing&&) noexcept = default;
    DirectoryListing& operator=(DirectoryListing&&) noexcept = default;

    // Lists `directory` (ending with "/"). Only regular files and directories take part;
    // symbolic links are followed. An unreadable directory gives an empty listing.
    static DirectoryListing read(const std::string& directory, const Collation& collation);
    // The same for a folder opened already.
    static DirectoryListing read(const fs::OpenFolder& folder, const Collation& collation);

    bool readable() const { return readable_; }
    // Why the directory could not be read ("" when it could).
    const std::string& error() const { return error_; }
    const std::vector<std::string>& directories() const { return directories_; }
    // The tracks and playlists (FileKinds).
    const std::vector<std::string>& files() const { return files_; }

    // The entry names in the order the scan meets them: directories, then files.
    std::vector<std::string> scanOrder() const;

    // The file named `name`: the exact name when it is a regular file here, else the first
    // regular file in byte order that equals it with A-Z folded.
    std::optional<std::string> findFile(const std::string& name) const;
    // True when a regular file here has the extension (A-Z folded, from the dot on).
    bool hasExtension(std::string_view extension) const;

private:
    bool readable_ = false;
    std::string error_;
    std::vector<std::string> directories_;
    std::vector<std::string> files_;
    // Every regular file's name, each followed by a NUL, and the names in byte order.
    std::vector<char> names_;
    std::vector<std::string_view> regularFiles_;
    // Indices of regularFiles_ in folded order (ties by bytes), made at the first look-up
    // that needs it.
    mutable std::vector<std::uint32_t> byFoldedName_;
    mutable bool foldedIndexMade_ = false;
    std::vector<std::string> extensions_; // the folded extensions that regular files have
};

} // namespace cantorel
