// SPDX-License-Identifier: Apache-2.0
// Curves sampled at integer abscissae, the form in which the knee-point
// extractor sees them. A sampler copies the record it is made from and owns
// nothing else; getY is a pure function of the object, safe to call from
// several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dtm/meta2lut.h"
#include "metadata/VelmorHdrDynamicInfo.h"

class curveData {
public:
    virtual ~curveData() {}
    // The curve's sample at x, for 0 <= x <= xMax.
    virtual int32_t getY(int x) const = 0;
    // y[i] = getY(x[i]) for i < count. One call for samples that do not wait
    // for each other, so that their computations overlap.
    virtual void getYs(const int32_t* x, int32_t* y, size_t count) const {
        for (size_t i = 0; i < count; i++) y[i] = getY(x[i]);
    }

    const _VelmorHdrDynamicInfo meta;  // the record whose curve is sampled
    const int32_t xMax;                // abscissae run from 0 to xMax inclusive
    const uint32_t peakLuminance;      // cd/m²; read by the PQ sampler only

protected:
    curveData(const _VelmorHdrDynamicInfo& record, int32_t xMaxValue, uint32_t peak)
        : meta(record), xMax(xMaxValue), peakLuminance(peak) {}
};

// The record's tone curve as a gain: a straight segment from (0, 0) to the
// knee point, then a Bezier curve through the record's anchors to (1, 1).
// getY(x) is output / input at input x / xMax, in units of 1/kToneTableUnitGain.
class OETFCurveData final : public curveData {
public:
    static constexpr int32_t kXMax = kToneTableInputOne;
    static constexpr float kUnitGain = static_cast<float>(kToneTableUnitGain);  // exact in float

    explicit OETFCurveData(const _VelmorHdrDynamicInfo& record);
    int32_t getY(int x) const override;
    void getYs(const int32_t* x, int32_t* y, size_t count) const override;
    // getY(x) without the virtual call, for callers that know the sampler.
    int32_t sampleAt(int x) const;

private:
    int32_t gainAt(int x) const;

    // The record's curve, decoded once with the precision each step is
    // defined in.
    unsigned mNumAnchors;                // N, at most kMaxBezierAnchors
    float mKneeX;                        // knee_point_x / kKneePointOne
    float mKneeY;                        // knee_point_y / kKneePointOne
    float mSlope;                        // ky / kx, 0 when kx is 0
    float mBezierWidth;                  // 1 - kx
    double mAnchors[kMaxBezierAnchors];  // bezier_curve_anchors / kAnchorOne
    int32_t mGainAtOne;                  // gainAt(1)
    int32_t mGainAtThree;                // gainAt(3)
    // The abscissae 0 < x < mUnclampedEnd lie on the straight segment below
    // its clamp, where a sample at c 2^m is the sample at c.
    uint32_t mUnclampedEnd;
};

inline int32_t OETFCurveData::sampleAt(int x) const {
    // On the straight segment, the sample at x = c 2^m (c odd) is the sample
    // at c: every step scales exactly by 2^m. line = s x 2^-27 is exact in
    // double (24 + 28 bits), and while it stays at most 1 (no clamp) and far
    // above the subnormal range (s is 0 or at least 1/4095), rounding it to
    // float commutes with the power of two; so do y 2^27 and its product
    // with kUnitGain (below 2^47), and the quotient by x = c 2^m, which is
    // exact in float for c below 2^24, is the quotient of the unscaled pair.
    // A descent towards 0 samples only c = 1 and c = 3.
    // 0 < x < mUnclampedEnd, in one unsigned comparison (x = 0 wraps).
    if (static_cast<uint32_t>(x) - 1u < mUnclampedEnd - 1u) {
        const int32_t odd = x >> __builtin_ctz(static_cast<unsigned>(x));
        if (odd == 1) return mGainAtOne;
        if (odd == 3) return mGainAtThree;
    }
    return gainAt(x);
}

// The SMPTE ST 2084 EOTF of 10-bit PQ codes as a fraction of a normalisation
// luminance L: the larger of the caller's peak and the record's source peak,
// at most 10000 cd/m². getY(x) is min(EOTF(x), L) / L in units of 1/65535,
// and 65535 at code 1023.
class EOTFCurveData : public curveData {
public:
    static constexpr int32_t kXMax = 1024;

    EOTFCurveData(const _VelmorHdrDynamicInfo& record, uint32_t peak);
    int32_t getY(int x) const override;
    void getYs(const int32_t* x, int32_t* y, size_t count) const override;

private:
    int32_t fractionAt(int x) const;

    double mNormalisation;  // L, cd/m²; depends only on the record and the peak
};
