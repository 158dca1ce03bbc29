// SPDX-License-Identifier: Apache-2.0
// The distribution of maxRGB (the largest of a pixel's red, green and blue
// light) over a picture or a set of pictures, kept as a count per stored
// code: one bin per 0.1 cd/m², 100001 bins from 0 to 10000 cd/m².
//
// Why this width: the metadata stores a percentile as a code, and codes
// never decrease with the light (luminance_code.h), so the p-th percentile
// of the codes is exactly the code of the p-th percentile of the light. A
// bin per code therefore gives the value a sort of every pixel would give:
// the rounding to 0.1 cd/m² decides the stored value, the binning adds
// nothing. Any coarser bin would have to pick a code inside it.
#pragma once

#include <cstdint>
#include <vector>

#include "measure/luminance_code.h"

namespace kestrel::measure {

// A percentage in hundredths of a percent: 9998 is 99.98 %.
constexpr uint32_t kHundredthsInWhole = 10000;

class MaxRgbHistogram {
public:
    static constexpr uint32_t kBins = kMaxCode + 1;

    MaxRgbHistogram() : mCounts(kBins, 0) {}

    void add(uint32_t code, uint64_t count = 1) {
        mCounts[code] += count;
        mLowest = code < mLowest ? code : mLowest;
        mHighest = code > mHighest ? code : mHighest;
        mTotal += count;
        mCodeSum += uint64_t{code} * count;
    }
    // Pools two distributions: the counts add. Both visit only the bins
    // between the lowest and the highest code ever added since the last
    // clear: a picture touches a fraction of the 800 KB of counts, and a
    // shot pools and clears one per picture.
    void merge(const MaxRgbHistogram& other);
    void clear();

    uint64_t total() const { return mTotal; }
    // The mean code, rounded half up (0 for no pixels). The sum is exact in
    // 64 bits up to 1.8e14 pixels of 10000 cd/m².
    uint32_t meanCode() const {
        return mTotal == 0 ? 0 : static_cast<uint32_t>((2 * mCodeSum + mTotal) / (2 * mTotal));
    }
    uint64_t count(uint32_t code) const { return mCounts[code]; }

    // The p-th percentile, p in hundredths of a percent (0 to 10000): the
    // smallest code at or below which at least p % of the pixels lie (the
    // nearest-rank definition, so that "p % of the pixels have a maxRGB at
    // or below it" holds, as the metadata reads it). 0 for no pixels.
    uint32_t percentile(uint32_t hundredths) const;

    // Several percentiles in one pass over the bins, in the order asked.
    std::vector<uint32_t> percentiles(const std::vector<uint32_t>& hundredths) const;

private:
    std::vector<uint64_t> mCounts;
    // Every bin outside [mLowest, mHighest] is 0 (none added: mLowest past
    // mHighest).
    uint32_t mLowest = kBins, mHighest = 0;
    uint64_t mTotal = 0;
    uint64_t mCodeSum = 0;
};

}  // namespace kestrel::measure
