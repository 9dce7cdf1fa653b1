#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cantorel {

class CodePage;

// The lines of one directory's description file: each line's bytes and its text in
// UTF-8, and which line each entry of the directory takes. The list keeps the file's
// bytes once; a line's text is a part of them unless decoding changes it.
class DescriptionList {
public:
    struct Line {
        std::string_view raw;  // the line's bytes, without its end
        std::string_view text; // decoded (from the OEM page or UTF-8); a NUL ends the file's text
    };

    DescriptionList() = default;
    DescriptionList(const DescriptionList& other);
    DescriptionList& operator=(const DescriptionList& other);
    DescriptionList(DescriptionList&&) noexcept = default; // the lines' buffers do not move
    DescriptionList& operator=(DescriptionList&&) noexcept = default;

    // Reads `path`; nothing when it cannot be read.
    static std::optional<DescriptionList> load(const std::string& path, const CodePage& oem);
    // The lines of a file's bytes: UTF-8 when they are valid UTF-8 holding a character
    // beyond ASCII or begin with its byte-order mark (dropped from the text), else OEM.
    static DescriptionList fromBytes(const std::string& data, const CodePage& oem);
    // The list of a directory's file; empty when the file is missing or unreadable.
    static DescriptionList ReadDescriptions(const std::string& path, const CodePage& oem);

    const std::vector<Line>& lines() const { return lines_; }
    bool holdsNul() const { return holdsNul_; }
    // The file is UTF-8, and a line written into it is UTF-8 too.
    bool utf8() const { return utf8_; }

    // The line index each entry takes (-1 for none), for the entries' shown names in the
    // order the scan meets them. Each line serves one entry. First every entry takes the
    // first free line that holds its whole name (followed by a blank, a tab, the end of
    // the line or the closing quote); then every entry still without one takes the first
    // free line that merely begins with its name.
    std::vector<int> assign(const std::vector<std::string_view>& names) const;
    std::vector<int> assign(const std::vector<std::string>& names) const;

    // The description that a line matched by `name` gives: a part of `lineText`.
    static std::string_view descriptionOf(std::string_view lineText, std::string_view name);

    static bool matchesWholeName(std::string_view lineText, std::string_view name);
    static bool matchesPrefix(std::string_view lineText, std::string_view name);

private:
    // Points the lines of a copy of `from` at this list's buffers.
    void rebase(const DescriptionList& from);

    std::vector<char> bytes_;   // the file's
    std::vector<char> decoded_; // the texts that are not a part of bytes_
    std::vector<Line> lines_;
    bool holdsNul_ = false;
    bool utf8_ = false;
};

} // namespace cantorel
