// SPDX-License-Identifier: Apache-2.0
#include "hdr10plus/record.h"

#include <algorithm>
#include <cstring>

namespace kestrel::hdr10plus {

_VelmorHdrDynamicInfo toRecord(const Frame& frame) {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof r);
    r.targeted_system_display_maximum_luminance = frame.targeted_system_display_maximum_luminance;
    if (frame.windows.empty()) return r;
    const Window& w = frame.windows[0];

    for (size_t c = 0; c < 3; c++) r.maxscl[c] = w.maxscl[c];
    // The record's arrays hold 15 entries; a count above that would send
    // every reader of the record past them.
    const size_t points = std::min<size_t>(w.distribution.size(), kMaxDistributionEntries);
    r.num_distribution_maxrgb_percentiles = static_cast<uint8_t>(points);
    for (size_t i = 0; i < points; i++) {
        r.distribution_maxrgb_percentages[i] =
            std::min<uint8_t>(w.distribution[i].percentage, kMaxPercentage);
        r.distribution_maxrgb_percentiles[i] = w.distribution[i].percentile;
    }

    if (w.tone_curve) {
        const ToneCurve& curve = *w.tone_curve;
        r.tone_mapping_flag = 1;
        // Coordinates above 1.0 would put the knee or an anchor outside the
        // unit square the curve adaptation works in.
        r.knee_point_x = std::min<uint16_t>(curve.knee_point_x, kKneePointOne);
        r.knee_point_y = std::min<uint16_t>(curve.knee_point_y, kKneePointOne);
        const size_t anchors =
            std::min<size_t>(curve.bezier_curve_anchors.size(), kMaxBezierAnchors);
        r.num_bezier_curve_anchors = static_cast<uint16_t>(anchors);
        for (size_t i = 0; i < anchors; i++) {
            r.bezier_curve_anchors[i] =
                std::min<uint16_t>(curve.bezier_curve_anchors[i], kAnchorOne);
        }
    }
    return r;
}

}  // namespace kestrel::hdr10plus
