// SPDX-License-Identifier: Apache-2.0
// The tone curve a record describes, evaluated in double precision with
// exact binomial coefficients: the reference that the library's 33-point
// table is measured and drawn against.
//
// In normalized units the curve is a straight segment from (0, 0) to the
// knee point (kx, ky), then the Bezier curve of order N + 1 with control
// points 0, a_1 ... a_N, 1, scaled to run from the knee point to (1, 1):
//
//   u = (t - kx) / (1 - kx)
//   B(u) = sum_{k=1..N} C(N+1, k) u^k (1-u)^(N+1-k) a_k + u^(N+1)
//   y = ky + (1 - ky) B(u)
#pragma once

#include <cstdint>
#include <vector>

#include "dtm/meta2lut.h"
#include "metadata/VelmorHdrDynamicInfo.h"

namespace kestrel::analysis {

struct ToneCurve {
    double kneeX = 0;             // 0..1
    double kneeY = 0;             // 0..1
    std::vector<double> anchors;  // a_1..a_N, nominally 0..1
};

// The record's knee point and anchors, whatever its tone-mapping flag says
// (counts above 15 are clamped to the 15 slots the record has).
ToneCurve toneCurveOf(const _VelmorHdrDynamicInfo& record);

// Normalized output for normalized input t in [0, 1].
double evaluate(const ToneCurve& curve, double t);

// The table's domain: input x on a 2^27 scale, gain y/t in units of
// 1/1048575 (1048575 is a gain of 1.0).
constexpr double kTableInputScale = kToneTableInputOne;
constexpr double kUnitGain = kToneTableUnitGain;

// The gain the table samples at integer input x: y(x / 2^27) * 2^27 *
// 1048575 / x, with x = 0 divided by 1 as the sampler does, limited to the
// int32 range of a sample.
double gainAt(const ToneCurve& curve, double x);

}  // namespace kestrel::analysis
