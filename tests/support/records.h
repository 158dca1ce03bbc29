// SPDX-License-Identifier: Apache-2.0
// Records the tests of several subsystems share, typed once.
#pragma once

#include <cstdint>
#include <cstring>

#include "metadata/VelmorHdrDynamicInfo.h"

namespace kestrel_test {

// A scene of a bright HDR10+ title: maxscl 4000, 3500, 3000 cd/m², nine
// distribution entries up to 99 % at 2500 cd/m², and a tone curve made for
// a 1000 cd/m² display. Flag 1 carries the curve; any other flag makes the
// library generate one.
inline _VelmorHdrDynamicInfo brightSceneRecord(uint16_t toneMappingFlag) {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof r);
    r.targeted_system_display_maximum_luminance = 1000;
    r.maxscl[0] = 40000;
    r.maxscl[1] = 35000;
    r.maxscl[2] = 30000;
    const uint8_t percentages[] = {1, 5, 10, 25, 50, 75, 90, 95, 99};
    const uint32_t percentiles[] = {5, 20, 50, 200, 1000, 3000, 8000, 12000, 25000};
    r.num_distribution_maxrgb_percentiles = 9;
    for (int i = 0; i < 9; i++) {
        r.distribution_maxrgb_percentages[i] = percentages[i];
        r.distribution_maxrgb_percentiles[i] = percentiles[i];
    }
    r.tone_mapping_flag = toneMappingFlag;
    r.knee_point_x = 1700;
    r.knee_point_y = 1600;
    const uint16_t anchors[] = {500, 700, 800, 870, 920, 960, 990, 1010, 1020};
    r.num_bezier_curve_anchors = 9;
    for (int i = 0; i < 9; i++) r.bezier_curve_anchors[i] = anchors[i];
    return r;
}

// The one frame of examples/metadata/single-frame-metadata.json (a real
// stream's), typed from the file.
inline _VelmorHdrDynamicInfo singleFrameRecord() {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof r);
    r.targeted_system_display_maximum_luminance = 400;
    r.maxscl[0] = 7768;
    r.maxscl[1] = 6589;
    r.maxscl[2] = 6912;
    const uint8_t percentages[] = {1, 5, 10, 25, 50, 75, 90, 95, 99};
    const uint32_t values[] = {0, 6080, 92, 1, 4, 107, 726, 1784, 5843};
    r.num_distribution_maxrgb_percentiles = 9;
    for (int i = 0; i < 9; i++) {
        r.distribution_maxrgb_percentages[i] = percentages[i];
        r.distribution_maxrgb_percentiles[i] = values[i];
    }
    r.tone_mapping_flag = 1;
    r.knee_point_x = 164;
    r.knee_point_y = 240;
    const uint16_t anchors[] = {143, 298, 447, 592, 731, 864, 891, 917, 938};
    r.num_bezier_curve_anchors = 9;
    for (int i = 0; i < 9; i++) r.bezier_curve_anchors[i] = anchors[i];
    return r;
}

// The frame of single-frame-metadata.json in its JSON layout, cut to three
// anchors and three distribution entries, with a key no reader knows (which
// readers must pass over).
inline const char* const kCurveFrameJson = R"({
  "BezierCurveData": {"Anchors": [143, 298, 447], "KneePointX": 164, "KneePointY": 240},
  "LuminanceParameters": {
    "AverageRGB": 263,
    "LuminanceDistributions": {"DistributionIndex": [1, 50, 99],
                               "DistributionValues": [0, 6080, 5843]},
    "MaxScl": [7768, 6589, 6912]},
  "NumberOfWindows": 1,
  "TargetedSystemDisplayMaximumLuminance": 400,
  "SceneFrameIndex": 0, "SceneId": 0, "SequenceFrameIndex": 0,
  "SomethingNew": {"nested": [1, 2]}
})";

}  // namespace kestrel_test
