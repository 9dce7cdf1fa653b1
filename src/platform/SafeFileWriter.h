#pragma once

#include "platform/Result.h"

#include <string>

namespace cantorel::fs {

// Replaces the contents of `path` without ever leaving it half written: the data goes to
// a temporary file beside the target (beside the link's target for a symbolic link), is
// flushed to disk, takes the old file's mode, owner and group where it can, and is then
// renamed over the target. A new file gets the mode its creation gives it. The failure
// says what failed.
Result<> replaceFile(const std::string& path, const std::string& data);

} // namespace cantorel::fs
