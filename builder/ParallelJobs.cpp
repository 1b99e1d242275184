#include "builder/ParallelJobs.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

size_t CoreCount()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

size_t WorkersFor(size_t jobs)
{
    return std::max<size_t>(1, std::min(jobs, CoreCount()));
}

bool RunJobs(size_t count, size_t workers, const std::function<bool(size_t)>& job)
{
    std::atomic<size_t> next{0};
    // The lowest index of a job that returned false; count while none did.
    std::atomic<size_t> failed{count};
    // What the lowest-indexed throwing job raised, raised again here.
    std::mutex errorLock;
    std::exception_ptr error;
    size_t errorIndex = count;
    const auto work = [&] {
        for (;;) {
            const size_t i = next.fetch_add(1);
            if (i >= count || i > failed.load()) {
                return;
            }
            bool ok = false;
            try {
                ok = job(i);
            } catch (...) {
                const std::lock_guard<std::mutex> hold(errorLock);
                if (i < errorIndex) {
                    error = std::current_exception();
                    errorIndex = i;
                }
            }
            if (!ok) {
                size_t lowest = failed.load();
                while (i < lowest && !failed.compare_exchange_weak(lowest, i)) {
                }
            }
        }
    };
    std::vector<std::thread> threads;
    for (size_t n = 1; n < std::min(workers, count); ++n) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
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
