// SPDX-License-Identifier: Apache-2.0
// A complete tone curve (knee point and tenth-order Bezier) from nothing but
// the scene statistics and the two peaks.
#include <algorithm>

#include "metadata/first_anchor.h"
#include "metadata/tone_curve_adaptation.h"

namespace {

constexpr int kBasisOrder = 10;
constexpr int kReferenceCount = 8;  // anchors 1 to 8; anchor 0 is P1

// Reference anchors 1 to 8 for a scene whose median lies far below its 99th
// percentile (contrast measure at most 0.05) and for one whose median is
// close to it (at least 0.55).
constexpr float kLowReference[kReferenceCount] = {0.4839f, 0.6325f, 0.7253f, 0.7722f,
                                                  0.8201f, 0.8837f, 0.9208f, 0.9580f};
constexpr float kHighReference[kReferenceCount] = {0.5582f, 0.6745f, 0.7703f, 0.8231f,
                                                   0.8729f, 0.9130f, 0.9599f, 0.9844f};

// Anchor k of the straight line: (k + 1) / 10, a double constant.
double straightAnchor(int k) { return (k + 1) / 10.0; }

}  // namespace

void BasisOOTF(LuminanceParameters& lp, float targetPeak, float sourcePeak, CurveParameters& out) {
    // Peak ratio R, at most 1.
    const float ratio = targetPeak / std::max(targetPeak, sourcePeak);

    // Contrast measure Q: median over 99th percentile (negative when the
    // metadata gives no median).
    float p50 = 0.0f;
    float p99 = 0.0f;
    getPercentile_50_99(lp, p50, p99);
    const float contrast = p50 / std::max(p99, 0.0001f);

    // Knee: rises with the peak ratio; a scene of strong highlights (low Q)
    // takes the higher knee A, a flat scene mostly the lower knee B.
    const float kneeHigh = rampWeight(0.0f, 0.3f, 0.22f, 1.0f, ratio);
    const float kneeLow = rampWeight(0.0f, 0.2f, 0.25f, 0.95f, ratio);
    const float c = rampWeight(1.0f, 0.05f, 0.05f, 0.5f, contrast);
    const float kneeY = kneeHigh * c + kneeLow * (1.0f - c);
    // On the line of slope 1 / R through the origin.
    const double kneeX = static_cast<double>(ratio) * static_cast<double>(kneeY);

    float weight = 0.0f;
    const float p1 = firstAnchor(static_cast<float>(kneeX), kneeY, targetPeak, sourcePeak, &weight);
    const double p1d = static_cast<double>(p1);

    // Darkness D: 1 takes the scene's reference anchors in full (target below
    // an eighth of the source), 0 the straight line (target near the source).
    const float darkness = rampWeight(1.0f, 0.0f, 0.125f, 0.95f, ratio);

    double capped[kReferenceCount + 1] = {};  // T(k), indexed by k
    for (int k = 1; k <= kReferenceCount; ++k) {
        const float low = kLowReference[k - 1];
        const float high = kHighReference[k - 1];
        // The ramp value itself (between low and high, not between 0 and 1)
        // weighs the two references.
        const float l = rampWeight(low, high, 0.05f, 0.55f, contrast);
        const float m = l * high + (1.0f - l) * low;
        const double blended = (1.0 - static_cast<double>(darkness)) * straightAnchor(k) +
                               static_cast<double>(darkness * m);
        // No anchor rises faster than the multiples of P1.
        capped[k] = std::min((k + 1) * p1d, blended);
    }

    // A dark knee on a dim display pulls the second anchor toward 0.2.
    const double reduction = static_cast<double>(rampWeight(1.0f, 0.8f, 0.1f, 0.75f, weight));

    out.kneeX = kneeX;
    out.kneeY = static_cast<double>(kneeY);
    out.order = kBasisOrder;
    out.anchors[0] = p1d;
    out.anchors[1] = std::max(std::min(2 * p1d, std::max(capped[1], straightAnchor(1)) * reduction),
                              straightAnchor(1));
    for (int k = 2; k <= kReferenceCount; ++k) {
        out.anchors[k] = std::max(capped[k], straightAnchor(k));
    }
}
