#pragma once

#include <functional>

namespace cantorel::test {

// Runs `body` in a child process; as root the child first becomes the user "nobody", so
// that permissions apply to it. Returns the child's exit status (body's result), or -1.
int asUnprivileged(const std::function<int()>& body);

// The user id the child runs as.
unsigned unprivilegedUid();

} // namespace cantorel::test
