// SPDX-License-Identifier: Apache-2.0
// The library's lines reach the analysis through the thread's sink: in
// order, with their priority, and not on the process's descriptors; shown
// as a host build's default sink shows them.
#include "analysis/library_lines.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "analysis/frame_table.h"
#include "common/diagnostics.h"
#include "support/capture.h"

namespace kestrel::analysis {
namespace {

using kestrel_test::captureText;

// A record with a curve, so that adapting it to a target logs and prints.
_VelmorHdrDynamicInfo curveRecord() {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof r);
    r.tone_mapping_flag = 1;
    r.targeted_system_display_maximum_luminance = 1000;
    r.maxscl[0] = r.maxscl[1] = r.maxscl[2] = 40000;
    r.knee_point_x = 1000;
    r.knee_point_y = 1200;
    r.num_bezier_curve_anchors = 2;
    r.bezier_curve_anchors[0] = 400;
    r.bezier_curve_anchors[1] = 800;
    return r;
}

TEST(LibraryLines, ALowTargetsErrorArrivesInOrderAndNothingReachesTheDescriptors) {
    LutAnalysis a;
    const kestrel_test::CapturedText outside =
        captureText([&] { a = analyseLut(curveRecord(), 199, 1000); });
    EXPECT_EQ(outside.out, "");
    EXPECT_EQ(outside.err, "");

    ASSERT_FALSE(a.diagnostics.empty());
    // The table's entry line comes first, then the adaptation's.
    EXPECT_EQ(a.diagnostics.front().kind, diag::RecordKind::kStdoutLine);
    EXPECT_EQ(defaultSinkText(a.diagnostics.front()).rfind("meta2lut_dtm(401)meta : ", 0), 0u);
    size_t errors = 0;
    for (const LibraryLine& line : a.diagnostics) {
        if (!isError(line)) continue;
        errors++;
        EXPECT_EQ(defaultSinkText(line),
                  "E/liborrin: Error GuidedOOTF : target peak under 200 nits not supported at "
                  "this time");
    }
    EXPECT_EQ(errors, 1u);

    // At the floor the library adapts the curve and logs no error.
    const LutAnalysis atFloor = analyseLut(curveRecord(), 200, 1000);
    for (const LibraryLine& line : atFloor.diagnostics) EXPECT_FALSE(isError(line));
}

TEST(LibraryLines, PriorityLettersAndKinds) {
    EXPECT_EQ(defaultSinkText({diag::RecordKind::kLogLine, diag::Priority::kWarn, "w"}),
              "W/liborrin: w");
    EXPECT_EQ(defaultSinkText({diag::RecordKind::kLogLine, diag::Priority::kInfo, "i"}),
              "I/liborrin: i");
    // A standard-output line is shown as it is, whatever its priority.
    EXPECT_EQ(defaultSinkText({diag::RecordKind::kStdoutLine, diag::Priority::kInfo, "E/x"}),
              "E/x");
    EXPECT_FALSE(isError({diag::RecordKind::kStdoutLine, diag::Priority::kError, "x"}));
    EXPECT_FALSE(isError({diag::RecordKind::kLogLine, diag::Priority::kWarn, "x"}));
    EXPECT_TRUE(isError({diag::RecordKind::kLogLine, diag::Priority::kError, "x"}));
}

// Two threads analysing at once each get exactly their own lines.
TEST(LibraryLines, ThreadsHearOnlyTheirOwnCalls) {
    LutAnalysis low, high;
    std::thread t([&] { low = analyseLut(curveRecord(), 150, 1000); });
    high = analyseLut(curveRecord(), 600, 1000);
    t.join();
    auto errorCount = [](const LutAnalysis& a) {
        size_t n = 0;
        for (const LibraryLine& line : a.diagnostics) n += isError(line) ? 1 : 0;
        return n;
    };
    EXPECT_EQ(errorCount(low), 1u);
    EXPECT_EQ(errorCount(high), 0u);
    EXPECT_EQ(low.diagnostics.size(), high.diagnostics.size() + 1);
}

}  // namespace
}  // namespace kestrel::analysis
