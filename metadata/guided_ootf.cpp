// SPDX-License-Identifier: Apache-2.0
// Adaptation of the content's own tone curve, made for the targeted system
// display, to the actual target display. Known curves at three peaks are
// interpolated: the 200 cd/m² Basis curve, the given curve at the targeted
// peak, and the straight line at the source peak.
#include <algorithm>
#include <cstdint>

#include "common/diagnostics.h"
#include "metadata/first_anchor.h"
#include "metadata/tone_curve_adaptation.h"

namespace {

// Bezier orders a curve can have: 1 (no anchor) to 16 (15 anchors).
constexpr uint32_t kMinOrder = 1;
constexpr uint32_t kMaxOrder = kMaxBezierAnchors + 1;

// Larger of a and b, taking a only when it is strictly larger (so a NaN b wins).
float maxPreferSecond(float a, float b) { return a > b ? a : b; }

// Clamps: the minimum with the upper bound first, then the maximum with the lower.
float clampUnit(float v) { return std::max(std::min(v, 1.0f), 0.0f); }
double clampUnit(double v) { return std::max(std::min(v, 1.0), 0.0); }

// The straight line from (0, 0) to (1, 1) with the given knee and order.
void writeStraightLine(double knee, uint32_t order, CurveParameters& out) {
    out.kneeX = knee;
    out.kneeY = knee;
    out.order = order;
    for (uint32_t i = 0; i + 1 < order; ++i) {
        out.anchors[i] = static_cast<double>(i + 1) / order;
    }
}

// Anchor i of a curve of the given order, read past its last anchor as the
// straight line would continue: (i + 1) / order, which reaches 1.0 and above.
double anchorOrLine(const CurveParameters& curve, uint32_t order, uint32_t i) {
    if (i + 1 < order) return curve.anchors[i];
    return static_cast<double>(i + 1) / order;
}

}  // namespace

void GuidedOOTF(LuminanceParameters& lp, CurveParameters& given, float sourcePeak,
                unsigned targetedPeak, unsigned targetPeak, CurveParameters& out) {
    // An order of 0 or above 16 can only come from a damaged record; it is
    // brought into range so that every array below stays in bounds.
    const uint32_t order = std::min(std::max(given.order, kMinOrder), kMaxOrder);
    // Working length: the anchors, or one slot for P1 on a curve without any.
    const uint32_t n = order != 1 ? order - 1 : 1;

    double lin[kMaxBezierAnchors];
    for (uint32_t i = 0; i < n; ++i) lin[i] = static_cast<double>(i + 1) / order;

    if (targetPeak < kMinTargetPeak) {
        kestrel::diag::logGuidedTargetUnder200();
        writeStraightLine(0.0, order, out);
        return;
    }

    if (targetedPeak == targetPeak) {
        // The curve was made for this display. Only the valid anchors are
        // copied: a caller's record may hold fewer slots than ours.
        out.kneeX = given.kneeX;
        out.kneeY = given.kneeY;
        out.order = order;
        for (uint32_t i = 0; i + 1 < order; ++i) out.anchors[i] = given.anchors[i];
        return;
    }

    const float targeted = static_cast<float>(targetedPeak);
    const float target = static_cast<float>(targetPeak);
    const float source = sourcePeak;

    if (target >= source) {
        // Nothing to compress: the identity, with its knee at 0.3 in single precision.
        writeStraightLine(static_cast<double>(0.3f), order, out);
        return;
    }

    const float ratioTargeted = targeted / maxPreferSecond(targeted, source);
    const float ratioTarget = target / maxPreferSecond(target, source);

    double kneeY = 0.0;
    double res[kMaxBezierAnchors];
    if (targetPeak >= targetedPeak) {
        // Between the targeted peak and the source peak: from the given curve
        // (beta 0) toward the straight line (beta 1).
        const float beta = clampUnit((ratioTarget - ratioTargeted) / (1.0f - ratioTargeted));
        kneeY = clampUnit(given.kneeY * static_cast<double>(1.0f - beta) +
                          static_cast<double>(0.3f * beta));
        const double b = static_cast<double>(beta);
        for (uint32_t i = 0; i < n; ++i) {
            res[i] = lin[i] * b + anchorOrLine(given, order, i) * (1.0 - b);
        }
    } else {
        // From 200 cd/m² up to the targeted peak: from the 200 cd/m² Basis
        // curve (alpha 0) toward the given curve (alpha 1).
        const float ratio200 = 200.0f / maxPreferSecond(target, source);
        const float alpha = clampUnit((ratioTarget - ratio200) / (ratioTargeted - ratio200));
        CurveParameters reference{};
        BasisOOTF(lp, 200.0f, source, reference);
        const double a = static_cast<double>(alpha);
        kneeY = clampUnit(a * given.kneeY + (1.0 - a) * reference.kneeY);
        for (uint32_t i = 0; i < n; ++i) {
            res[i] = a * anchorOrLine(given, order, i) +
                     (1.0 - a) * anchorOrLine(reference, reference.order, i);
        }
    }

    // The knee moves along the line of slope 1 / Rg; the given knee x plays no part.
    const double kneeX = kneeY * static_cast<double>(ratioTarget);

    const float p1 =
        firstAnchor(static_cast<float>(kneeX), static_cast<float>(kneeY), target, source, nullptr);
    const double p1d = static_cast<double>(p1);
    res[0] = p1d;
    // No anchor rises faster than the multiples of P1.
    for (uint32_t i = 1; i < n; ++i) res[i] = std::min(res[i], (i + 1) * p1d);

    out.kneeX = kneeX;
    out.kneeY = kneeY;
    out.order = order;
    for (uint32_t i = 0; i + 1 < order; ++i) out.anchors[i] = res[i];
}
