// SPDX-License-Identifier: Apache-2.0
// One pixel of Y'CbCr to R'G'B' signal: the sample codes normalised with the
// stream's range, then the BT.2020 non-constant-luminance matrix, in float
// (yuv_to_rgb.h describes the steps). Kept here, apart from the row loops,
// so that every loop that converts pixels (the plain rows and the measuring
// kernels that fuse the conversion with their own work) does exactly these
// float operations in this order, and so gives the same bits.
#pragma once

#include <cstdint>

namespace kestrel::picture {

struct YuvFrame;

// BT.2020's luma weights and the matrix terms that follow from them.
namespace bt2020 {
constexpr double kKr = 0.2627;
constexpr double kKb = 0.0593;
constexpr float kCrToR = static_cast<float>(2 * (1 - kKr));
constexpr float kCbToB = static_cast<float>(2 * (1 - kKb));
constexpr float kRToG = static_cast<float>(kKr / (1 - kKr - kKb));
constexpr float kBToG = static_cast<float>(kKb / (1 - kKr - kKb));
constexpr float kYToG = static_cast<float>(1 / (1 - kKr - kKb));
}  // namespace bt2020

// signal = (code - offset) * scale, for luma and for chroma.
struct SampleRange {
    float yOffset = 0, yScale = 0, cOffset = 0, cScale = 0;
};
// The range of `frame`'s samples at its depth, limited or full.
SampleRange sampleRange(const YuvFrame& frame);

struct RgbSignal {
    float r, g, b;
};

// A pixel of luma code `luma` and chroma codes `cb`, `cr` (interpolated,
// so not whole) to R'G'B'.
inline RgbSignal rgbSignal(float luma, float cb, float cr, const SampleRange& range) {
    using namespace bt2020;
    const float yy = (luma - range.yOffset) * range.yScale;
    const float u = (cb - range.cOffset) * range.cScale;
    const float v = (cr - range.cOffset) * range.cScale;
    const float red = yy + kCrToR * v;
    const float blue = yy + kCbToB * u;
    return {red, kYToG * yy - kRToG * red - kBToG * blue, blue};
}

}  // namespace kestrel::picture
