// SPDX-License-Identifier: Apache-2.0
// Work on a picture split into blocks of rows, one block per thread.
#pragma once

#include <algorithm>
#include <functional>
#include <thread>
#include <vector>

namespace kestrel::picture {

// Calls work(from, to) for consecutive row ranges covering 0..rows, on up
// to `threads` threads (0: one per core), and returns when all are done.
inline void forEachRowBlock(unsigned rows, unsigned threads,
                            const std::function<void(unsigned, unsigned)>& work) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = std::max(1u, std::min(threads, rows));
    if (threads <= 1) {
        if (rows > 0) work(0, rows);
        return;
    }
    std::vector<std::thread> pool;
    const unsigned per = (rows + threads - 1) / threads;
    for (unsigned from = per; from < rows; from += per)
        pool.emplace_back(work, from, std::min(rows, from + per));
    work(0, std::min(rows, per));
    for (std::thread& t : pool) t.join();
}

}  // namespace kestrel::picture
