// SPDX-License-Identifier: Apache-2.0
#include "analysis/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrel::analysis {

namespace {
constexpr size_t kRunsPerRound = 32;  // one round's runs are formatted at once
}  // namespace

bool formatInOrder(size_t count, size_t perRun,
                   const std::function<void(std::string&, size_t, size_t)>& format,
                   const std::function<bool(const std::string&, size_t, size_t)>& emit) {
    perRun = std::max<size_t>(perRun, 1);
    std::vector<std::string> texts(kRunsPerRound);
    for (size_t round = 0; round < count; round += perRun * kRunsPerRound) {
        const size_t roundEnd = std::min(count, round + perRun * kRunsPerRound);
        const size_t runs = (roundEnd - round + perRun - 1) / perRun;
        parallelFor(runs, 0, [&](size_t run) {
            const size_t begin = round + run * perRun;
            texts[run].clear();
            format(texts[run], begin, std::min(roundEnd, begin + perRun));
        });
        for (size_t run = 0; run < runs; run++) {
            const size_t begin = round + run * perRun;
            if (!emit(texts[run], begin, std::min(roundEnd, begin + perRun))) return false;
        }
    }
    return true;
}

void parallelFor(size_t count, unsigned threads, const std::function<void(size_t)>& job,
                 const std::function<void(size_t)>& done) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    const size_t workers = std::min<size_t>(threads, count);
    std::atomic<size_t> next{0};
    std::mutex doneLock;
    std::exception_ptr failure;
    std::mutex failureLock;
    auto work = [&] {
        try {
            for (size_t i = next++; i < count; i = next++) {
                job(i);
                if (done) {
                    std::lock_guard<std::mutex> hold(doneLock);
                    done(i);
                }
            }
        } catch (...) {
            // The first failure is rethrown on the calling thread; the other
            // threads stop taking jobs.
            std::lock_guard<std::mutex> hold(failureLock);
            if (!failure) failure = std::current_exception();
            next = count;
        }
    };
    std::vector<std::thread> pool;
    for (size_t t = 1; t < workers; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace kestrel::analysis
