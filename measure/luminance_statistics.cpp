// SPDX-License-Identifier: Apache-2.0
#include "measure/luminance_statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "measure/signal_code.h"
#include "picture/row_threads.h"

namespace kestrel::measure {

namespace {

// NaN and negative values as 0, so that comparisons order every sample.
inline float nonNegative(float v) { return v > 0.0f ? v : 0.0f; }

}  // namespace

RowCounter::RowCounter()
    : mCounts(MaxRgbHistogram::kBins, 0), mStepCounts(kSignalSteps),
      mCodeCounts(MaxRgbHistogram::kBins, 0), mTables(signal_code_detail::tables()),
      mLowest(MaxRgbHistogram::kBins), mHighest(0), mPeak{0, 0, 0} {
    for (uint32_t step = 0; step < kSignalSteps; ++step)
        mStepCounts[step] = {0, static_cast<uint8_t>(signal_code_detail::stepKind(mTables, step))};
}

template <class Code>
void RowCounter::addRow(const float* r, const float* g, const float* b, size_t n, Code code) {
    if (n == 0) return;
    std::array<float, 3> peak = {0.0f, 0.0f, 0.0f};
    uint32_t lowest = mLowest, highest = mHighest;
    for (size_t i = 0; i < n; ++i) {
        // Codes never decrease with the value, so only the largest
        // component needs its code (the pixel's maxRGB), and only the
        // largest value of each component over the row (maxscl).
        const float red = nonNegative(r[i]);
        const float green = nonNegative(g[i]);
        const float blue = nonNegative(b[i]);
        peak[0] = std::max(peak[0], red);
        peak[1] = std::max(peak[1], green);
        peak[2] = std::max(peak[2], blue);
        const uint32_t c = code(std::max(red, std::max(green, blue)));
        ++mCounts[c];
        lowest = std::min(lowest, c);
        highest = std::max(highest, c);
    }
    mLowest = lowest;
    mHighest = highest;
    mCountedLight = true;
    for (int c = 0; c < 3; ++c) mPeak[c] = std::max(mPeak[c], code(peak[c]));
}

void RowCounter::addLight(const float* r, const float* g, const float* b, size_t n) {
    addRow(r, g, b, n, [](float nits) { return luminanceCode(static_cast<double>(nits)); });
}

namespace {

inline bool mixedStep(const signal_code_detail::Tables& t, uint32_t step) {
    return ((t.mixedSteps[step / 32] >> (step % 32)) & 1u) != 0;
}

// Out of the counting loops: taken once per 256 pixels of a step or code at
// most, and a call there would keep the loop's values in memory.
[[gnu::noinline]] void noteCarry(std::vector<uint32_t>& carries, uint32_t index) {
    carries.push_back(index);
}

}  // namespace

void RowCounter::reserveRow(size_t n) {
    if (mMaxRgb.size() < n) {
        mMaxRgb.resize(n);
        mSteps.resize(n);
        mSeveral.resize(n);
    }
}

// As addRow: codes never decrease with the signal, so only maxRGB and each
// component's peak need one (the peaks' when pooled: the code of the largest
// is the largest code). Signals above 1 have the code of 1.
void RowCounter::addSignal(const float* r, const float* g, const float* b, size_t n) {
    if (n == 0) return;
    reserveRow(n);
    reduceRow(r, g, b, n, mMaxRgb.data(), mSteps.data(), mSignalPeaks);
    countReducedRow(n);
}

void RowCounter::addYcbcr(const YcbcrRow& row, const picture::SampleRange& range) {
    if (row.width == 0) return;
    reserveRow(row.width);
    reduceYcbcrRow(row, range, mMaxRgb.data(), mSteps.data(), mSignalPeaks);
    countReducedRow(row.width);
}

void RowCounter::countReducedRow(size_t n) {
    float* maxRgb = mMaxRgb.data();
    const uint32_t* steps = mSteps.data();
    StepCount* stepCounts = mStepCounts.data();
    // Every pixel by step (the counts of mixed steps are not read). The
    // signals of steps holding thresholds wait for their code: those of
    // one-threshold steps packed at the front of the row (never past the
    // pixel being read), those of the others in mSeveral. Written to both
    // either way and kept by moving on, so that no branch depends on the
    // step.
    float* several = mSeveral.data();
    size_t waitingOne = 0, waitingSeveral = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t step = steps[i];
        StepCount& entry = stepCounts[step];
        const uint32_t kind = entry.kind;
        if (++entry.count == 0) noteCarry(mStepCarries, step);
        const float s = maxRgb[i];
        maxRgb[waitingOne] = s;
        several[waitingSeveral] = s;
        waitingOne += kind & signal_code_detail::kOneThreshold;
        waitingSeveral += kind >> 1;  // kSeveralThresholds
    }
    // The codes lie within those of the lowest and highest maxRGB counted,
    // which poolInto takes as the range.
    SignalCount* codeCounts = mCodeCounts.data();
    const signal_code_detail::Tables& tables = mTables;
    for (size_t j = 0; j < waitingOne; ++j) {
        const uint32_t c = signal_code_detail::codeInOneThresholdStep(maxRgb[j], tables);
        if (++codeCounts[c] == 0) noteCarry(mCodeCarries, c);
    }
    for (size_t j = 0; j < waitingSeveral; ++j) {
        const uint32_t c = signal_code_detail::codeInRange(several[j], tables);
        if (++codeCounts[c] == 0) noteCarry(mCodeCarries, c);
    }
}

