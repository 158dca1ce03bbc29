// SPDX-License-Identifier: Apache-2.0
// A row of R'G'B' signal reduced, in one pass, to what counting it needs:
// each pixel's maxRGB (the largest of its three components, negative
// values and NaN taken as 0, clamped to 1), the step of 2^-16 it lies in
// (signal_code.h), and the row's peak of each component and range of
// maxRGB.
//
// Only selections (max, min, the test against 0) and one exact product by
// 2^16 per pixel: the values are those of the plain per-pixel expression
// in any order and any vector width, which is why the pass may run four
// pixels at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrel::measure {

// The peaks of the rows reduced so far: of each component (negative and
// NaN as 0, not clamped) and the range of maxRGB (clamped to 0..1).
struct RowPeaks {
    std::array<float, 3> component = {0.0f, 0.0f, 0.0f};
    float lowest = 1.0f;
    float highest = 0.0f;
};

// Writes maxRGB of pixel i to maxRgb[i] and its step to step[i], for i
// below n, and folds the row into `peaks`.
void reduceRow(const float* r, const float* g, const float* b, size_t n, float* maxRgb,
               uint32_t* step, RowPeaks& peaks);

}  // namespace kestrel::measure
