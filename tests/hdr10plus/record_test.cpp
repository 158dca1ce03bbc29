// SPDX-License-Identifier: Apache-2.0
// The one projection of a frame onto the host record: window 0's fields,
// the clamps that keep the plug-in's invariants, nothing else written.
#include "hdr10plus/record.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kestrel::hdr10plus {
namespace {

Frame twoWindows() {
    Frame f;
    f.targeted_system_display_maximum_luminance = 1000;
    f.windows.resize(2);
    Window& w = f.windows[0];
    w.maxscl = {7768, 6589, 6912};
    w.average_maxrgb = 263;
    w.distribution = {{1, 11}, {50, 6080}, {99, 5843}};
    w.fraction_bright_pixels = 17;
    w.tone_curve = ToneCurve{164, 240, {143, 298, 447}};
    w.color_saturation_weight = 9;
    // Window 1 differs everywhere, so that a field taken from it shows.
    Window& other = f.windows[1];
    other.geometry = WindowGeometry{};
    other.maxscl = {1, 2, 3};
    other.distribution = {{7, 7}};
    other.tone_curve = ToneCurve{1, 2, {3}};
    f.mastering_display_actual_peak_luminance = PeakLuminanceMatrix{2, 2, {1, 2, 3, 4}};
    return f;
}

// Field by field from window 0 is checked through the tool's JSON tests;
// here, that nothing comes from window 1 and unused entries stay zero.
TEST(Record, TakesWindowZeroOnly) {
    const _VelmorHdrDynamicInfo r = toRecord(twoWindows());
    EXPECT_EQ(r.targeted_system_display_maximum_luminance, 1000u);
    EXPECT_EQ(r.maxscl[0], 7768u);
    EXPECT_EQ(r.num_distribution_maxrgb_percentiles, 3);
    EXPECT_EQ(r.distribution_maxrgb_percentiles[0], 11u);
    EXPECT_EQ(r.knee_point_x, 164);
    EXPECT_EQ(r.num_bezier_curve_anchors, 3);
    EXPECT_EQ(r.bezier_curve_anchors[0], 143);
    _VelmorHdrDynamicInfo zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(r.reserved0, zero.reserved0, sizeof r.reserved0), 0);
    EXPECT_EQ(std::memcmp(r.reserved1, zero.reserved1, sizeof r.reserved1), 0);
    EXPECT_EQ(std::memcmp(r.bezier_curve_anchors + 3, zero.bezier_curve_anchors + 3, 24), 0);
}

TEST(Record, WithoutACurveTheFlagAndCurveFieldsAreZero) {
    Frame f = twoWindows();
    f.windows[0].tone_curve.reset();
    const _VelmorHdrDynamicInfo r = toRecord(f);
    EXPECT_EQ(r.tone_mapping_flag, 0);
    EXPECT_EQ(r.knee_point_x, 0);
    EXPECT_EQ(r.knee_point_y, 0);
    EXPECT_EQ(r.num_bezier_curve_anchors, 0);
    EXPECT_EQ(r.bezier_curve_anchors[0], 0);
    EXPECT_EQ(r.maxscl[0], 7768u);

    // No window at all: statistics zero, the targeted peak still there.
    f.windows.clear();
    const _VelmorHdrDynamicInfo empty = toRecord(f);
    EXPECT_EQ(empty.targeted_system_display_maximum_luminance, 1000u);
    EXPECT_EQ(empty.maxscl[0], 0u);
    EXPECT_EQ(empty.num_distribution_maxrgb_percentiles, 0);
}

TEST(Record, ClampsAFrameOutsideTheRulesIntoTheRecordsRange) {
    // At the limits nothing moves; one above, the value is clamped.
    for (unsigned extra : {0u, 1u}) {
        Frame f = twoWindows();
        Window& w = f.windows[0];
        w.distribution.clear();
        for (unsigned i = 0; i < 15 + extra; i++) {
            w.distribution.push_back({static_cast<uint8_t>(100 + extra), 1000 + i});
        }
        // Each knee coordinate is clamped on its own: both sit on the limit,
        // then both above it, by different amounts.
        w.tone_curve = ToneCurve{
            static_cast<uint16_t>(4095 + extra), static_cast<uint16_t>(4095 + 2 * extra), {}};
        for (unsigned i = 0; i < 15 + extra; i++) {
            w.tone_curve->bezier_curve_anchors.push_back(static_cast<uint16_t>(1023 + extra));
        }
        const _VelmorHdrDynamicInfo r = toRecord(f);
        EXPECT_EQ(r.num_distribution_maxrgb_percentiles, 15) << extra;
        EXPECT_EQ(r.distribution_maxrgb_percentages[14], 100) << extra;
        EXPECT_EQ(r.distribution_maxrgb_percentiles[14], 1014u) << extra;
        EXPECT_EQ(r.knee_point_x, 4095) << extra;
        EXPECT_EQ(r.knee_point_y, 4095) << extra;
        EXPECT_EQ(r.num_bezier_curve_anchors, 15) << extra;
        EXPECT_EQ(r.bezier_curve_anchors[14], 1023) << extra;
        EXPECT_EQ(r.reserved1[0], 0) << extra;  // the sixteenth anchor went nowhere
    }
}

}  // namespace
}  // namespace kestrel::hdr10plus
