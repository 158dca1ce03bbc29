// SPDX-License-Identifier: Apache-2.0
// The statistics HDR10+ carries for a processing window, measured over whole
// pictures (window 0) in linear light, in the payload's units: codes of
// 0.1 cd/m² (luminance_code.h).
//
//   maxscl[c]        the largest light of colour component c (red, green, blue)
//   averageMaxRgb    the mean over the pixels of maxRGB = max(R, G, B), each
//                    pixel's as stored (its code), the mean rounded half up:
//                    exact integer arithmetic, so that neither the order of
//                    the pixels nor the threads change it
//   percentiles[i]   the maxRGB at or below which kPercentages[i] % of the
//                    pixels lie (nearest rank, exact: maxrgb_histogram.h)
//   percentile98     the same at 98 %: the entry the ten-entry form of the
//                    distribution adds between 95 and 99 %
//   highlightPercentile  the same at 99.9 %: where the highlights start
//                    that a display must not clip
//   brightPercentile the same at 99.98 %: the light of the brightest
//                    0.02 % of the pixels
//
// Light is taken as the picture gives it, with negative light and NaN as 0
// and light above 10000 cd/m² as 10000 (the top of PQ), for every value.
//
// Over several pictures (a shot), the values are those of the pooled
// pixels: maxscl the peak of the pictures' peaks, the mean over all their
// pixels, the percentiles of the pooled distribution (not an average of the
// pictures' percentiles, which would let a short flash vanish).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/status.h"
#include "measure/maxrgb_histogram.h"
#include "measure/row_signal.h"
#include "measure/signal_code.h"
#include "measure/ycbcr_row.h"
#include "picture/image.h"

namespace kestrel::measure {

// The percentages of the distribution HDR10+ streams carry, and the bright
// point beyond them, in hundredths of a percent.
constexpr std::array<uint8_t, 9> kPercentages = {1, 5, 10, 25, 50, 75, 90, 95, 99};
constexpr uint32_t kPercentile98Hundredths = 9800;
constexpr uint32_t kHighlightHundredths = 9990;
constexpr uint32_t kBrightHundredths = 9998;

struct LuminanceStatistics {
    std::array<uint32_t, 3> maxscl = {0, 0, 0};
    uint32_t averageMaxRgb = 0;
    std::array<uint32_t, kPercentages.size()> percentiles{};
    uint32_t percentile98 = 0;
    uint32_t highlightPercentile = 0;
    uint32_t brightPercentile = 0;
    uint64_t pixels = 0;

    bool operator==(const LuminanceStatistics& o) const {
        return maxscl == o.maxscl && averageMaxRgb == o.averageMaxRgb &&
               percentiles == o.percentiles && percentile98 == o.percentile98 &&
               highlightPercentile == o.highlightPercentile &&
               brightPercentile == o.brightPercentile &&
               pixels == o.pixels;
    }
};

class StatisticsCollector;

// The pixels of some rows of a picture, counted by one thread. The counts of
// several (one per block of rows, one per thread) are pooled into a
// collector: counts add and peaks take the larger, so the statistics never
// depend on how the rows were split nor in which order the parts are pooled.
// Kept from picture to picture, its counts are cleared as they are pooled.
class RowCounter {
public:
    RowCounter();
    // A row of light in cd/m², as StatisticsCollector::add takes it.
    void addLight(const float* r, const float* g, const float* b, size_t n);
    // A row of PQ signal, as StatisticsCollector::addSignal takes it.
    void addSignal(const float* r, const float* g, const float* b, size_t n);
    // A row of decoded Y'CbCr (ycbcr_row.h): the same counts as addSignal
    // on the row converted to R'G'B' signal.
    void addYcbcr(const YcbcrRow& row, const picture::SampleRange& range);
    // Adds what was counted to `collector` and starts again from nothing.
    void poolInto(StatisticsCollector& collector);

private:
    // Makes room for a row of n pixels in the row buffers.
    void reserveRow(size_t n);
    // Counts the row of n pixels reduced into mMaxRgb and mSteps.
    void countReducedRow(size_t n);
    template <class Code>
    void addRow(const float* r, const float* g, const float* b, size_t n, Code code);

    // The count of pixels of light (addLight) per code (32 bits hold any
    // picture up to 2^32 pixels).
    std::vector<uint32_t> mCounts;
    bool mCountedLight = false;  // whether mCounts holds any since the last pooling
    // Signals are counted per step of 2^-16 (signal_code.h) first: a step
    // without a threshold inside has one code, found once when pooled. The
    // signals of the other steps wait, one row at a time, for the exact
    // search. A few hundred KiB instead of a look-up in two tables of
    // 400 KB per pixel: the tables no longer fit the cache the decoder and
    // the other threads leave, and the look-ups waited on it.
    // Signals are counted in 8 bits (SignalCount), per step (kSignalSteps;
    // those of mixed steps are not read) and per code: a quarter of the
    // bytes of 32-bit counts in the cache the decoder's threads share. A
    // count that wraps notes its step or code in a carry list, once per
    // kSignalCountWrap pixels of it.
    using SignalCount = uint8_t;
    static constexpr uint32_t kSignalCountWrap = uint32_t{1} << (8 * sizeof(SignalCount));
    // A step's count beside its kind (signal_code.h), so that the pixel's
    // one look-up finds both in one cache line.
    struct StepCount {
        SignalCount count;
        uint8_t kind;
    };
    std::vector<StepCount> mStepCounts;
    std::vector<SignalCount> mCodeCounts;
    std::vector<uint32_t> mStepCarries, mCodeCarries;
    // The row being counted: each pixel's maxRGB (rows of R'G'B' only)
    // and step (then, packed at the front, the maxRGB of those of
    // one-threshold steps waiting for their code); the maxRGB of pixels of
    // steps of several thresholds.
    std::vector<float> mMaxRgb, mSeveral;
    std::vector<uint32_t> mSteps;
    RowPeaks mSignalPeaks;  // of the rows of signal since the last pooling
    signal_code_detail::Tables mTables;
    uint32_t mLowest, mHighest;     // the codes counted lie in [mLowest, mHighest]
    std::array<uint32_t, 3> mPeak;  // codes
};

// Collects pictures, one at a time or pooled from other collectors, and
// gives their statistics.
class StatisticsCollector {
public:
    // Adds every pixel of `image`, on up to `threads` threads (0: one per
    // core). Fails, adding nothing, when a plane does not hold width x
    // height samples. The result does not depend on the thread count.
    Status add(const picture::RgbImage& image, unsigned threads = 0);
    // The same for a picture of PQ signal (R'G'B', 0 to 1, as
    // picture::toSignal gives it) instead of light: the statistics are
    // exactly those of its light (picture::pqEotf of each sample), found
    // without the EOTF per sample (signal_code.h).
    Status addSignal(const picture::RgbImage& signal, unsigned threads = 0);
    // Pools the pictures of `other` with these.
    void merge(const StatisticsCollector& other);
    void clear();

    LuminanceStatistics statistics() const;
    const MaxRgbHistogram& histogram() const { return mHistogram; }

private:
    friend class RowCounter;
    template <class Add>
    Status addPixels(const picture::RgbImage& image, unsigned threads, Add add);

    MaxRgbHistogram mHistogram;
    std::array<uint32_t, 3> mPeak = {0, 0, 0};  // codes
};

// The statistics of one picture.
Result<LuminanceStatistics> measurePicture(const picture::RgbImage& image, unsigned threads = 0);

}  // namespace kestrel::measure