void RowCounter::poolInto(StatisticsCollector& collector) {
    // The steps without a threshold inside give their code; the pixels of
    // the others were counted by code.
    for (uint32_t step : mStepCarries)
        if (!mixedStep(mTables, step)) collector.mHistogram.add(mTables.stepStart[step], kSignalCountWrap);
    for (uint32_t c : mCodeCarries) collector.mHistogram.add(c, kSignalCountWrap);
    mStepCarries.clear();
    mCodeCarries.clear();
    // The loops read bounds and tables from locals: a store to an 8-bit
    // count may alias any member, which would be read again every bin.
    MaxRgbHistogram& histogram = collector.mHistogram;
    const RowPeaks& signal = mSignalPeaks;
    if (signal.lowest <= signal.highest) {  // some signal was counted
        StepCount* stepCounts = mStepCounts.data();
        const uint32_t* stepStart = mTables.stepStart;
        const signal_code_detail::Tables& tables = mTables;
        const uint32_t last = signalStep(signal.highest);
        for (uint32_t step = signalStep(signal.lowest); step <= last; ++step) {
            const uint32_t count = stepCounts[step].count;
            if (count == 0) continue;
            if (!mixedStep(tables, step)) histogram.add(stepStart[step], count);
            stepCounts[step].count = 0;
        }
        for (int c = 0; c < 3; ++c)
            mPeak[c] = std::max(mPeak[c], signal_code_detail::codeInRange(
                                              std::min(signal.component[c], 1.0f), mTables));
        // The codes counted by code lie between those of the lowest and
        // the highest maxRGB.
        mLowest = std::min(mLowest, signal_code_detail::codeInRange(signal.lowest, mTables));
        mHighest = std::max(mHighest, signal_code_detail::codeInRange(signal.highest, mTables));
    }
    mSignalPeaks = RowPeaks();
    // Light in 32 bits, signal in 8: both count codes. The light's counts
    // are read only when some light was counted: measuring decoded pictures
    // counts only signal, and would read 400 KB of zeros per pooling.
    SignalCount* codeCounts = mCodeCounts.data();
    uint32_t* lightCounts = mCountedLight ? mCounts.data() : nullptr;
    const uint32_t lastCode = std::min(mHighest, MaxRgbHistogram::kBins - 1);
    for (uint32_t c = mLowest; c <= lastCode; ++c) {
        uint64_t count = codeCounts[c];
        codeCounts[c] = 0;
        if (lightCounts != nullptr) {
            count += lightCounts[c];
            lightCounts[c] = 0;
        }
        if (count != 0) histogram.add(c, count);
    }
    mCountedLight = false;
    for (int c = 0; c < 3; ++c) collector.mPeak[c] = std::max(collector.mPeak[c], mPeak[c]);
    mLowest = MaxRgbHistogram::kBins;
    mHighest = 0;
    mPeak = {0, 0, 0};
}

template <class Add>
Status StatisticsCollector::addPixels(const picture::RgbImage& image, unsigned threads, Add add) {
    const size_t pixels = size_t{image.width} * image.height;
    if (image.r.size() != pixels || image.g.size() != pixels || image.b.size() != pixels)
        return Status::failure(ErrorKind::Invalid,
                               "a " + std::to_string(image.width) + "x" +
                                   std::to_string(image.height) +
                                   " picture whose planes do not hold that many samples");
    if (pixels == 0) return {};

    std::mutex lock;
    picture::forEachRowBlock(image.height, threads, [&](unsigned from, unsigned to) {
        // Each thread counts into its own counter.
        RowCounter counter;
        const size_t begin = size_t{from} * image.width, end = size_t{to} * image.width;
        add(counter, image.r.data() + begin, image.g.data() + begin, image.b.data() + begin,
            end - begin);
        std::lock_guard<std::mutex> guard(lock);
        counter.poolInto(*this);
    });
    return {};
}

Status StatisticsCollector::add(const picture::RgbImage& image, unsigned threads) {
    return addPixels(image, threads,
                     [](RowCounter& c, const float* r, const float* g, const float* b, size_t n) {
                         c.addLight(r, g, b, n);
                     });
}

Status StatisticsCollector::addSignal(const picture::RgbImage& signal, unsigned threads) {
    return addPixels(signal, threads,
                     [](RowCounter& c, const float* r, const float* g, const float* b, size_t n) {
                         c.addSignal(r, g, b, n);
                     });
}

void StatisticsCollector::merge(const StatisticsCollector& other) {
    mHistogram.merge(other.mHistogram);
    for (int c = 0; c < 3; ++c) mPeak[c] = std::max(mPeak[c], other.mPeak[c]);
}

void StatisticsCollector::clear() {
    mHistogram.clear();
    mPeak = {0, 0, 0};
}

LuminanceStatistics StatisticsCollector::statistics() const {
    LuminanceStatistics s;
    s.pixels = mHistogram.total();
    if (s.pixels == 0) return s;
    s.maxscl = mPeak;
    s.averageMaxRgb = mHistogram.meanCode();
    std::vector<uint32_t> hundredths;
    for (uint8_t p : kPercentages) hundredths.push_back(uint32_t{p} * 100);
    hundredths.push_back(kPercentile98Hundredths);
    hundredths.push_back(kHighlightHundredths);
    hundredths.push_back(kBrightHundredths);
    std::vector<uint32_t> codes = mHistogram.percentiles(hundredths);
    for (size_t i = 0; i < kPercentages.size(); ++i) s.percentiles[i] = codes[i];
    s.percentile98 = codes[kPercentages.size()];
    s.highlightPercentile = codes[kPercentages.size() + 1];
    s.brightPercentile = codes.back();
    return s;
}

Result<LuminanceStatistics> measurePicture(const picture::RgbImage& image, unsigned threads) {
    StatisticsCollector collector;
    Status s = collector.add(image, threads);
    if (!s) return s;
    return collector.statistics();
}

}  // namespace kestrel::measure
