// Runs numbered jobs on a few threads: the work of one build step that is
// split into independent pieces.
#pragma once

#include <cstddef>
#include <functional>

// The machine's cores (processors the system reports), at least 1.
size_t CoreCount();

// The worker count for jobs: at most one per job and one per core of the
// machine, never below 1.
size_t WorkersFor(size_t jobs);

// Runs job(0) ... job(count - 1) on at most workers threads, the calling
// thread being one of them, and returns when all have finished: true when
// every job returned true. Jobs start
// in index order. A job that returns false is a failure: every job of a
// lower index still runs, no job of a higher index starts after it (those
// already running finish). Fewer threads than asked for when the system
// has none to give; at worst the calling thread runs every job. A job that
// throws has failed; after the others finished, the exception of the
// lowest-indexed one that threw is raised again to the caller.
bool RunJobs(size_t count, size_t workers, const std::function<bool(size_t)>& job);
