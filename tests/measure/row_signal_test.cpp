// SPDX-License-Identifier: Apache-2.0
// A row reduced to maxRGB, steps and peaks against the plain definition
// worked out here in double precision: NaN, negative values and -0 as +0,
// the clamp at 1, the edges of the steps of 2^-16; rows of every length
// from one to past two groups of four pixels, so that both the grouped
// pixels and the rest are checked.
#include "measure/row_signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace kestrel::measure {
namespace {

double plain(float v) { return v > 0.0f ? static_cast<double>(v) : 0.0; }  // NaN compares false

uint32_t bitsOf(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

std::vector<float> edgeValues() {
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> v = {0.0f, -0.0f, -1.0f, std::nanf(""), -std::nanf(""), inf, -inf,
                            std::numeric_limits<float>::denorm_min(), 1.0f,
                            std::nextafter(1.0f, 0.0f), std::nextafter(1.0f, 2.0f), 0.5f, 7.0f};
    for (uint32_t k : {1u, 2u, 255u, 32768u, 65535u}) {
        const float edge = std::ldexp(static_cast<float>(k), -16);
        v.push_back(edge);
        v.push_back(std::nextafter(edge, 0.0f));
    }
    return v;
}

TEST(RowSignal, MaxRgbStepsAndPeaksAgreeWithThePlainDefinitionAtEveryEdge) {
    const std::vector<float> values = edgeValues();
    const size_t count = values.size();
    for (size_t n = 1; n <= 11; ++n) {
        for (size_t shift = 0; shift < count; ++shift) {
            // Each pixel's three components from three places in the list.
            std::vector<float> r(n), g(n), b(n);
            for (size_t i = 0; i < n; ++i) {
                r[i] = values[(shift + i) % count];
                g[i] = values[(shift + 3 * i + 1) % count];
                b[i] = values[(shift + 7 * i + 5) % count];
            }
            std::vector<float> maxRgb(n, -5.0f);
            std::vector<uint32_t> step(n, 12345);
            RowPeaks peaks;
            reduceRow(r.data(), g.data(), b.data(), n, maxRgb.data(), step.data(), peaks);
            double peakR = 0, peakG = 0, peakB = 0, lowest = 1, highest = 0;
            for (size_t i = 0; i < n; ++i) {
                const double m = std::min(1.0, std::max({plain(r[i]), plain(g[i]), plain(b[i])}));
                // Bits, so that -0 would show: every zero must be +0.
                ASSERT_EQ(bitsOf(maxRgb[i]), bitsOf(static_cast<float>(m))) << n << " " << shift << " " << i;
                ASSERT_EQ(step[i], static_cast<uint32_t>(std::floor(m * 65536.0))) << n << " " << i;
                peakR = std::max(peakR, plain(r[i]));
                peakG = std::max(peakG, plain(g[i]));
                peakB = std::max(peakB, plain(b[i]));
                lowest = std::min(lowest, m);
                highest = std::max(highest, m);
            }
            ASSERT_EQ(peaks.component[0], peakR);
            ASSERT_EQ(peaks.component[1], peakG);
            ASSERT_EQ(peaks.component[2], peakB);
            ASSERT_EQ(peaks.lowest, lowest);
            ASSERT_EQ(peaks.highest, highest);
        }
    }
}

}  // namespace
}  // namespace kestrel::measure
