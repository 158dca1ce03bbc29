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

TEST(TruncateToInt32, SaturatesFromTheFirstValueOutsideInt32) {
    EXPECT_EQ(kestrel::truncateToInt32(kTwo31), INT32_MAX);
    EXPECT_EQ(kestrel::truncateToInt32(kBelowMin), INT32_MIN);
    EXPECT_EQ(kestrel::truncateToInt32(std::nextafter(kBelowMin, -kInf)), INT32_MIN);
    EXPECT_EQ(kestrel::truncateToInt32(kInf), INT32_MAX);
    EXPECT_EQ(kestrel::truncateToInt32(-kInf), INT32_MIN);
}

TEST(TruncateToInt32, TruncatesTowardZeroJustInsideTheLimits) {
    // 2147483647.9999998 and -2147483648.9999998: the largest doubles whose
    // truncation still fits.
    EXPECT_EQ(kestrel::truncateToInt32(std::nextafter(kTwo31, 0.0)), INT32_MAX);
    EXPECT_EQ(kestrel::truncateToInt32(std::nextafter(kBelowMin, 0.0)), INT32_MIN);
    EXPECT_EQ(kestrel::truncateToInt32(2147483646.75), 2147483646);
    EXPECT_EQ(kestrel::truncateToInt32(-2147483647.75), -2147483647);
    EXPECT_EQ(kestrel::truncateToInt32(-0.75), 0);
    EXPECT_EQ(kestrel::truncateToInt32(std::nan("")), 0);
}

}  // namespace
