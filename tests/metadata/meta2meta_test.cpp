// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "metadata/tone_curve_adaptation.h"
#include "record_support.h"

namespace {

const std::string kRefusal =
    "E/liborrin: Error GuidedOOTF : target peak under 200 nits not supported at this time\n";

// Stored anchors of the straight line of order 10: truncate((i + 1) / 10 × 1023).
const std::array<uint16_t, 9> kStraight10 = {102, 204, 306, 409, 511, 613, 716, 818, 920};

struct Adapted {
    _VelmorHdrDynamicInfo record;
    std::string out;
    std::string err;
};

// Adapts the record in place, capturing what is printed and logged.
Adapted adaptInPlace(_VelmorHdrDynamicInfo& record, unsigned target, unsigned mastering = 1000) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    meta2meta(target, mastering, record);
    Adapted a{record, "", ""};
    a.out = testing::internal::GetCapturedStdout();
    a.err = testing::internal::GetCapturedStderr();
    return a;
}

Adapted adapt(_VelmorHdrDynamicInfo record, unsigned target, unsigned mastering = 1000) {
    return adaptInPlace(record, target, mastering);
}

void expectCurve(const _VelmorHdrDynamicInfo& r, uint16_t kneeX, uint16_t kneeY,
                 const std::array<uint16_t, 9>& anchors) {
    EXPECT_EQ(r.tone_mapping_flag, 1);
    EXPECT_EQ(r.num_bezier_curve_anchors, 9);
    EXPECT_EQ(r.knee_point_x, kneeX);
    EXPECT_EQ(r.knee_point_y, kneeY);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(r.bezier_curve_anchors[i], anchors[i]) << i;
}

