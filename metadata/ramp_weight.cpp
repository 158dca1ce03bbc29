// SPDX-License-Identifier: Apache-2.0
// The clamped linear ramp that every blend weight of the adaptation is made of.
#include "metadata/tone_curve_adaptation.h"

// Runs from a at lo to b at hi and holds constant outside; a may exceed b.
// Single precision throughout.
float rampWeight(float a, float b, float lo, float hi, float x) {
    if (lo == hi) return x < lo ? a : b;
    if (x <= lo) return a;
    if (x >= hi) return b;
    return (b - a) / (hi - lo) * (x - lo) + a;
}
