// SPDX-License-Identifier: Apache-2.0
// The code of a PQ signal's light through the tables against the EOTF
// itself: equal for every signal tried, above all at the thresholds where
// the code steps.
#include "measure/signal_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>
#include <random>

#include "measure/luminance_code.h"
#include "measure/luminance_statistics.h"
#include "picture/pq.h"

namespace kestrel::measure {
namespace {

uint32_t direct(float s) { return luminanceCode(static_cast<double>(picture::pqEotf(s))); }

TEST(SignalCode, AgreesWithTheEotfAtEveryStepAndBetween) {
    // Each threshold and the float just below it: the two sides of a step.
    for (uint32_t k = 1; k <= kMaxCode; ++k) {
        const float t = signalThreshold(k);
        ASSERT_EQ(codeOfSignal(t), direct(t)) << k;
        ASSERT_GE(direct(t), k) << k;
        const float below = std::nextafter(t, 0.0f);
        ASSERT_EQ(codeOfSignal(below), direct(below)) << k;
        ASSERT_LT(direct(below), k) << k;
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<float> any(0.0f, 1.0f);
    for (int i = 0; i < 1000000; ++i) {
        const float s = any(random);
        ASSERT_EQ(codeOfSignal(s), direct(s)) << s;
    }
    EXPECT_EQ(codeOfSignal(0.0f), 0u);
    EXPECT_EQ(codeOfSignal(-0.5f), 0u);
    EXPECT_EQ(codeOfSignal(std::nanf("")), 0u);
    EXPECT_EQ(codeOfSignal(1.0f), kMaxCode);
    EXPECT_EQ(codeOfSignal(1.5f), kMaxCode);
}

TEST(SignalCode, StepsHoldAtMostTheSearchedThresholdsAndUnmixedStepsOneCode) {
    // The fixed search counts at most kMaxThresholdsPerStep thresholds past
    // a step's first code; and a step not marked mixed has one code from
    // its first float to its last, by the EOTF itself (a mixed one may have
    // its threshold at its very end, which only costs the search).
    const signal_code_detail::Tables& t = signal_code_detail::tables();
    uint32_t most = 0, mixed = 0;
    for (uint32_t i = 0; i < signal_code_detail::kSteps; ++i) {
        most = std::max(most, t.stepStart[i + 1] - t.stepStart[i]);
        const bool isMixed = ((t.mixedSteps[i / 32] >> (i % 32)) & 1u) != 0;
        mixed += isMixed ? 1 : 0;
        const float first = static_cast<float>(i) / signal_code_detail::kSteps;
        const float last = std::nextafter(static_cast<float>(i + 1) / signal_code_detail::kSteps, 0.0f);
        ASSERT_EQ(signalStep(first), i);
        ASSERT_EQ(signalStep(last), i);
        if (!isMixed) {
            ASSERT_EQ(direct(first), t.stepStart[i]) << i;
            ASSERT_EQ(direct(last), t.stepStart[i]) << i;
        } else {
            // A threshold lies inside or at the step's end.
            const float next = static_cast<float>(i + 1) / signal_code_detail::kSteps;
            ASSERT_NE(direct(first), direct(next)) << i;
        }
    }
    EXPECT_EQ(most, kMaxThresholdsPerStep);
    EXPECT_EQ(signalStep(1.0f), signal_code_detail::kSteps);
    EXPECT_EQ(t.stepStart[signal_code_detail::kSteps], kMaxCode);
    // Dark steps are mostly unmixed, the top ones all mixed.
    EXPECT_GT(mixed, 20000u);
    EXPECT_LT(mixed, 40000u);
}

TEST(SignalCode, OneThresholdStepsAgreeWithThePlainTablesAndTheEotfAtTheirEdges) {
    // Each step's kind against the plain tables' count of the thresholds
    // it holds, the compact entry of every one-threshold step against the
    // threshold table, and its code against the EOTF at the step's first
    // and last float and on both sides of its threshold.
    using namespace signal_code_detail;
    const Tables& t = tables();
    uint32_t ones = 0;
    for (uint32_t i = 0; i <= kSteps; ++i) {
        const uint32_t held = i < kSteps ? t.stepStart[i + 1] - t.stepStart[i] : 0;
        const StepKind kind = stepKind(t, i);
        ASSERT_EQ(kind, held == 0 ? kOneCode : held == 1 ? kOneThreshold : kSeveralThresholds) << i;
        if (kind != kOneThreshold) continue;
        ++ones;
        ASSERT_EQ(t.oneThreshold[i].firstCode, t.stepStart[i]) << i;
        ASSERT_EQ(t.oneThreshold[i].threshold, signalThreshold(t.stepStart[i] + 1)) << i;
        const float first = static_cast<float>(i) / kSteps;
        const float last = std::nextafter(static_cast<float>(i + 1) / kSteps, 0.0f);
        const float threshold = t.oneThreshold[i].threshold;
        for (float s : {first, last, threshold, std::nextafter(threshold, 0.0f)}) {
            if (signalStep(s) != i) continue;  // a threshold at the step's very end
            ASSERT_EQ(codeInOneThresholdStep(s, t), direct(s)) << i << " " << s;
        }
    }
    // The mid-tones' mixed steps: about ten thousand hold one threshold.
    EXPECT_GT(ones, 9000u);
    EXPECT_EQ(stepKind(t, kSteps), kOneCode);  // 1.0 alone
}

TEST(SignalCode, RowsCountedByStepGiveTheLightsHistogramAtEveryEdge) {
    // Signals on both sides of thresholds (of dark, unmixed-neighbour codes
    // and of the crowded top) and of step edges, with the ends and strays:
    // the counter's step-then-search path against the EOTF of each sample,
    // bin by bin. Rows of unequal length, so that the waiting signals of one
    // row never leak into the next.
    std::vector<float> signals = {0.0f, -0.0f, -0.25f, std::nanf(""), 1.0f, 1.5f,
                                  std::nextafter(1.0f, 0.0f)};
    for (uint32_t k : {1u, 2u, 10u, 999u, 1000u, 5000u, 40000u, 99990u, 99999u, kMaxCode}) {
        const float t = signalThreshold(k);
        signals.push_back(t);
        signals.push_back(std::nextafter(t, 0.0f));
        signals.push_back(std::nextafter(t, 2.0f));
    }
    for (uint32_t i : {1u, 255u, 30000u, 40000u, 65535u}) {
        const float edge = static_cast<float>(i) / signal_code_detail::kSteps;
        signals.push_back(edge);
        signals.push_back(std::nextafter(edge, 0.0f));
    }
    RowCounter counter;
    StatisticsCollector bySignal, byLight;
    std::vector<float> light(signals.size());
    for (size_t i = 0; i < signals.size(); ++i) light[i] = picture::pqEotf(signals[i]);
    // Each signal as red, green and blue of its own pixel (the other two
    // zero), in rows of 1, 2, 3, ... pixels.
    std::vector<float> zero(signals.size(), 0.0f);
    RowCounter lightCounter;
    for (size_t at = 0, n = 1; at < signals.size(); at += n, ++n) {
        n = std::min(n, signals.size() - at);
        counter.addSignal(signals.data() + at, zero.data(), zero.data(), n);
        counter.addSignal(zero.data(), signals.data() + at, zero.data(), n);
        counter.addSignal(zero.data(), zero.data(), signals.data() + at, n);
        lightCounter.addLight(light.data() + at, zero.data(), zero.data(), n);
        lightCounter.addLight(zero.data(), light.data() + at, zero.data(), n);
        lightCounter.addLight(zero.data(), zero.data(), light.data() + at, n);
    }
    counter.poolInto(bySignal);
    lightCounter.poolInto(byLight);
    ASSERT_EQ(bySignal.histogram().total(), 3 * signals.size());
    for (uint32_t c = 0; c < MaxRgbHistogram::kBins; ++c)
        ASSERT_EQ(bySignal.histogram().count(c), byLight.histogram().count(c)) << "code " << c;
    EXPECT_EQ(bySignal.statistics(), byLight.statistics());
    // The set reaches the crowded top and the first codes.
    EXPECT_GT(bySignal.histogram().count(kMaxCode), 0u);
    EXPECT_GT(bySignal.histogram().count(99999), 0u);
    EXPECT_GT(bySignal.histogram().count(1), 0u);
    // The counter starts afresh once pooled.
    StatisticsCollector empty;
    counter.poolInto(empty);
    EXPECT_EQ(empty.histogram().total(), 0u);
}

TEST(SignalCode, CountsWrapIntoTheCarryAtExactly256PixelsOfAStepOrCode) {
    // Rows of one signal, as many pixels as each count around the wraps of
    // an 8-bit count: the pooled count is the number of pixels, for a
    // signal of an unmixed step (counted by step) and one of the crowded
    // top (counted by code), and a second pooling starts from nothing.
    const signal_code_detail::Tables& t = signal_code_detail::tables();
    uint32_t unmixed = 1000;
    while (((t.mixedSteps[unmixed / 32] >> (unmixed % 32)) & 1u) != 0 || t.stepStart[unmixed] == 0)
        ++unmixed;
    const float dim = (static_cast<float>(unmixed) + 0.5f) / signal_code_detail::kSteps;
    const float bright = signalThreshold(90000);
    RowCounter counter;
    for (float s : {dim, bright}) {
        const uint32_t code = direct(s);
        for (size_t n : {1u, 255u, 256u, 257u, 511u, 512u, 513u, 65536u, 65537u}) {
            std::vector<float> row(n, s), zero(n, 0.0f);
            // In rows of up to 300 pixels, so that a wrap falls inside a row
            // and between two.
            for (size_t at = 0; at < n; at += 300) {
                const size_t m = std::min<size_t>(300, n - at);
                counter.addSignal(zero.data(), row.data() + at, zero.data(), m);
            }
            StatisticsCollector pooled;
            counter.poolInto(pooled);
            ASSERT_EQ(pooled.histogram().count(code), n) << s << " " << n;
            ASSERT_EQ(pooled.histogram().total(), n) << s << " " << n;
        }
    }
}

TEST(SignalCode, ACounterOfLightAndSignalPoolsBoth) {
    // The light's counts are read only when light was counted: rows of
    // both kinds in one counter pool both, and the next pooling (signal
    // only) finds the light's counts cleared.
    std::vector<float> light = {100.0f, 100.0f, 100.0f}, signal = {0.75f, 0.75f}, zero = {0, 0, 0};
    const uint32_t lightCode = 1000, signalCode = direct(0.75f);
    ASSERT_NE(lightCode, signalCode);
    RowCounter counter;
    counter.addLight(light.data(), zero.data(), zero.data(), 3);
    counter.addSignal(zero.data(), signal.data(), zero.data(), 2);
    StatisticsCollector both;
    counter.poolInto(both);
    EXPECT_EQ(both.histogram().count(lightCode), 3u);
    EXPECT_EQ(both.histogram().count(signalCode), 2u);
    counter.addSignal(zero.data(), signal.data(), zero.data(), 2);
    counter.addSignal(zero.data(), zero.data(), std::vector<float>{0.001f}.data(), 1);
    StatisticsCollector next;
    counter.poolInto(next);
    EXPECT_EQ(next.histogram().count(lightCode), 0u);
    EXPECT_EQ(next.histogram().count(signalCode), 2u);
    EXPECT_EQ(next.histogram().total(), 3u);
}

TEST(SignalCode, SignalAndLightPicturesGiveTheSameStatistics) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> signal(-0.05f, 1.05f);  // strays past both ends
    picture::RgbImage s, light;
    s.width = light.width = 97;
    s.height = light.height = 41;
    for (size_t i = 0; i < size_t{97} * 41; ++i) {
        float r = signal(random), g = signal(random), b = signal(random);
        s.r.push_back(r);
        s.g.push_back(g);
        s.b.push_back(b);
        light.r.push_back(picture::pqEotf(r));
        light.g.push_back(picture::pqEotf(g));
        light.b.push_back(picture::pqEotf(b));
    }
    StatisticsCollector a, b;
    ASSERT_TRUE(a.addSignal(s, 2).ok());
    ASSERT_TRUE(b.add(light, 1).ok());
    EXPECT_EQ(a.statistics(), b.statistics());
    EXPECT_GT(a.statistics().maxscl[0], 99000u);
}

// The counter keeps narrow counts with a carry: a step's and a code's count
// exact over hundreds of wraps, in one row and across rows, and after
// pooling the counter counts afresh. A dark signal (a step of one code,
// counted by step) and a bright one (a step of several codes, counted by
// code), with counts around 65536 and 2 x 65536.
TEST(SignalCode, CountsStayExactAcrossManyWraps) {
    const float dark = 0.0625f, bright = 0.9f;
    // One code over the whole dark step, several over the bright one.
    ASSERT_EQ(direct(dark), direct(std::nextafter(dark + 1.0f / 65536, 0.0f)));
    ASSERT_NE(direct(bright), direct(std::nextafter(bright + 1.0f / 65536, 0.0f)));
    RowCounter counter;  // kept across the cases, as a worker keeps it
    for (size_t n : {size_t{65535}, size_t{65536}, size_t{65537}, size_t{2 * 65536 + 1}}) {
        for (size_t rows : {size_t{1}, size_t{3}}) {
            std::vector<float> darkRow(n, dark), brightRow(n, bright), zero(n, 0.0f);
            size_t at = 0;
            for (size_t k = 0; k < rows; ++k) {  // the n pixels in `rows` rows
                const size_t m = (n - at) / (rows - k);
                counter.addSignal(darkRow.data() + at, zero.data(), zero.data(), m);
                counter.addSignal(zero.data(), brightRow.data() + at, zero.data(), m);
                at += m;
            }
            StatisticsCollector c;
            counter.poolInto(c);
            EXPECT_EQ(c.histogram().count(direct(dark)), n) << n << " in " << rows;
            EXPECT_EQ(c.histogram().count(direct(bright)), n) << n << " in " << rows;
            EXPECT_EQ(c.histogram().total(), 2 * n) << n << " in " << rows;
        }
    }
}

}  // namespace
}  // namespace kestrel::measure
