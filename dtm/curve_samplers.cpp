// SPDX-License-Identifier: Apache-2.0
#include "dtm/curve_samplers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

#include "common/numeric.h"
#include "dtm/meta2lut.h"
#include "metadata/tone_curve_adaptation.h"

namespace {

// EBZ_COEFF[r][k - 1] = C(r, k) for k = 1 .. r - 1: the inner binomial
// coefficients of a Bezier curve of order r, which has r - 1 anchors. Rows 0
// and 1 are never read. Row 16 serves the 15 anchors a record can hold.
constexpr unsigned kCoeffRows = kMaxBezierAnchors + 2;
constexpr float EBZ_COEFF[kCoeffRows][kMaxBezierAnchors] = {
    {0},
    {0},
    {2},
    {3, 3},
    {4, 6, 4},
    {5, 10, 10, 5},
    {6, 15, 20, 15, 6},
    {7, 21, 35, 35, 21, 7},
    {8, 28, 56, 70, 56, 28, 8},
    {9, 36, 84, 126, 126, 84, 36, 9},
    {10, 45, 120, 210, 252, 210, 120, 45, 10},
    {11, 55, 165, 330, 462, 462, 330, 165, 55, 11},
    {12, 66, 220, 495, 792, 924, 792, 495, 220, 66, 12},
    {13, 78, 286, 715, 1287, 1716, 1716, 1287, 715, 286, 78, 13},
    {14, 91, 364, 1001, 2002, 3003, 3432, 3003, 2002, 1001, 364, 91, 14},
    {15, 105, 455, 1365, 3003, 5005, 6435, 6435, 5005, 3003, 1365, 455, 105, 15},
    {16, 120, 560, 1820, 4368, 8008, 11440, 12870, 11440, 8008, 4368, 1820, 560, 120, 16},
};

// B(u) = sum over k = 1..N of C(N+1, k) u^k (1-u)^(N+1-k) a_k, plus u^(N+1):
// the Bezier curve with control points 0, a_1, ..., a_N, 1. N is a constant
// here so that the loops unroll and the powers stay in registers; the
// operations and their order are the same for every N.
template <unsigned N>
float bezier(float u, const double* anchors) {
    const float v = 1.0f - u;
    // powX[k] = u^(k+1), powDX[k] = (1-u)^(k+1).
    float powX[N > 0 ? N : 1];
    float powDX[N > 0 ? N : 1];
    float endTerm = u;  // u^(N+1); u itself when there is no anchor
    if (N > 0) {
        powX[0] = u;
        powDX[0] = v;
#pragma GCC unroll 16
        for (unsigned k = 1; k < N; k++) {
            powX[k] = powX[k - 1] * u;
            powDX[k] = v * powDX[k - 1];
        }
        endTerm = powX[N > 0 ? N - 1 : 0] * u;
    }
    float sum = 0.0f;
#pragma GCC unroll 16
    for (unsigned j = 0; j < N; j++) {
        float c = EBZ_COEFF[N + 1][j] * powX[j];
        c = c * powDX[N - 1 - j];
        // The anchor is a double, so this term is summed in double.
        sum = static_cast<float>(anchors[j] * c + sum);
    }
    return sum + endTerm;
}

using BezierOfOrder = float (*)(float, const double*);

template <size_t... N>
constexpr std::array<BezierOfOrder, sizeof...(N)> bezierTable(std::index_sequence<N...>) {
    return {{&bezier<N>...}};
}

// kBezier[N] evaluates the curve with N anchors.
constexpr auto kBezier = bezierTable(std::make_index_sequence<kMaxBezierAnchors + 1>());

// xMax is a power of two, so dividing by it is multiplying by its inverse,
// exactly (every quotient here is far above the subnormal range).
static_assert((OETFCurveData::kXMax & (OETFCurveData::kXMax - 1)) == 0, "xMax is a power of two");
constexpr double kInverseXMax = 1.0 / OETFCurveData::kXMax;

}  // namespace

