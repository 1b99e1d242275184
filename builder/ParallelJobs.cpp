#include "builder/ParallelJobs.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "common/platform/Processors.h"

size_t CoreCount()
{
    return platform::UsableProcessorCount();
}

size_t WorkersFor(size_t jobs)
{
    return std::max<size_t>(1, std::min(jobs, CoreCount()));
}

bool RunJobs(size_t count, size_t workers, const std::function<bool(size_t)>& job)
{
    std::atomic<size_t> next{0};
    // The lowest index of a failed job, whether it returned false or threw;
    // count while none failed. Only the job at that index decides the
    // outcome, as it would with one worker, which never starts a later one.
    std::atomic<size_t> failed{count};
    std::mutex failureLock;
    std::exception_ptr error;  // what the job at failed threw, if it threw
    const auto fail = [&](size_t i, std::exception_ptr thrown) {
        const std::lock_guard<std::mutex> hold(failureLock);
        if (i < failed.load()) {
            failed.store(i);
            error = std::move(thrown);
        }
    };
    const auto work = [&] {
        for (;;) {
            const size_t i = next.fetch_add(1);
            if (i >= count || i > failed.load()) {
                return;
            }
            try {
                if (!job(i)) {
                    fail(i, nullptr);
                }
            } catch (...) {
                fail(i, std::current_exception());
            }
        }
    };
    // Room for every thread first: starting one can then fail only in the
    // thread's own start. A thread that cannot start, for whatever reason,
    // leaves its share to the others; at worst the calling thread runs
    // every job.
    std::vector<std::thread> threads;
    const size_t total = std::min(workers, count);
    const size_t extra = total > 1 ? total - 1 : 0;
    try {
        threads.reserve(extra);
        for (size_t n = 0; n < extra; ++n) {
            threads.emplace_back(work);
        }
    } catch (...) {
    }
    work();
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (error) {
        std::rethrow_exception(error);
    }
    return failed.load() == count;
}