bool sameBytes(const _VelmorHdrDynamicInfo& a, const _VelmorHdrDynamicInfo& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

TEST(Meta2meta, WorkedRecords) {
    // Source peak 2500 cd/m²: the 99 % entry caps the 4000 cd/m² of maxscl.
    expectCurve(adapt(workedRecord(0), 1000).record, 113, 283,
                {267, 422, 551, 653, 723, 793, 859, 925, 977});
    expectCurve(adapt(workedRecord(1), 1000).record, 1700, 1600,
                {500, 700, 800, 870, 920, 960, 990, 1010, 1020});
    expectCurve(adapt(workedRecord(1), 600).record, 191, 800,
                {504, 562, 737, 822, 875, 921, 960, 994, 1012});
    expectCurve(adapt(workedRecord(1), 2000).record, 1081, 1352,
                {140, 280, 421, 561, 647, 729, 807, 882, 953});
    const Adapted refused = adapt(workedRecord(1), 150);
    EXPECT_EQ(refused.err, kRefusal);
    expectCurve(refused.record, 0, 0, kStraight10);
}

TEST(Meta2meta, DecisionRowsInOrder) {
    // Under 200 is refused even when it is the targeted peak.
    _VelmorHdrDynamicInfo r = workedRecord(1);
    r.targeted_system_display_maximum_luminance = 150;
    Adapted a = adapt(r, 150);
    EXPECT_EQ(a.err, kRefusal);
    expectCurve(a.record, 0, 0, kStraight10);
    // 200 is not refused.
    EXPECT_EQ(adapt(workedRecord(1), 200).err, "");
    // The targeted peak keeps the curve even at or above the source peak.
    r.targeted_system_display_maximum_luminance = 2500;
    EXPECT_TRUE(sameBytes(adapt(r, 2500).record, r));
    // At or above the source peak: knee 0.3f, stored as 1228.
    for (unsigned target : {2500u, 4000u}) {
        expectCurve(adapt(workedRecord(1), target).record, 1228, 1228, kStraight10);
    }
}

TEST(Meta2meta, At200TheGivenCurvePlaysNoPart) {
    // alpha = 0: the 200 cd/m² Basis curve, capped by the multiples of the same P1.
    const _VelmorHdrDynamicInfo basis200 = adapt(workedRecord(0), 200).record;
    const _VelmorHdrDynamicInfo guided200 = adapt(workedRecord(1), 200).record;
    EXPECT_TRUE(sameBytes(basis200, guided200));
}

TEST(Meta2meta, AnchorsPastTheBasisCurveContinueTheLineAboveOne) {
    // Order 12 at 200 cd/m²: the last two anchors read the Basis curve's
    // straight continuation, 1.0 and 1.1, stored unclamped.
    _VelmorHdrDynamicInfo r = workedRecord(1);
    r.num_bezier_curve_anchors = 11;
    const _VelmorHdrDynamicInfo out = adapt(r, 200).record;
    EXPECT_EQ(out.num_bezier_curve_anchors, 11);
    EXPECT_EQ(out.bezier_curve_anchors[9], 1023);
    EXPECT_EQ(out.bezier_curve_anchors[10], 1125);
}

TEST(Meta2meta, FlagOtherThanOneGeneratesACurve) {
    const _VelmorHdrDynamicInfo fromZero = adapt(workedRecord(0), 1000).record;
    const _VelmorHdrDynamicInfo fromTwo = adapt(workedRecord(2), 1000).record;
    EXPECT_TRUE(sameBytes(fromZero, fromTwo));
    // The input curve fields are ignored.
    _VelmorHdrDynamicInfo zeroed = workedRecord(0);
    zeroed.knee_point_x = zeroed.knee_point_y = zeroed.num_bezier_curve_anchors = 0;
    std::memset(zeroed.bezier_curve_anchors, 0, sizeof zeroed.bezier_curve_anchors);
    EXPECT_TRUE(sameBytes(adapt(zeroed, 1000).record, fromZero));
}

TEST(Meta2meta, MasteringLuminanceIsIgnored) {
    EXPECT_TRUE(sameBytes(adapt(workedRecord(1), 600, 0).record,
                          adapt(workedRecord(1), 600, 10000).record));
}

TEST(Meta2meta, SlotsBeyondTheCurveAreUntouched) {
    _VelmorHdrDynamicInfo r = workedRecord(1);
    r.num_bezier_curve_anchors = 0;
    for (int i = 0; i < 15; ++i) r.bezier_curve_anchors[i] = static_cast<uint16_t>(3000 + i);
    const _VelmorHdrDynamicInfo out = adapt(r, 600).record;
    // The knee does not depend on the anchors: that of the worked record at 600.
    EXPECT_EQ(out.knee_point_x, 191);
    EXPECT_EQ(out.knee_point_y, 800);
    EXPECT_EQ(out.num_bezier_curve_anchors, 0);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(out.bezier_curve_anchors[i], 3000 + i) << i;
}

TEST(Meta2meta, FifteenAnchorsAreKeptAndAdapted) {
    _VelmorHdrDynamicInfo r = workedRecord(1);
    r.num_bezier_curve_anchors = 15;
    for (int i = 0; i < 15; ++i) r.bezier_curve_anchors[i] = static_cast<uint16_t>(60 * i + 100);
    EXPECT_TRUE(sameBytes(adapt(r, 1000).record, r));
    // Straight line of order 16: truncate((i + 1) / 16 × 1023).
    const uint16_t straight16[15] = {63,  127, 191, 255, 319, 383, 447, 511,
                                     575, 639, 703, 767, 831, 895, 959};
    const _VelmorHdrDynamicInfo out = adapt(r, 3000).record;
    EXPECT_EQ(out.num_bezier_curve_anchors, 15);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(out.bezier_curve_anchors[i], straight16[i]) << i;
}

TEST(Meta2meta, HostileCountsStayInsideTheRecord) {
    // With the record against a guard page, any read past its 312 bytes crashes.
    Guarded<_VelmorHdrDynamicInfo> hostile;
    *hostile = workedRecord(1);
    hostile->num_bezier_curve_anchors = 200;
    hostile->num_distribution_maxrgb_percentiles = 255;
    _VelmorHdrDynamicInfo clamped = *hostile;
    clamped.num_bezier_curve_anchors = 15;
    clamped.num_distribution_maxrgb_percentiles = 15;
    const _VelmorHdrDynamicInfo original = *hostile;
    for (unsigned target : {600u, 1000u, 2000u}) {
        _VelmorHdrDynamicInfo expected = adapt(clamped, target).record;
        // The statistics count is read, never rewritten; the anchor count is.
        expected.num_distribution_maxrgb_percentiles = 255;
        *hostile = original;
        EXPECT_TRUE(sameBytes(adaptInPlace(*hostile, target).record, expected)) << target;
    }
}

TEST(Meta2meta, StoredValuesRoundTripAtTheTargetedPeak) {
    _VelmorHdrDynamicInfo r = workedRecord(1);
    r.num_bezier_curve_anchors = 15;
    testing::internal::CaptureStdout();
    for (int v = 0; v < 4096; ++v) {
        r.knee_point_x = static_cast<uint16_t>(v);
        r.knee_point_y = static_cast<uint16_t>(4095 - v);
        for (int i = 0; i < 15; ++i)
            r.bezier_curve_anchors[i] = static_cast<uint16_t>((v + i) % 1024);
        _VelmorHdrDynamicInfo copy = r;
        meta2meta(1000, 1000, copy);
        ASSERT_TRUE(sameBytes(copy, r)) << v;
    }
    testing::internal::GetCapturedStdout();
}

TEST(Meta2meta, TwentyLinesOnStandardOutput) {
    // Slots 9 to 14 are not part of the new curve: kept, and still logged.
    _VelmorHdrDynamicInfo r = workedRecord(0);
    r.knee_point_x = 65535;
    for (int i = 9; i < 15; ++i) r.bezier_curve_anchors[i] = static_cast<uint16_t>(65521 + i);
    const Adapted a = adapt(r, 1000);
    std::string expected =
        "meta2meta(387)meta knee_pointx : 65535\n"
        "meta2meta(388)meta knee_pointy : 1600\n"
        "meta2meta(389)meta tone_mapping_flag : 0\n"
        "meta2meta(420)after meta knee_pointx : 113\n"
        "meta2meta(421)after meta knee_pointy : 283\n";
    const unsigned stored[15] = {267, 422,   551,   653,   723,   793,   859,  925,
                                 977, 65530, 65531, 65532, 65533, 65534, 65535};
    for (int i = 0; i < 15; ++i) {
        expected += "meta2meta(425)order : 9 after meta bezier_curve_anchors[" + std::to_string(i) +
                    "]: " + std::to_string(stored[i]) + "\n";
    }
    EXPECT_EQ(a.out, expected);
    EXPECT_EQ(a.err, "");
}
