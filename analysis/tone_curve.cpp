// SPDX-License-Identifier: Apache-2.0
#include "analysis/tone_curve.h"

#include <algorithm>
#include <cmath>

namespace kestrel::analysis {

ToneCurve toneCurveOf(const _VelmorHdrDynamicInfo& record) {
    ToneCurve curve;
    curve.kneeX = record.knee_point_x / static_cast<double>(kKneePointOne);
    curve.kneeY = record.knee_point_y / static_cast<double>(kKneePointOne);
    unsigned n = std::min<unsigned>(record.num_bezier_curve_anchors, kMaxBezierAnchors);
    for (unsigned k = 0; k < n; k++)
        curve.anchors.push_back(record.bezier_curve_anchors[k] / static_cast<double>(kAnchorOne));
    return curve;
}

double evaluate(const ToneCurve& curve, double t) {
    const double kx = curve.kneeX;
    const double ky = curve.kneeY;
    if (t < kx) return kx > 0 ? std::clamp(ky / kx * t, 0.0, 1.0) : 0.0;

    // A knee at x = 1 leaves no room for the Bezier part: its end point is
    // all that remains of it.
    const double u = kx >= 1.0 ? 1.0 : (t - kx) / (1.0 - kx);
    const int order = static_cast<int>(curve.anchors.size()) + 1;
    double b = std::pow(u, order);
    double binomial = 1.0;  // C(order, k), built up term by term
    for (int k = 1; k < order; k++) {
        binomial = binomial * (order - k + 1) / k;
        b += binomial * std::pow(u, k) * std::pow(1.0 - u, order - k) * curve.anchors[k - 1];
    }
    return ky + (1.0 - ky) * b;
}

double gainAt(const ToneCurve& curve, double x) {
    const double y = evaluate(curve, x / kTableInputScale);
    const double gain = y * kTableInputScale * kUnitGain / std::max(x, 1.0);
    return std::clamp(gain, -2147483648.0, 2147483647.0);
}

}  // namespace kestrel::analysis
