#include "support/Namespace.h"

#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace cantorel::test {

namespace {

bool enterMountNamespace()
{
    if (::unshare(CLONE_NEWNS) == 0)
        return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    // Without privileges: a user namespace of our own maps us to root inside it.
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return false;
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

} // namespace

int inFileSystem(const std::string& directory, std::size_t bytes, bool readOnly, const std::function<void()>& prepare,
                 const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        const std::string options = "size=" + std::to_string(bytes);
        if (!enterMountNamespace() || ::mount("tmpfs", directory.c_str(), "tmpfs", 0, options.c_str()) != 0)
            ::_exit(77);
        prepare();
        if (readOnly && ::mount(nullptr, directory.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            ::_exit(77);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace cantorel::test
