// How many processors the process may run on.
#pragma once

#include <cstddef>

namespace platform {

// The CPUs in the process's affinity mask (taskset, cgroup cpusets), at
// least 1: a machine's other cores would only make workers take turns. The
// processors online when the mask cannot be read.
size_t UsableProcessorCount();

}  // namespace platform
