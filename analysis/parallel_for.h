// SPDX-License-Identifier: Apache-2.0
// A plain pool of threads for independent jobs: job i writes only its own
// result slot, so what comes out does not depend on how the jobs were
// shared between threads or in which order they ended.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace kestrel::analysis {

// Runs job(0) ... job(count - 1) on up to `threads` threads (0: one per
// core; the calling thread is one of them) and returns when all have ended.
// `done`, when given, is called after each job with its index, one call at a
// time (never two at once), from whichever thread ran the job.
void parallelFor(size_t count, unsigned threads, const std::function<void(size_t)>& job,
                 const std::function<void(size_t)>& done = {});

// Items 0 ... count - 1 turned into text on every core, in runs of `perRun`
// items, and handed on in item order: format(text, begin, end) appends the
// text of items [begin, end) to an empty `text`; emit(text, begin, end) gets
// each run's text in order, a round of runs at a time, so that one round's
// text is all that is held. What is emitted does not depend on the threads.
// Returns false as soon as emit does (a failed write), true otherwise.
bool formatInOrder(size_t count, size_t perRun,
                   const std::function<void(std::string&, size_t, size_t)>& format,
                   const std::function<bool(const std::string&, size_t, size_t)>& emit);

}  // namespace kestrel::analysis
