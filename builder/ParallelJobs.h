// Runs numbered jobs on a few threads: the work of one build step that is
// split into independent pieces.
#pragma once

#include <cstddef>
#include <functional>

// The processors the run may use (its affinity mask), at least 1.
size_t CoreCount();

// The worker count for jobs: at most one per job and one per processor the
// run may use, never below 1.
size_t WorkersFor(size_t jobs);

// Runs job(0) ... job(count - 1) on at most workers threads, the calling
// thread being one of them, and returns when all have finished. Jobs start
// in index order. A job fails by returning false or by throwing: every job
// of a lower index still runs, no job of a higher index starts after it
// (those already running finish, and their outcome counts for nothing). The
// lowest-indexed failed job decides, whatever the worker count: RunJobs
// raises its exception again when it threw, returns false when it returned
// false, and returns true when no job failed. Fewer threads than asked for
// when the system has none to give; at worst the calling thread runs every
// job.
bool RunJobs(size_t count, size_t workers, const std::function<bool(size_t)>& job);
