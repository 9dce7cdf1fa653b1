#pragma once

#include <string>

namespace cantorel::test {

// A directory of its own for one test, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory's path, ending with "/".
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

    // Writes `bytes` to `name` (relative to the directory), creating parent directories.
    std::string write(const std::string& name, const std::string& bytes) const;
    std::string makeDir(const std::string& name) const;
    // Hands the directory and everything in it to the user that asUnprivileged runs as
    // (owner, directories 0777, files 0666), as a user's own collection would be.
    void shareWithUnprivileged() const;

private:
    std::string path_;
};

std::string readAll(const std::string& path);

} // namespace cantorel::test
