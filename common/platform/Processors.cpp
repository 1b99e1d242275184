#include "common/platform/Processors.h"

#include <sched.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

size_t OnlineProcessors()
{
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<size_t>(online) : 1;
}

}  // namespace

size_t UsableProcessorCount()
{
    // The kernel's mask may be wider than a cpu_set_t: the set grows until
    // it holds the mask.
    for (int cpus = CPU_SETSIZE; cpus <= (1 << 20); cpus *= 2) {
        cpu_set_t* set = CPU_ALLOC(cpus);
        if (!set) {
            break;
        }
        const size_t size = CPU_ALLOC_SIZE(cpus);
        CPU_ZERO_S(size, set);
        if (sched_getaffinity(0, size, set) == 0) {
            const int count = CPU_COUNT_S(size, set);
            CPU_FREE(set);
            return count > 0 ? static_cast<size_t>(count) : 1;
        }
        const int code = errno;
        CPU_FREE(set);
        if (code != EINVAL) {
            break;
        }
    }
    return OnlineProcessors();
}

}  // namespace platform
