// SPDX-License-Identifier: Apache-2.0
// Numbers on the command line and the PQ axis the plots draw.
#include "tools/kestrel/cli/option_values.h"

#include <gtest/gtest.h>

#include "analysis/pq.h"
#include "tools/kestrel/library_names.h"
#include "dtm/meta2lut.h"

namespace kestrel::tool {
namespace {

TEST(OptionValues, WholeNumbersNameTheOptionAndTheRange) {
    unsigned v = 7;
    std::string error;
    EXPECT_TRUE(parseWholeNumber("--target-nits", "10000", 1, 10000, v, error));
    EXPECT_EQ(v, 10000u);
    EXPECT_TRUE(parseWholeNumber("--target-nits", "1", 1, 10000, v, error));
    EXPECT_EQ(v, 1u);
    for (const char* bad : {"0", "10001", "", "-5", "1e3", "600.5", "18446744073709551616"}) {
        v = 7;
        EXPECT_FALSE(parseWholeNumber("--target-nits", bad, 1, 10000, v, error)) << bad;
        EXPECT_EQ(error,
                  std::string("--target-nits must be a whole number from 1 to 10000 (got \"") +
                      bad + "\")");
        EXPECT_EQ(v, 7u) << bad;
    }
    std::vector<unsigned> list;
    EXPECT_TRUE(parseWholeNumbers("--target-nits", {"400,600", "1000"}, 1, 10000, list, error));
    EXPECT_EQ(list, (std::vector<unsigned>{400, 600, 1000}));
    EXPECT_FALSE(parseWholeNumbers("--target-nits", {"400,,600"}, 1, 10000, list, error));
    EXPECT_EQ(error, "--target-nits must be a whole number from 1 to 10000 (got \"\")");
}

TEST(OptionValues, PositiveNumbersSayAbove0) {
    double v = 0;
    std::string error;
    EXPECT_TRUE(parsePositiveNumber("--levels", "1e-300", v, error));
    EXPECT_EQ(v, 1e-300);
    EXPECT_FALSE(parsePositiveNumber("--levels", "-1", v, error));
    EXPECT_EQ(error, "--levels must be above 0 (got -1)");
    EXPECT_FALSE(parsePositiveNumber("--levels", "0", v, error));
    EXPECT_EQ(error, "--levels must be above 0 (got 0)");
    for (const char* bad : {"nan", "inf", "5 cd", ""}) {
        EXPECT_FALSE(parsePositiveNumber("--max-error", bad, v, error)) << bad;
        EXPECT_EQ(error, std::string("--max-error must be a number (got \"") + bad + "\")");
    }
    std::vector<double> levels;
    EXPECT_TRUE(parsePositiveNumbers("--levels", {"5", "50,500"}, levels, error));
    EXPECT_EQ(levels, (std::vector<double>{5, 50, 500}));
}

// The library's EOTF table is an independent statement of the same curve
// (rounded to 8 decimal places).
TEST(PqAxis, CodesAgreeWithTheLibrarysEotfTable) {
    for (int code : {1, 64, 256, 520, 769, 1000, 1023}) {
        EXPECT_NEAR(nitsOfPqCode(code), dTable[code], 5e-9 + dTable[code] * 1e-9) << code;
        EXPECT_NEAR(pqCodeOfNits(dTable[code]), code, 1e-3) << code;
    }
    EXPECT_EQ(nitsOfPqCode(0), 0);
    // Black is code c1^m2 * 1023, a thousandth of a code; beyond the curve's
    // ends the code stays within 0..1023.
    EXPECT_NEAR(pqCodeOfNits(0), 0, 1e-3);
    EXPECT_EQ(pqCodeOfNits(-1), pqCodeOfNits(0));
    EXPECT_EQ(pqCodeOfNits(20000), 1023);
}

}  // namespace
}  // namespace kestrel::tool
