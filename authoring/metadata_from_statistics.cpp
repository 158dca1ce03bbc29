// SPDX-License-Identifier: Apache-2.0
#include "authoring/metadata_from_statistics.h"

#include <algorithm>

#include "common/numeric.h"
#include "hdr10plus/record.h"
#include "metadata/tone_curve_adaptation.h"

namespace kestrel::authoring {

namespace {

// To the payload's fixed point as the plug-in stores the curves it makes
// (truncated toward zero), so that the curve written for the targeted
// display is the very one the plug-in would make for it; kept within the
// scale, which a payload cannot exceed.
uint16_t toFixed(double normalized, uint32_t scale) {
    int32_t v = truncateToInt32(normalized * static_cast<double>(scale));
    return static_cast<uint16_t>(std::min<int32_t>(std::max<int32_t>(v, 0), static_cast<int32_t>(scale)));
}

hdr10plus::ToneCurve basisCurve(const hdr10plus::Frame& frame, uint32_t targetedPeak) {
    // Through the record, as the plug-in reads metadata: the same source
    // peak and the same distribution entries.
    _VelmorHdrDynamicInfo record = hdr10plus::toRecord(frame);
    LuminanceParameters lp;
    fillLuminanceParameters(record, lp);
    const float sourcePeak = getSourceMaxLuminance(lp);
    CurveParameters out{};
    BasisOOTF(lp, static_cast<float>(targetedPeak), sourcePeak, out);
    hdr10plus::ToneCurve curve;
    curve.knee_point_x = toFixed(out.kneeX, kKneePointOne);
    curve.knee_point_y = toFixed(out.kneeY, kKneePointOne);
    const uint32_t anchors = std::min(out.order - 1, kMaxBezierAnchors);
    for (uint32_t i = 0; i < anchors; ++i)
        curve.bezier_curve_anchors.push_back(toFixed(out.anchors[i], kAnchorOne));
    return curve;
}

}  // namespace

hdr10plus::Frame frameFromStatistics(const measure::LuminanceStatistics& statistics,
                                     const MetadataOptions& options) {
    hdr10plus::Frame frame;
    frame.application_version = 1;
    frame.targeted_system_display_maximum_luminance =
        options.toneCurve ? std::min(options.targetedPeak, hdr10plus::kMaxTargetedLuminance) : 0;
    hdr10plus::Window window;
    window.maxscl = statistics.maxscl;
    window.average_maxrgb = statistics.averageMaxRgb;
    for (size_t i = 0; i < measure::kPercentages.size(); ++i) {
        // The ten-entry form's 98 % entry sits between 95 and 99 %, so that
        // the percentages keep rising and 99 % stays the last entry.
        if (options.distributionEntries == 10 && measure::kPercentages[i] == 99)
            window.distribution.push_back({98, statistics.percentile98});
        window.distribution.push_back({measure::kPercentages[i], statistics.percentiles[i]});
    }
    frame.windows.push_back(window);
    if (options.toneCurve)
        frame.windows[0].tone_curve = basisCurve(frame, frame.targeted_system_display_maximum_luminance);
    return frame;
}

std::vector<hdr10plus::Frame> metadataFrames(const std::vector<MeasuredPicture>& pictures,
                                             const std::vector<measure::LuminanceStatistics>& shots,
                                             const MetadataOptions& options) {
    std::vector<hdr10plus::Frame> frames;
    frames.reserve(pictures.size());
    uint32_t inShot = 0;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const MeasuredPicture& p = pictures[i];
        inShot = (i > 0 && pictures[i - 1].shot == p.shot) ? inShot + 1 : 0;
        // A shot's frame is the same for all its pictures: made once.
        if (options.scope == MetadataScope::Shot && inShot > 0) {
            frames.push_back(frames.back());
        } else {
            const measure::LuminanceStatistics& s =
                options.scope == MetadataScope::Shot ? shots.at(p.shot) : p.statistics;
            frames.push_back(frameFromStatistics(s, options));
        }
        frames.back().scene_id = p.shot;
        frames.back().scene_frame_index = inShot;
        frames.back().sequence_frame_index = static_cast<uint32_t>(i);
    }
    return frames;
}

}  // namespace kestrel::authoring
