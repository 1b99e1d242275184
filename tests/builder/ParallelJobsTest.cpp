#include "builder/ParallelJobs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Which jobs ran, with failures at the given indexes.
struct Ran {
    bool result = false;
    std::vector<int> ran;
};

Ran RunWith(size_t count, size_t workers, const std::vector<size_t>& failing)
{
    Ran run;
    std::vector<std::atomic<int>> ran(count);
    run.result = RunJobs(count, workers, [&](size_t i) {
        ran[i].fetch_add(1);
        for (const size_t f : failing) {
            if (f == i) return false;
        }
        return true;
    });
    for (const std::atomic<int>& n : ran) run.ran.push_back(n.load());
    return run;
}

TEST(ParallelJobsTest, EveryJobRunsOnce)
{
    for (const size_t workers : {1u, 3u, 8u, 100u}) {
        SCOPED_TRACE(workers);
        const Ran run = RunWith(50, workers, {});
        EXPECT_TRUE(run.result);
        EXPECT_EQ(run.ran, std::vector<int>(50, 1));
    }
    EXPECT_TRUE(RunWith(0, 4, {}).result);
}

TEST(ParallelJobsTest, JobsBelowAFailureStillRun)
{
    for (const size_t workers : {1u, 4u, 16u}) {
        SCOPED_TRACE(workers);
        const Ran run = RunWith(40, workers, {25, 12});
        EXPECT_FALSE(run.result);
        for (size_t i = 0; i <= 12; ++i) EXPECT_EQ(run.ran[i], 1) << i;
        if (workers == 1) {
            // One worker: nothing after the first failure starts.
            for (size_t i = 13; i < 40; ++i) EXPECT_EQ(run.ran[i], 0) << i;
        }
    }
}

TEST(ParallelJobsTest, TheLowestThrowingJobsExceptionReachesTheCaller)
{
    std::vector<std::atomic<int>> ran(20);
    try {
        RunJobs(20, 4, [&](size_t i) -> bool {
            ran[i].fetch_add(1);
            if (i == 9 || i == 5) throw std::runtime_error("job " + std::to_string(i));
            return true;
        });
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "job 5");
    }
    for (size_t i = 0; i <= 5; ++i) EXPECT_EQ(ran[i].load(), 1) << i;
}

TEST(ParallelJobsTest, WorkersForStaysWithinJobsAndCores)
{
    EXPECT_EQ(WorkersFor(0), 1u);
    EXPECT_EQ(WorkersFor(1), 1u);
    EXPECT_GE(WorkersFor(1000), 1u);
    EXPECT_LE(WorkersFor(1000), std::max(1u, std::thread::hardware_concurrency()));
    EXPECT_LE(WorkersFor(2), 2u);
}

}  // namespace
