// SPDX-License-Identifier: Apache-2.0
// The code of a PQ signal's light through the tables against the EOTF
// itself: equal for every signal tried, above all at the thresholds where
// the code steps.
#include "measure/signal_code.h"

#include <gtest/gtest.h>

#include <cmath>
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

}  // namespace
}  // namespace kestrel::measure
