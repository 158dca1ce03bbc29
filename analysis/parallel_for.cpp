// SPDX-License-Identifier: Apache-2.0
#include "analysis/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrel::analysis {

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
