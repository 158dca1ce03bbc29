// SPDX-License-Identifier: Apache-2.0
// The first Bezier anchor above the knee.
#include "metadata/first_anchor.h"

#include <algorithm>

#include "metadata/tone_curve_adaptation.h"

// All in single precision. The anchor starts from the value at which a
// tenth-order Bezier leaves the knee with the slope of the straight segment,
// is held under a ceiling that tightens as the knee rises, and is lowered
// further for a very dark knee on a display much dimmer than the scene.
float calcP1(float a0, float a1, float a2, float a3, float a4, float a5, float a6, float a7,
             float a8, float a9, float a10, float a11, float a12, float a13, float a14,
             float* weightOut) {
    const float kneeX = a0;
    const float kneeY = a1;
    // Target-to-source peak ratio.
    const float r = a2 / std::max(a2, a3);

    const float ceiling = rampWeight(a7, a6, a4, a5, kneeY);

    // A tenth-order Bezier over the span above the knee leaves the knee with
    // slope 10 p (1 - kneeY) / (1 - kneeX); equating that to the straight
    // segment's slope kneeY / kneeX = 1 / r gives p.
    const float p =
        (1.0f - std::min(kneeX, 0.9999f)) / ((1.0f - std::min(kneeY, 0.9999f)) * 10.0f) / r;
    const float bounded = std::max(std::min(ceiling, p), 0.0f);

    const float weightA = rampWeight(1.0f, 0.0f, a8, a9, kneeY);
    const float weightB = rampWeight(1.0f, 0.0f, a10, a11, r);
    const float weight = weightA * weightB;
    if (weightOut != nullptr) *weightOut = weight;

    const float reduction = rampWeight(1.0f, a14, a12, a13, weight);
    return std::min(ceiling, std::max(bounded * reduction, 0.1f));
}

float firstAnchor(float kneeX, float kneeY, float targetPeak, float sourcePeak, float* weightOut) {
    return calcP1(kneeX, kneeY, targetPeak, sourcePeak, 0.01f,
                  0.1f,           // knee-y range of the ceiling ramp
                  0.92f, 0.98f,   // ceiling at a high knee, at a low knee
                  0.005f, 0.04f,  // knee-y range of the darkness weight
                  0.12f, 0.4f,    // peak-ratio range of the dimness weight
                  0.1f, 0.75f,    // weight range of the reduction
                  0.65f,          // reduction at full weight
                  weightOut);
}
