// SPDX-License-Identifier: Apache-2.0
// The one float-to-integer conversion: truncation inside int32, saturation
// at the exact values where a plain cast stops being defined.
#include "common/numeric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double kTwo31 = 2147483648.0;      // first value above INT32_MAX
constexpr double kBelowMin = -2147483649.0;  // -2^31 - 1, first integer below INT32_MIN
constexpr double kInf = std::numeric_limits<double>::infinity();

// Through a volatile, so that the compiler cannot fold the conversion of a
// constant (it folds an out-of-range cast to the saturated value, and a
// missing guard would go unseen).
int32_t convert(double v) {
    volatile double opaque = v;
    return kestrel::truncateToInt32(opaque);
}

TEST(TruncateToInt32, SaturatesFromTheFirstValueOutsideInt32) {
    EXPECT_EQ(convert(kTwo31), INT32_MAX);
    EXPECT_EQ(convert(kBelowMin), INT32_MIN);
    EXPECT_EQ(convert(std::nextafter(kBelowMin, -kInf)), INT32_MIN);
    EXPECT_EQ(convert(kInf), INT32_MAX);
    EXPECT_EQ(convert(-kInf), INT32_MIN);
}

TEST(TruncateToInt32, TruncatesTowardZeroJustInsideTheLimits) {
    // 2147483647.9999998 and -2147483648.9999998: the largest doubles whose
    // truncation still fits.
    EXPECT_EQ(convert(std::nextafter(kTwo31, 0.0)), INT32_MAX);
    EXPECT_EQ(convert(std::nextafter(kBelowMin, 0.0)), INT32_MIN);
    EXPECT_EQ(convert(2147483646.75), 2147483646);
    EXPECT_EQ(convert(-2147483647.75), -2147483647);
    EXPECT_EQ(convert(-0.75), 0);
    EXPECT_EQ(convert(std::nan("")), 0);
}

}  // namespace
