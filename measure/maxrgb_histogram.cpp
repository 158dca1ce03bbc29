// SPDX-License-Identifier: Apache-2.0
#include "measure/maxrgb_histogram.h"

#include <algorithm>

namespace kestrel::measure {

void MaxRgbHistogram::merge(const MaxRgbHistogram& other) {
    for (uint32_t i = other.mLowest; i <= other.mHighest && i < kBins; ++i)
        mCounts[i] += other.mCounts[i];
    mLowest = std::min(mLowest, other.mLowest);
    mHighest = std::max(mHighest, other.mHighest);
    mTotal += other.mTotal;
    mCodeSum += other.mCodeSum;
}

void MaxRgbHistogram::clear() {
    if (mLowest <= mHighest) std::fill(mCounts.begin() + mLowest, mCounts.begin() + mHighest + 1, 0);
    mLowest = kBins;
    mHighest = 0;
    mTotal = 0;
    mCodeSum = 0;
}

uint32_t MaxRgbHistogram::percentile(uint32_t hundredths) const {
    return percentiles({hundredths})[0];
}

std::vector<uint32_t> MaxRgbHistogram::percentiles(const std::vector<uint32_t>& hundredths) const {
    std::vector<uint32_t> codes(hundredths.size(), 0);
    if (mTotal == 0) return codes;
    // Visited in ascending order, so that one pass over the bins serves all.
    std::vector<size_t> order(hundredths.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return hundredths[a] < hundredths[b]; });
    uint64_t below = 0;  // pixels in the bins before `code`
    uint32_t code = 0;
    for (size_t i : order) {
        // The rank of the pixel that holds the percentile, from 1:
        // ceil(total * p / 10000), at least 1. Exact in 64 bits for any
        // picture count a film has (2^64 / 10^4 pixels).
        uint64_t p = std::min(hundredths[i], kHundredthsInWhole);
        uint64_t rank = (mTotal * p + kHundredthsInWhole - 1) / kHundredthsInWhole;
        rank = std::max<uint64_t>(rank, 1);
        while (below + mCounts[code] < rank) {
            below += mCounts[code];
            ++code;
        }
        codes[i] = code;
    }
    return codes;
}

}  // namespace kestrel::measure