OETFCurveData::OETFCurveData(const _VelmorHdrDynamicInfo& record) : curveData(record, kXMax, 0) {
    // The count field is 16 bits wide but the record holds 15 anchors.
    mNumAnchors = std::min<unsigned>(meta.num_bezier_curve_anchors, kMaxBezierAnchors);
    mKneeX = static_cast<float>(meta.knee_point_x / static_cast<double>(kKneePointOne));
    mKneeY = static_cast<float>(meta.knee_point_y / static_cast<double>(kKneePointOne));
    mSlope = mKneeX > 0 ? mKneeY / mKneeX : 0.0f;
    mBezierWidth = 1.0f - mKneeX;
    // Only the anchors the curve has are divided; the rest are 0.
    for (unsigned k = 0; k < mNumAnchors; k++) {
        mAnchors[k] = meta.bezier_curve_anchors[k] / static_cast<double>(kAnchorOne);
    }
    std::fill(mAnchors + mNumAnchors, mAnchors + kMaxBezierAnchors, 0.0);
    // Read by sampleAt only where 1 and 3 lie on the straight segment.
    mGainAtOne = gainAt(1);
    mGainAtThree = gainAt(3);

    // Where the straight segment runs unclamped: t < kx and s t <= 1. Both
    // are exact comparisons of reals (x 2^-27 and s x 2^-27 are exact in
    // double), and both sides grow with x (s >= 0), so they hold on one run
    // 0 < x < end. The run's end is found from the two bounds and then
    // settled against the very comparisons, so that no rounding of the
    // bounds' arithmetic can move it.
    const auto unclamped = [this](int64_t x) {
        const double t = static_cast<double>(x) * kInverseXMax;
        const double line = static_cast<double>(mSlope) * static_cast<double>(x) * kInverseXMax;
        return x > 0 && x < kXMax && t < static_cast<double>(mKneeX) && line <= 1.0;
    };
    double end = std::ceil(static_cast<double>(mKneeX) * kXMax);
    if (mSlope > 0.0f) end = std::min(end, std::floor(kXMax / static_cast<double>(mSlope)) + 1.0);
    int64_t bound = static_cast<int64_t>(std::min(std::max(end, 1.0), static_cast<double>(kXMax)));
    while (bound > 1 && !unclamped(bound - 1)) bound--;
    while (unclamped(bound)) bound++;
    mUnclampedEnd = static_cast<uint32_t>(bound);
}

int32_t OETFCurveData::gainAt(int x) const {
    // xMax is always kXMax in this sampler.
    const double t = static_cast<double>(x) * kInverseXMax;
    float y;
    // A knee at exactly 1.0 leaves no Bezier segment: its u = (t - 1) / (1 - 1)
    // would be 0 / 0 at x = xMax and turn the peak black. The end point then
    // lies on the straight segment too, at t = 1, with the segment's gain.
    const bool endOfFullKnee = mKneeX == 1.0f && x == kXMax;
    if (t < static_cast<double>(mKneeX) || endOfFullKnee) {
        // Straight segment; at x = 0 it gives y = 0, so the sample there is 0.
        const double line = static_cast<double>(mSlope) * x * kInverseXMax;
        y = static_cast<float>(std::min(std::max(line, 0.0), 1.0));
    } else {
        // Bezier segment, also taken when t or kx is NaN. u runs from 0 at the
        // knee to 1 at x = xMax.
        const float u = static_cast<float>((t - static_cast<double>(mKneeX)) /
                                           static_cast<double>(mBezierWidth));
        const float bezier = kBezier[mNumAnchors](u, mAnchors);
        // Scale the curve to run from the knee point to (1, 1).
        y = (1.0f - mKneeY) * bezier + mKneeY;
    }
    // Gain y / t in units of 1/kToneTableUnitGain, every step in float.
    const float divisor = static_cast<float>(x == 0 ? 1 : x);
    const float gain = ((y * static_cast<float>(kXMax)) * kUnitGain) / divisor;
    return kestrel::truncateToInt32(gain);
}

int32_t OETFCurveData::getY(int x) const { return sampleAt(x); }

void OETFCurveData::getYs(const int32_t* x, int32_t* y, size_t count) const {
    for (size_t i = 0; i < count; i++) y[i] = sampleAt(x[i]);
}

EOTFCurveData::EOTFCurveData(const _VelmorHdrDynamicInfo& record, uint32_t peak)
    : curveData(record, kXMax, peak) {
    LuminanceParameters lp;
    fillLuminanceParameters(meta, lp);
    const double source = getSourceMaxLuminance(lp);
    const double target = peakLuminance;
    const double larger = target < source ? source : target;
    mNormalisation = std::min(larger, 10000.0);
}

inline int32_t EOTFCurveData::fractionAt(int x) const {
    // Code 1023 is full scale whatever the normalisation, even when L is 0.
    if (x == xMax - 1) return 65535;
    const double luminance = mNormalisation < dTable[x] ? mNormalisation : dTable[x];
    return kestrel::truncateToInt32(luminance * 65535.0 / mNormalisation);
}

int32_t EOTFCurveData::getY(int x) const { return fractionAt(x); }

void EOTFCurveData::getYs(const int32_t* x, int32_t* y, size_t count) const {
    for (size_t i = 0; i < count; i++) y[i] = fractionAt(x[i]);
}
