// SPDX-License-Identifier: Apache-2.0
// Records the tone-mapping tests share.
#pragma once

#include <cstring>
#include <initializer_list>

#include "metadata/VelmorHdrDynamicInfo.h"

inline _VelmorHdrDynamicInfo curveRecord(unsigned kneeX, unsigned kneeY,
                                         std::initializer_list<unsigned> anchors) {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof(r));
    r.tone_mapping_flag = 1;
    r.knee_point_x = static_cast<uint16_t>(kneeX);
    r.knee_point_y = static_cast<uint16_t>(kneeY);
    r.num_bezier_curve_anchors = static_cast<uint16_t>(anchors.size());
    unsigned i = 0;
    for (unsigned a : anchors) r.bezier_curve_anchors[i++] = static_cast<uint16_t>(a);
    return r;
}

// Knee point (1000, 1500) and nine evenly rising anchors.
inline _VelmorHdrDynamicInfo kneeExampleRecord() {
    return curveRecord(1000, 1500, {102, 205, 307, 410, 512, 614, 717, 819, 921});
}
