// SPDX-License-Identifier: Apache-2.0
// Rewrites a record's tone curve in place for the actual target display.
#include <algorithm>
#include <cstdint>

#include "common/diagnostics.h"
#include "common/numeric.h"
#include "metadata/tone_curve_adaptation.h"

namespace {

// The record's fixed-point scales, as the doubles every conversion uses.
constexpr double kKneeScale = kKneePointOne;
constexpr double kAnchorScale = kAnchorOne;

// Back to the record's fixed point: truncated toward zero and kept in 16
// bits, with no clamp (an anchor above 1.0 is stored above kAnchorOne).
uint16_t toStored(double normalized, double scale) {
    return static_cast<uint16_t>(kestrel::truncateToInt32(normalized * scale));
}

// The curve the record carries for its targeted system display.
CurveParameters givenCurve(const _VelmorHdrDynamicInfo& record) {
    CurveParameters given{};
    given.kneeX = record.knee_point_x / kKneeScale;
    given.kneeY = record.knee_point_y / kKneeScale;
    // The record holds 15 anchors; a larger count is clamped on reading.
    const uint32_t anchors =
        std::min(static_cast<uint32_t>(record.num_bezier_curve_anchors), kMaxBezierAnchors);
    given.order = anchors + 1;
    for (uint32_t i = 0; i < anchors; ++i) {
        given.anchors[i] = record.bezier_curve_anchors[i] / kAnchorScale;
    }
    return given;
}

}  // namespace

void meta2meta(unsigned target_max_luminance, unsigned max_luminance,
               _VelmorHdrDynamicInfo& record) {
    (void)max_luminance;  // part of the entry point's signature; the curve does not depend on it

    // Written before the adaptation, so that a log line of the adaptation
    // (GuidedOOTF's refusal) falls between the curve in and the curve out.
    kestrel::diag::printCurveBeforeAdaptation(record.knee_point_x, record.knee_point_y,
                                              record.tone_mapping_flag);

    LuminanceParameters lp;
    fillLuminanceParameters(record, lp);
    const float sourcePeak = getSourceMaxLuminance(lp);

    CurveParameters out{};
    if (record.tone_mapping_flag == 1) {
        CurveParameters given = givenCurve(record);
        GuidedOOTF(lp, given, sourcePeak, record.targeted_system_display_maximum_luminance,
                   target_max_luminance, out);
    } else {
        // No curve in the content: generate one for this display.
        BasisOOTF(lp, static_cast<float>(target_max_luminance), sourcePeak, out);
        record.tone_mapping_flag = 1;
    }

    // Both OOTFs return at most 15 anchors; the bound keeps the record safe regardless.
    const uint32_t anchors = std::min(out.order - 1, kMaxBezierAnchors);
    record.num_bezier_curve_anchors = static_cast<uint16_t>(out.order - 1);
    record.knee_point_x = toStored(out.kneeX, kKneeScale);
    record.knee_point_y = toStored(out.kneeY, kKneeScale);
    for (uint32_t i = 0; i < anchors; ++i) {
        record.bezier_curve_anchors[i] = toStored(out.anchors[i], kAnchorScale);
    }

    kestrel::diag::printCurveAfterAdaptation(record.knee_point_x, record.knee_point_y,
                                             record.num_bezier_curve_anchors,
                                             record.bezier_curve_anchors);
}
