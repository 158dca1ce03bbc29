#include "measure/luminance_statistics.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "picture/row_threads.h"

namespace kestrel::measure {

namespace {

// Light as every statistic takes it: NaN and negative light 0, light above
// the top of PQ the top.
inline float clampLight(float v) {
    if (!(v > 0.0f)) return 0.0f;
    return v < kMaxNits ? v : kMaxNits;
}

}  // namespace

Status StatisticsCollector::add(const picture::RgbImage& image, unsigned threads) {
    const size_t pixels = size_t{image.width} * image.height;
    if (image.r.size() != pixels || image.g.size() != pixels || image.b.size() != pixels)
        return Status::failure(ErrorKind::Invalid,
                               "a " + std::to_string(image.width) + "x" +
                                   std::to_string(image.height) +
                                   " picture whose planes do not hold that many samples");
    if (pixels == 0) return {};

    std::vector<double> rowSums(image.height, 0.0);
    std::mutex lock;
    picture::forEachRowBlock(image.height, threads, [&](unsigned from, unsigned to) {
        // Each thread counts into its own histogram; 32 bits hold the
        // counts of any picture up to 2^32 pixels.
        std::vector<uint32_t> counts(MaxRgbHistogram::kBins, 0);
        std::array<float, 3> peak = {0.0f, 0.0f, 0.0f};
        for (unsigned y = from; y < to; ++y) {
            const size_t row = size_t{y} * image.width;
            const float* r = image.r.data() + row;
            const float* g = image.g.data() + row;
            const float* b = image.b.data() + row;
            double sum = 0.0;
            for (unsigned x = 0; x < image.width; ++x) {
                const float rr = clampLight(r[x]);
                const float gg = clampLight(g[x]);
                const float bb = clampLight(b[x]);
                peak[0] = std::max(peak[0], rr);
                peak[1] = std::max(peak[1], gg);
                peak[2] = std::max(peak[2], bb);
                const float m = std::max(rr, std::max(gg, bb));
                ++counts[luminanceCode(m)];
                sum += static_cast<double>(m);
            }
            rowSums[y] = sum;
        }
        std::lock_guard<std::mutex> guard(lock);
        for (uint32_t c = 0; c < MaxRgbHistogram::kBins; ++c)
            if (counts[c] != 0) mHistogram.add(c, counts[c]);
        for (int c = 0; c < 3; ++c) mPeak[c] = std::max(mPeak[c], peak[c]);
    });
    for (double s : rowSums) mSum += s;
    return {};
}

void StatisticsCollector::merge(const StatisticsCollector& other) {
    mHistogram.merge(other.mHistogram);
    for (int c = 0; c < 3; ++c) mPeak[c] = std::max(mPeak[c], other.mPeak[c]);
    mSum += other.mSum;
}

void StatisticsCollector::clear() {
    mHistogram.clear();
    mPeak = {0.0f, 0.0f, 0.0f};
    mSum = 0.0;
}

LuminanceStatistics StatisticsCollector::statistics() const {
    LuminanceStatistics s;
    s.pixels = mHistogram.total();
    if (s.pixels == 0) return s;
    for (int c = 0; c < 3; ++c) s.maxscl[c] = luminanceCode(mPeak[c]);
    s.averageMaxRgb = luminanceCode(mSum / static_cast<double>(s.pixels));
    std::vector<uint32_t> hundredths;
    for (uint8_t p : kPercentages) hundredths.push_back(uint32_t{p} * 100);
    hundredths.push_back(kBrightHundredths);
    std::vector<uint32_t> codes = mHistogram.percentiles(hundredths);
    for (size_t i = 0; i < kPercentages.size(); ++i) s.percentiles[i] = codes[i];
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
