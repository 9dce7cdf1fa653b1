#pragma once

#include <functional>
#include <string>

namespace cantorel::test {

// Runs `body` in a child process with a mount namespace of its own, where `directory`
// is a fresh tmpfs of `bytes` bytes (read-only when `readOnly`, after `prepare` has
// filled it). Returns body's exit status; 77 when the namespace or the mount is refused
// (the caller then skips).
int inFileSystem(const std::string& directory, std::size_t bytes, bool readOnly, const std::function<void()>& prepare,
                 const std::function<int()>& body);

} // namespace cantorel::test
