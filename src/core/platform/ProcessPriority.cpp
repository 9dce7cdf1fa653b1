#include "core/platform/ProcessPriority.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace cantorel {

ProcessPriority::Class ProcessPriority::classOfEntry(int index)
{
    switch (index) {
    case 0: return Idle;
    case 2: return High;
    case 3: return RealTime;
    default: return Normal;
    }
}

void ProcessPriority::setClass(Class priorityClass)
{
    struct DirCloser {
        void operator()(DIR* d) const { ::closedir(d); }
    };
    std::unique_ptr<DIR, DirCloser> tasks(::opendir("/proc/self/task"));
    if (!tasks) {
        (void)::setpriority(PRIO_PROCESS, 0, priorityClass);
        return;
    }
    while (const dirent* e = ::readdir(tasks.get())) {
        const long tid = std::strtol(e->d_name, nullptr, 10);
        if (tid > 0)
            (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), priorityClass);
    }
}

int ProcessPriority::current()
{
    errno = 0;
    return ::getpriority(PRIO_PROCESS, 0);
}

} // namespace cantorel
