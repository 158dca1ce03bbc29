#include "measure/luminance_statistics.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "measure/signal_code.h"
#include "picture/row_threads.h"

namespace kestrel::measure {

namespace {

// NaN and negative values as 0, so that comparisons order every sample.
inline float nonNegative(float v) { return v > 0.0f ? v : 0.0f; }

}  // namespace

template <class Code>
Status StatisticsCollector::addPixels(const picture::RgbImage& image, unsigned threads, Code code) {
    const size_t pixels = size_t{image.width} * image.height;
    if (image.r.size() != pixels || image.g.size() != pixels || image.b.size() != pixels)
        return Status::failure(ErrorKind::Invalid,
                               "a " + std::to_string(image.width) + "x" +
                                   std::to_string(image.height) +
                                   " picture whose planes do not hold that many samples");
    if (pixels == 0) return {};

    std::mutex lock;
    picture::forEachRowBlock(image.height, threads, [&](unsigned from, unsigned to) {
        // Each thread counts into its own histogram; 32 bits hold the
        // counts of any picture up to 2^32 pixels.
        std::vector<uint32_t> counts(MaxRgbHistogram::kBins, 0);
        std::array<float, 3> peak = {0.0f, 0.0f, 0.0f};
        const size_t begin = size_t{from} * image.width, end = size_t{to} * image.width;
        for (size_t i = begin; i < end; ++i) {
            // Codes never decrease with the value, so only the largest
            // component needs its code (the pixel's maxRGB), and only the
            // largest value of each component over the picture (maxscl).
            const float r = nonNegative(image.r[i]);
            const float g = nonNegative(image.g[i]);
            const float b = nonNegative(image.b[i]);
            peak[0] = std::max(peak[0], r);
            peak[1] = std::max(peak[1], g);
            peak[2] = std::max(peak[2], b);
            ++counts[code(std::max(r, std::max(g, b)))];
        }
        std::lock_guard<std::mutex> guard(lock);
        for (uint32_t c = 0; c < MaxRgbHistogram::kBins; ++c)
            if (counts[c] != 0) mHistogram.add(c, counts[c]);
        for (int c = 0; c < 3; ++c) mPeak[c] = std::max(mPeak[c], code(peak[c]));
    });
    return {};
}

Status StatisticsCollector::add(const picture::RgbImage& image, unsigned threads) {
    return addPixels(image, threads,
                     [](float nits) { return luminanceCode(static_cast<double>(nits)); });
}

Status StatisticsCollector::addSignal(const picture::RgbImage& signal, unsigned threads) {
    return addPixels(signal, threads, [](float s) { return codeOfSignal(s); });
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
    hundredths.push_back(kHighlightHundredths);
    hundredths.push_back(kBrightHundredths);
    std::vector<uint32_t> codes = mHistogram.percentiles(hundredths);
    for (size_t i = 0; i < kPercentages.size(); ++i) s.percentiles[i] = codes[i];
    s.highlightPercentile = codes[kPercentages.size()];
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
