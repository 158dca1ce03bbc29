// SPDX-License-Identifier: Apache-2.0
// A plain pool of threads for independent jobs: job i writes only its own
// result slot, so what comes out does not depend on how the jobs were
// shared between threads or in which order they ended.
#pragma once

#include <cstddef>
#include <functional>

namespace kestrel::analysis {

// Runs job(0) ... job(count - 1) on up to `threads` threads (0: one per
// core; the calling thread is one of them) and returns when all have ended.
// `done`, when given, is called after each job with its index, one call at a
// time (never two at once), from whichever thread ran the job.
void parallelFor(size_t count, unsigned threads, const std::function<void(size_t)>& job,
                 const std::function<void(size_t)>& done = {});

}  // namespace kestrel::analysis
