#pragma once

#include <string>
#include <string_view>

// Lexical path rules. Paths are byte strings, never re-encoded and never cut.
namespace cantorel::paths {

// `path` made absolute against the directory `base` (itself absolute): "." and ".."
// resolved, repeated separators collapsed, ".." stopping at "/". No "~" expansion and no
// look at the file system. With `backslashes`, "\" separates components too.
std::string expand(std::string_view base, std::string_view path, bool backslashes = false);

// Everything up to and including the last "/" ("" when there is none).
std::string directoryOf(std::string_view path);
// Everything after the last "/".
std::string fileNameOf(std::string_view path);
// The path with a "/" appended unless it already ends with one.
std::string withTrailingSlash(std::string_view path);
// The path without trailing "/" (but "/" itself stays).
std::string withoutTrailingSlash(std::string_view path);
// What follows the last "/", "\" or ":".
std::string namePartOfSetting(std::string_view value);
// The extension from the last dot of the file name on ("" without a dot).
std::string_view extensionOf(std::string_view path);
// The same, A-Z lowered.
std::string foldedExtension(std::string_view path);

} // namespace cantorel::paths
