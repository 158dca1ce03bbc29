// SPDX-License-Identifier: Apache-2.0
// The entry that returns the adapted curve with its table: the table is
// meta2lut_dtm's, bit for bit, the curve is the one the table was sampled
// from, and the lines are meta2lut_dtm's with the caller's copy as the copy.
#include "dtm/adapted_tone_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dtm/meta2lut.h"
#include "records.h"
#include "support/capture.h"

namespace {

constexpr unsigned kSentinel = 0xDEADBEEF;

struct Call {
    std::vector<unsigned> x, y;
    std::vector<std::string> lines;
};

Call exported(_VelmorHdrDynamicInfo record, unsigned target, unsigned count) {
    Call r{std::vector<unsigned>(40, kSentinel), std::vector<unsigned>(40, kSentinel), {}};
    r.lines = kestrel_test::capture([&] {
                  meta2lut_dtm(target, 4000, &record, r.x.data(), r.y.data(), count);
              }).out;
    return r;
}

Call internal(const _VelmorHdrDynamicInfo& record, unsigned target, unsigned count,
              _VelmorHdrDynamicInfo& working) {
    Call r{std::vector<unsigned>(40, kSentinel), std::vector<unsigned>(40, kSentinel), {}};
    working = record;
    r.lines = kestrel_test::capture([&] {
                  kestrel::adaptAndTabulate(target, 4000, working, r.x.data(), r.y.data(), count);
              }).out;
    return r;
}

// A record without a curve of its own (the adaptation generates one) and one
// with a curve, made for another display than the targets below.
std::vector<_VelmorHdrDynamicInfo> records() {
    _VelmorHdrDynamicInfo generated = kneeExampleRecord();
    generated.tone_mapping_flag = 0;
    generated.maxscl[0] = generated.maxscl[1] = generated.maxscl[2] = 40000;
    _VelmorHdrDynamicInfo given = kneeExampleRecord();
    given.targeted_system_display_maximum_luminance = 1000;
    given.maxscl[0] = 12000;
    return {generated, given};
}

TEST(AdaptedToneTable, SameTableAndLinesAsTheExportedEntry) {
    for (const _VelmorHdrDynamicInfo& record : records()) {
        for (unsigned target : {100u, 600u, 1000u, 4000u}) {
            for (unsigned count : {0u, 2u, 3u, 33u}) {
                _VelmorHdrDynamicInfo working;
                const Call got = internal(record, target, count, working);
                const Call want = exported(record, target, count);
                EXPECT_EQ(got.x, want.x) << target << " cd/m², " << count << " points";
                EXPECT_EQ(got.y, want.y) << target << " cd/m², " << count << " points";
                // Every line but the address of the working copy.
                ASSERT_EQ(got.lines.size(), want.lines.size());
                ASSERT_FALSE(got.lines.empty());
                for (size_t i = 1; i < got.lines.size(); i++)
                    EXPECT_EQ(got.lines[i], want.lines[i]);
                char address[32];
                std::snprintf(address, sizeof address, "%p", static_cast<void*>(&working));
                EXPECT_EQ(got.lines[0], std::string("meta2lut_dtm(401)meta : ") + address);
            }
        }
    }
}

TEST(AdaptedToneTable, ReturnsTheCurveTheTableWasSampledFrom) {
    // The generated curve for 600 cd/m² differs from the record's; the
    // table's first inner point and its end gain follow the returned curve.
    const _VelmorHdrDynamicInfo record = records()[0];
    _VelmorHdrDynamicInfo working;
    const Call r = internal(record, 600, 33, working);
    EXPECT_NE(std::memcmp(&working, &record, sizeof record), 0);
    EXPECT_NE(working.knee_point_x, record.knee_point_x);
    EXPECT_EQ(working.num_bezier_curve_anchors, 9);
    // Only the curve fields change, and the flag now says there is a curve.
    EXPECT_EQ(working.tone_mapping_flag, 1);
    _VelmorHdrDynamicInfo curveless = working;
    curveless.tone_mapping_flag = record.tone_mapping_flag;
    curveless.knee_point_x = record.knee_point_x;
    curveless.knee_point_y = record.knee_point_y;
    curveless.num_bezier_curve_anchors = record.num_bezier_curve_anchors;
    std::memcpy(curveless.bezier_curve_anchors, record.bezier_curve_anchors,
                sizeof record.bezier_curve_anchors);
    EXPECT_EQ(std::memcmp(&curveless, &record, sizeof record), 0);
    // Sampling the returned curve through the exported path (a record that
    // carries a curve made for its target is kept as it is) gives the table.
    _VelmorHdrDynamicInfo kept = working;
    kept.targeted_system_display_maximum_luminance = 600;
    const Call again = exported(kept, 600, 33);
    EXPECT_EQ(again.x, r.x);
    EXPECT_EQ(again.y, r.y);
}

}  // namespace
