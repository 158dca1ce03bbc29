// SPDX-License-Identifier: Apache-2.0
// Numbers on the command line and the PQ axis the plots draw.
#include "tools/kestrel/cli/option_values.h"

#include <gtest/gtest.h>

#include "analysis/pq.h"
#include "tools/kestrel/library_names.h"
#include "dtm/meta2lut.h"

namespace kestrel::tool {
namespace {

// A refusal is a wrong option value, keyed by the option's name.
void expectRefused(const Status& status, const std::string& option, const std::string& message) {
    EXPECT_EQ(status.kind(), ErrorKind::Invalid) << message;
    EXPECT_EQ(status.where().key, option) << message;
    EXPECT_EQ(status.message(), message);
}

TEST(OptionValues, WholeNumbersNameTheOptionAndTheRange) {
    Result<unsigned> v = parseWholeNumber("--target-nits", "10000", 1, 10000);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(*v, 10000u);
    v = parseWholeNumber("--target-nits", "1", 1, 10000);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(*v, 1u);
    for (const char* bad : {"0", "10001", "", "-5", "1e3", "600.5", "18446744073709551616"}) {
        expectRefused(parseWholeNumber("--target-nits", bad, 1, 10000).status(), "--target-nits",
                      std::string("--target-nits must be a whole number from 1 to 10000 (got \"") +
                          bad + "\")");
    }
    Result<std::vector<unsigned>> list =
        parseWholeNumbers("--target-nits", {"400,600", "1000"}, 1, 10000);
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(*list, (std::vector<unsigned>{400, 600, 1000}));
    expectRefused(parseWholeNumbers("--target-nits", {"400,,600"}, 1, 10000).status(),
                  "--target-nits",
                  "--target-nits must be a whole number from 1 to 10000 (got \"\")");
}

// Distinct peaks pass; the same one twice, even across two options given,
// is named once.
TEST(OptionValues, TargetPeaksRefuseARepeat) {
    Result<std::vector<unsigned>> peaks = parseTargetPeaks("--target-nits", {"400,600", "1000"});
    ASSERT_TRUE(peaks.ok());
    EXPECT_EQ(*peaks, (std::vector<unsigned>{400, 600, 1000}));
    expectRefused(parseTargetPeaks("--target-nits", {"400,600", "400"}).status(), "--target-nits",
                  "--target-nits lists 400 twice");
    expectRefused(parseTargetPeaks("--target-nits", {"0"}).status(), "--target-nits",
                  "--target-nits must be a whole number from 1 to 10000 (got \"0\")");
}

// A value stored only when it was read: a refusal leaves the old one.
TEST(OptionValues, StoreKeepsTheOldValueOnARefusal) {
    unsigned frame = 7;
    const Status refused = store(parseWholeNumber("--frame", "x", 0, 9), frame);
    EXPECT_EQ(refused.where().key, "--frame");
    EXPECT_EQ(frame, 7u);
    EXPECT_TRUE(store(parseWholeNumber("--frame", "9", 0, 9), frame).ok());
    EXPECT_EQ(frame, 9u);
}

TEST(OptionValues, PositiveNumbersSayAbove0) {
    Result<double> v = parsePositiveNumber("--levels", "1e-300");
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(*v, 1e-300);
    expectRefused(parsePositiveNumber("--levels", "-1").status(), "--levels",
                  "--levels must be above 0 (got -1)");
    expectRefused(parsePositiveNumber("--levels", "0").status(), "--levels",
                  "--levels must be above 0 (got 0)");
    for (const char* bad : {"nan", "inf", "5 cd", ""}) {
        expectRefused(parsePositiveNumber("--max-error", bad).status(), "--max-error",
                      std::string("--max-error must be a number (got \"") + bad + "\")");
    }
    Result<std::vector<double>> levels = parsePositiveNumbers("--levels", {"5", "50,500"});
    ASSERT_TRUE(levels.ok());
    EXPECT_EQ(*levels, (std::vector<double>{5, 50, 500}));
    expectRefused(parsePositiveNumbers("--levels", {"5", "50,-1"}).status(), "--levels",
                  "--levels must be above 0 (got -1)");
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
