// SPDX-License-Identifier: Apache-2.0
// Statistics measured in pictures: the rounding to codes at its edges, the
// percentiles against a sort of every pixel, the nearest-rank boundaries, and
// pooling over a shot.
#include "measure/luminance_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "measure/luminance_code.h"
#include "measure/maxrgb_histogram.h"

namespace kestrel::measure {
namespace {

using picture::RgbImage;

RgbImage image(unsigned w, unsigned h, float r, float g, float b) {
    RgbImage img;
    img.width = w;
    img.height = h;
    img.r.assign(size_t{w} * h, r);
    img.g.assign(size_t{w} * h, g);
    img.b.assign(size_t{w} * h, b);
    return img;
}

TEST(LuminanceCode, RoundsHalvesUpAndClampsAtBothEnds) {
    // 0.05 cd/m² is the edge between codes 0 and 1; the float nearest to
    // 0.05 lies just above it, the next one down just below.
    EXPECT_EQ(luminanceCode(0.05f), 1u);
    EXPECT_EQ(luminanceCode(std::nextafter(0.05f, 0.0f)), 0u);
    EXPECT_EQ(luminanceCode(123.44f), 1234u);
    EXPECT_EQ(luminanceCode(123.46f), 1235u);
    EXPECT_EQ(luminanceCode(9999.95f), kMaxCode);
    EXPECT_EQ(luminanceCode(9999.9f), 99999u);
    EXPECT_EQ(luminanceCode(10000.0f), kMaxCode);
    EXPECT_EQ(luminanceCode(std::numeric_limits<float>::infinity()), kMaxCode);
    EXPECT_EQ(luminanceCode(-3.0f), 0u);
    EXPECT_EQ(luminanceCode(std::numeric_limits<float>::quiet_NaN()), 0u);
}

TEST(MaxRgbHistogram, NearestRankAtTheBoundaries) {
    MaxRgbHistogram h;
    // 100 pixels with codes 1..100: the p-th percentile is code p exactly.
    for (uint32_t c = 1; c <= 100; ++c) h.add(c);
    EXPECT_EQ(h.percentile(100), 1u);     // 1 %: rank 1
    EXPECT_EQ(h.percentile(101), 2u);     // 1.01 %: rank ceil(1.01) = 2
    EXPECT_EQ(h.percentile(5000), 50u);   // 50 %: rank 50, not 51
    EXPECT_EQ(h.percentile(9900), 99u);
    EXPECT_EQ(h.percentile(9998), 100u);  // 99.98 %: rank ceil(99.98) = 100
    EXPECT_EQ(h.percentile(0), 1u);       // at least rank 1
    EXPECT_EQ(h.percentile(10000), 100u);
    // Asked out of order, each gets its own.
    EXPECT_EQ(h.percentiles({9900, 100, 5000}), (std::vector<uint32_t>{99, 1, 50}));
    h.add(kMaxCode, 100);  // 200 pixels now
    EXPECT_EQ(h.percentile(5000), 100u);
    EXPECT_EQ(h.percentile(5001), kMaxCode);
    EXPECT_EQ(MaxRgbHistogram().percentile(5000), 0u);
}

TEST(MaxRgbHistogram, MergeAndClearReachTheFirstAndLastBin) {
    // Merge and clear visit only the bins between the lowest and highest
    // code added: the two ends of the range must be moved and cleared.
    MaxRgbHistogram ends, pooled;
    ends.add(0, 3);
    ends.add(kMaxCode, 5);
    pooled.add(7);
    pooled.merge(ends);
    EXPECT_EQ(pooled.count(0), 3u);
    EXPECT_EQ(pooled.count(7), 1u);
    EXPECT_EQ(pooled.count(kMaxCode), 5u);
    EXPECT_EQ(pooled.total(), 9u);
    pooled.clear();
    EXPECT_EQ(pooled.count(0), 0u);
    EXPECT_EQ(pooled.count(kMaxCode), 0u);
    // A cleared histogram added at one end only, then merged: the other
    // end's old count does not come back.
    ends.clear();
    ends.add(kMaxCode);
    pooled.merge(ends);
    pooled.merge(MaxRgbHistogram());  // nothing added: nothing moves
    EXPECT_EQ(pooled.count(0), 0u);
    EXPECT_EQ(pooled.count(kMaxCode), 1u);
    EXPECT_EQ(pooled.total(), 1u);
    // Cleared after a single bin: that bin is 0 and the histogram empty.
    MaxRgbHistogram single;
    single.add(12345, 2);
    single.clear();
    EXPECT_EQ(single.count(12345), 0u);
    EXPECT_EQ(single.percentile(5000), 0u);
    single.add(12344);
    EXPECT_EQ(single.percentile(10000), 12344u);
}

// The reference: every pixel's maxRGB sorted, the nearest rank picked, then
// rounded to its code. The collector rounds first and counts; the two must
// agree for every percentile.
uint32_t sortedPercentile(std::vector<float> maxRgb, uint32_t hundredths) {
    std::sort(maxRgb.begin(), maxRgb.end());
    uint64_t n = maxRgb.size();
    uint64_t rank = std::max<uint64_t>(1, (n * hundredths + 9999) / 10000);
    return luminanceCode(maxRgb[rank - 1]);
}

TEST(LuminanceStatistics, PercentilesEqualASortOfEveryPixel) {
    std::mt19937 random(20261207);
    for (int trial = 0; trial < 20; ++trial) {
        // Odd sizes; light spread over the whole PQ range on a log scale,
        // with a share of values exactly on code edges (k + 0.05).
        unsigned w = 17 + trial * 13, h = 5 + trial * 3;
        RgbImage img = image(w, h, 0, 0, 0);
        std::vector<float> maxRgb;
        std::uniform_real_distribution<double> logLight(-4.0, 4.0);
        std::uniform_int_distribution<int> edge(0, 99999);
        for (size_t i = 0; i < img.r.size(); ++i) {
            float* planes[3] = {&img.r[i], &img.g[i], &img.b[i]};
            for (float* p : planes)
                *p = (i % 7 == 0) ? static_cast<float>(edge(random) / 10.0 + 0.05)
                                  : static_cast<float>(std::pow(10.0, logLight(random)));
            maxRgb.push_back(std::min(std::max(img.r[i], std::max(img.g[i], img.b[i])), 10000.0f));
        }
        Result<LuminanceStatistics> s = measurePicture(img, 3);
        ASSERT_TRUE(s.ok());
        for (size_t i = 0; i < kPercentages.size(); ++i)
            EXPECT_EQ(s->percentiles[i], sortedPercentile(maxRgb, kPercentages[i] * 100u))
                << "trial " << trial << ", " << int(kPercentages[i]) << " %";
        EXPECT_EQ(s->percentile98, sortedPercentile(maxRgb, kPercentile98Hundredths));
        EXPECT_EQ(s->highlightPercentile, sortedPercentile(maxRgb, kHighlightHundredths));
        EXPECT_EQ(s->brightPercentile, sortedPercentile(maxRgb, kBrightHundredths));
        EXPECT_EQ(s->pixels, img.r.size());
        // The result does not depend on how many threads measured it.
        EXPECT_EQ(*measurePicture(img, 1), *s);
    }
}

TEST(LuminanceStatistics, PeaksPerComponentAndTheMeanOfMaxRgb) {
    // Red 100 and blue 1000 on a green picture of 50: maxscl takes each
    // component's own peak, maxRGB the largest of the three per pixel.
    RgbImage img = image(4, 1, 0.0f, 50.0f, 0.0f);
    img.r[0] = 100.0f;
    img.b[3] = 1000.0f;
    img.g[2] = std::numeric_limits<float>::quiet_NaN();  // counts as 0
    Result<LuminanceStatistics> s = measurePicture(img);
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(s->maxscl, (std::array<uint32_t, 3>{1000, 500, 10000}));
    // maxRGB 100, 50, 0, 1000: mean 287.5 cd/m², code 2875.
    EXPECT_EQ(s->averageMaxRgb, 2875u);
    EXPECT_EQ(s->percentiles[0], 0u);    // 1 %: the NaN pixel
    EXPECT_EQ(s->percentiles[4], 500u);  // 50 %: rank 2 of 0, 50, 100, 1000
    EXPECT_EQ(s->percentiles[8], 10000u);

    // A flat grey above the top of PQ and below zero.
    EXPECT_EQ(measurePicture(image(3, 3, 20000.0f, 1.0f, 1.0f))->maxscl[0], kMaxCode);
    EXPECT_EQ(measurePicture(image(3, 3, -5.0f, -5.0f, -5.0f))->averageMaxRgb, 0u);
}

TEST(LuminanceStatistics, AShotPoolsItsPixelsRatherThanAveragingItsPictures) {
    // Nine dark pictures and one bright flash: the shot's 95 % and 99 %
    // points are the flash's light (10 % of the pooled pixels), where the
    // mean of the pictures' 99 % points would be a tenth of it.
    StatisticsCollector shot;
    for (int i = 0; i < 9; ++i) ASSERT_TRUE(shot.add(image(8, 8, 1.0f, 1.0f, 1.0f)).ok());
    StatisticsCollector flash;
    ASSERT_TRUE(flash.add(image(8, 8, 4000.0f, 10.0f, 10.0f)).ok());
    shot.merge(flash);
    LuminanceStatistics s = shot.statistics();
    EXPECT_EQ(s.pixels, 640u);
    EXPECT_EQ(s.maxscl, (std::array<uint32_t, 3>{40000, 100, 100}));
    EXPECT_EQ(s.percentiles[6], 10u);     // 90 %: rank 576, the last dark pixel
    EXPECT_EQ(s.percentiles[7], 40000u);  // 95 %: rank 608
    EXPECT_EQ(s.percentiles[8], 40000u);
    EXPECT_EQ(s.averageMaxRgb, 4009u);    // (9 * 1 + 4000) / 10 = 400.9 cd/m²
}

TEST(LuminanceStatistics, PlanesOfTheWrongSizeAreRefusedAndAddNothing) {
    RgbImage img = image(4, 4, 1.0f, 1.0f, 1.0f);
    img.b.pop_back();
    StatisticsCollector c;
    Status s = c.add(img);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.kind(), ErrorKind::Invalid);
    EXPECT_EQ(s.message(), "a 4x4 picture whose planes do not hold that many samples");
    EXPECT_EQ(c.statistics().pixels, 0u);
    EXPECT_EQ(measurePicture(RgbImage{})->pixels, 0u);  // empty: nothing, no failure
}

}  // namespace
}  // namespace kestrel::measure
