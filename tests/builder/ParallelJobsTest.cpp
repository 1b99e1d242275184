#include "builder/ParallelJobs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
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

// How each job of a mix ends.
enum class Outcome { kTrue, kFalse, kThrow };

// What the caller sees of one run: "true", "false" or the text of the
// exception, and how often each job ran.
struct Seen {
    std::string outcome;
    std::vector<int> ran;
};

Seen RunMix(const std::vector<Outcome>& mix, size_t workers)
{
    std::vector<std::atomic<int>> ran(mix.size());
    Seen seen;
    try {
        const bool result = RunJobs(mix.size(), workers, [&](size_t i) {
            // Higher jobs end sooner, so that side by side their failures
            // come in before those of lower jobs.
            std::this_thread::sleep_for(std::chrono::milliseconds(2 * (mix.size() - i)));
            ran[i].fetch_add(1);
            if (mix[i] == Outcome::kThrow) {
                throw std::runtime_error("job " + std::to_string(i));
            }
            return mix[i] == Outcome::kTrue;
        });
        seen.outcome = result ? "true" : "false";
    } catch (const std::runtime_error& e) {
        seen.outcome = e.what();
    }
    for (const std::atomic<int>& n : ran) seen.ran.push_back(n.load());
    return seen;
}

TEST(ParallelJobsTest, SeveralWorkersFailAsOneWorker)
{
    // Every mix of four jobs that return true, return false or throw.
    constexpr size_t kJobs = 4;
    size_t mixes = 1;
    for (size_t n = 0; n < kJobs; ++n) mixes *= 3;
    for (size_t code = 0; code < mixes; ++code) {
        std::vector<Outcome> mix;
        std::string name;
        for (size_t n = 0, rest = code; n < kJobs; ++n, rest /= 3) {
            mix.push_back(static_cast<Outcome>(rest % 3));
            name += "tfx"[rest % 3];
        }
        SCOPED_TRACE(name);
        const Seen alone = RunMix(mix, 1);
        // One worker stops at the first failure.
        const size_t first = name.find_first_not_of('t');
        const std::string expected =
            first == std::string::npos ? "true" : name[first] == 'f' ? "false" : "job " + std::to_string(first);
        EXPECT_EQ(alone.outcome, expected);
        const size_t last = first == std::string::npos ? kJobs - 1 : first;
        for (size_t i = 0; i < kJobs; ++i) EXPECT_EQ(alone.ran[i], i <= last ? 1 : 0) << i;

        for (const size_t workers : {2u, 3u, 4u}) {
            SCOPED_TRACE(workers);
            const Seen side = RunMix(mix, workers);
            EXPECT_EQ(side.outcome, alone.outcome);
            // Jobs after the failing one may have run already; up to it
            // every job ran once.
            for (size_t i = 0; i <= last; ++i) EXPECT_EQ(side.ran[i], 1) << i;
        }
    }
}

TEST(ParallelJobsTest, WorkersForStaysWithinJobsAndCores)
{
    EXPECT_EQ(WorkersFor(0), 1u);
    EXPECT_EQ(WorkersFor(1), 1u);
    EXPECT_GE(WorkersFor(1000), 1u);
    EXPECT_LE(WorkersFor(1000), std::max(1u, std::thread::hardware_concurrency()));
    EXPECT_LE(WorkersFor(2), 2u);
}

// ------------------------------------------- several workers: order and limit

TEST(ParallelJobsWorkersTest, JobsStartInIndexOrder)
{
    constexpr size_t kJobs = 400;
    for (const size_t workers : {2u, 4u, 8u}) {
        SCOPED_TRACE(workers);
        std::atomic<size_t> started{0};
        std::vector<size_t> startedBefore(kJobs);
        EXPECT_TRUE(RunJobs(kJobs, workers, [&](size_t i) {
            startedBefore[i] = started.fetch_add(1);
            std::this_thread::yield();
            return true;
        }));
        // Job i starts only after jobs 0 to i - 1 were handed out, and each
        // other worker holds at most one of them not yet started.
        for (size_t i = workers; i < kJobs; ++i) {
            EXPECT_GE(startedBefore[i] + (workers - 1), i) << i;
        }
    }
}

TEST(ParallelJobsWorkersTest, NoMoreJobsRunAtOnceThanWorkers)
{
    struct Case {
        size_t jobs;
        size_t workers;
    };
    for (const Case c : {Case{12, 3}, Case{40, 4}, Case{3, 8}}) {
        SCOPED_TRACE(testing::Message() << c.jobs << " jobs, " << c.workers << " workers");
        const size_t expected = std::min(c.jobs, c.workers);
        std::atomic<size_t> running{0};
        std::atomic<size_t> peak{0};
        std::mutex lock;
        std::set<std::thread::id> threads;
        EXPECT_TRUE(RunJobs(c.jobs, c.workers, [&](size_t) {
            const size_t now = running.fetch_add(1) + 1;
            size_t seen = peak.load();
            while (now > seen && !peak.compare_exchange_weak(seen, now)) {
            }
            {
                const std::lock_guard<std::mutex> hold(lock);
                threads.insert(std::this_thread::get_id());
            }
            // Each job waits until every worker is busy, so the peak shows
            // the limit; the deadline only ends a run that hangs, never
            // getting there.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
            while (peak.load() < expected && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
            running.fetch_sub(1);
            return true;
        }));
        EXPECT_EQ(peak.load(), expected) << (peak.load() < expected ? "hung: the workers never all ran at once"
                                                                     : "more jobs at once than workers");
        EXPECT_EQ(threads.size(), expected);
        EXPECT_EQ(threads.count(std::this_thread::get_id()), 1u) << "the calling thread is one of the workers";
    }
}

}  // namespace
