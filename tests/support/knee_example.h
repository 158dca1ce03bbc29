// SPDX-License-Identifier: Apache-2.0
// An HDR10+ record whose curve is used unchanged on a 1000 cd/m² target,
// and the 33-point tone table it must give, worked out by hand.
#pragma once

#include <cstdint>

#include "metadata/VelmorHdrDynamicInfo.h"

namespace kestrel_test {

// Made for a 1000 cd/m² display: knee (1000, 1500) over 4095 and nine anchors.
inline _VelmorHdrDynamicInfo kneeExampleRecord() {
    _VelmorHdrDynamicInfo r{};
    r.targeted_system_display_maximum_luminance = 1000;
    r.tone_mapping_flag = 1;
    r.knee_point_x = 1000;
    r.knee_point_y = 1500;
    r.num_bezier_curve_anchors = 9;
    const uint16_t anchors[9] = {102, 205, 307, 410, 512, 614, 717, 819, 921};
    for (int i = 0; i < 9; i++) r.bezier_curve_anchors[i] = anchors[i];
    return r;
}

// The gain at 0 is 0 while the straight segment's gain is 1572862, so the
// points crowd toward 0 at every power of two; the last entry is the last
// segment's width and its (falling) rise as a 32-bit two's complement.
inline void expectedKneeExampleTable(uint32_t x[33], uint32_t y[33]) {
    x[0] = 0;
    y[0] = 0;
    for (int k = 0; k <= 24; k++) {
        x[1 + k] = 1u << k;
        y[1 + k] = 1572862;
    }
    const uint32_t tailX[6] = {33554432, 41943040, 50331648, 67108864, 83886080, 100663296};
    const uint32_t tailY[6] = {1556716, 1421177, 1331073, 1218444, 1150724, 1105508};
    for (int i = 0; i < 6; i++) {
        x[26 + i] = tailX[i];
        y[26 + i] = tailY[i];
    }
    x[32] = 134217728u - 100663296u;
    y[32] = 4294910363u;  // 1048575 - 1105508 modulo 2^32
}

}  // namespace kestrel_test
