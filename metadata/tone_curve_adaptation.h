// SPDX-License-Identifier: Apache-2.0
// Adaptation of an HDR10+ tone curve to the target display: the scene
// statistics drawn from a record, the small ramp and anchor functions, the
// Basis and Guided OOTFs, and the entry point that rewrites a record's curve.
// All functions are exported with exactly these signatures.
#pragma once

#include <cstdint>

#include "common/export.h"
#include "metadata/VelmorHdrDynamicInfo.h"

// Scene statistics of one record, in cd/m².
struct LuminanceParameters {
    uint32_t percentages[kMaxDistributionEntries];  // integer percent of entry i
    double percentiles[kMaxDistributionEntries];    // luminance of entry i
    float maxscl[3];                                // brightest red, green, blue component
    uint32_t numPercentiles;                        // valid entries, 0..15
};

// Below this target peak (cd/m²) a record's own curve is not adapted: the
// Guided OOTF gives the straight line instead.
constexpr unsigned kMinTargetPeak = 200;

// One tone curve in normalized units: a straight segment to the knee point,
// then a Bezier curve of the given order through `order` - 1 anchors.
// Room for 15 anchors: HDR10+ allows curves of order 16.
struct CurveParameters {
    double kneeX;
    double kneeY;
    uint32_t order;
    double anchors[kMaxBezierAnchors];
};

KESTREL_EXPORT float rampWeight(float a, float b, float lo, float hi, float x);
KESTREL_EXPORT float getSourceMaxLuminance(LuminanceParameters& lp);
KESTREL_EXPORT void getPercentile_50_99(LuminanceParameters& lp, float& p50, float& p99);
KESTREL_EXPORT float calcP1(float a0, float a1, float a2, float a3, float a4, float a5, float a6,
                            float a7, float a8, float a9, float a10, float a11, float a12,
                            float a13, float a14, float* weightOut);

KESTREL_EXPORT void BasisOOTF(LuminanceParameters& lp, float targetPeak, float sourcePeak,
                              CurveParameters& out);
KESTREL_EXPORT void GuidedOOTF(LuminanceParameters& lp, CurveParameters& given, float sourcePeak,
                               unsigned targetedPeak, unsigned targetPeak, CurveParameters& out);

KESTREL_EXPORT void meta2meta(unsigned target_max_luminance, unsigned max_luminance,
                              _VelmorHdrDynamicInfo& record);

// Fills lp from a record's statistics, the way every consumer of a record
// does it (counts clamped to 15). Internal: not exported.
void fillLuminanceParameters(const _VelmorHdrDynamicInfo& record, LuminanceParameters& lp);
