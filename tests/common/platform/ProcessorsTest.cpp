#include "common/platform/Processors.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <vector>

namespace {

// Puts the calling thread on some of the CPUs it may use now, and back on
// all of them when it goes.
class AffinityScope {
public:
    AffinityScope()
    {
        CPU_ZERO(&m_Saved);
        if (sched_getaffinity(0, sizeof m_Saved, &m_Saved) != 0) throw std::runtime_error("sched_getaffinity");
    }
    ~AffinityScope() { sched_setaffinity(0, sizeof m_Saved, &m_Saved); }
    AffinityScope(const AffinityScope&) = delete;
    AffinityScope& operator=(const AffinityScope&) = delete;

    std::vector<int> Usable() const
    {
        std::vector<int> cpus;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &m_Saved)) cpus.push_back(cpu);
        }
        return cpus;
    }
    bool Restrict(const std::vector<int>& cpus) const
    {
        cpu_set_t set;
        CPU_ZERO(&set);
        for (const int cpu : cpus) CPU_SET(cpu, &set);
        return sched_setaffinity(0, sizeof set, &set) == 0;
    }

private:
    cpu_set_t m_Saved;
};

TEST(ProcessorsTest, CountsTheCpusOfTheAffinityMask)
{
    const AffinityScope scope;
    const std::vector<int> usable = scope.Usable();
    ASSERT_FALSE(usable.empty());
    EXPECT_EQ(platform::UsableProcessorCount(), usable.size());
    // One CPU, the last one (never the first alone, to tell a mask from a
    // count), and two of them when there are two.
    std::vector<std::vector<int>> masks = {{usable.back()}};
    if (usable.size() >= 2) masks.push_back({usable.front(), usable.back()});
    for (const std::vector<int>& mask : masks) {
        ASSERT_TRUE(scope.Restrict(mask));
        EXPECT_EQ(platform::UsableProcessorCount(), mask.size()) << "first CPU " << mask.front();
    }
}

}  // namespace
