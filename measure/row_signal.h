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

#include <algorithm>
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

namespace row_signal_detail {
// The peaks while a row is reduced, in locals of the loop: each pixel's
// components folded in, its maxRGB returned. NaN and negative values (and
// -0) count as +0, so that comparisons order every sample and equal values
// have equal bits.
struct RunningPeaks {
    float r, g, b, lowest, highest;
    explicit RunningPeaks(const RowPeaks& p)
        : r(p.component[0]), g(p.component[1]), b(p.component[2]), lowest(p.lowest),
          highest(p.highest) {}
    static float nonNegative(float v) { return v > 0.0f ? v : 0.0f; }
    float add(float red, float green, float blue) {
        red = nonNegative(red);
        green = nonNegative(green);
        blue = nonNegative(blue);
        r = std::max(r, red);
        g = std::max(g, green);
        b = std::max(b, blue);
        const float s = std::min(std::max(red, std::max(green, blue)), 1.0f);
        lowest = std::min(lowest, s);
        highest = std::max(highest, s);
        return s;
    }
    // The lanes of a vector loop's peaks, `width` each: red, green, blue,
    // lowest and highest, one after the other.
    void addLanes(const float* lanes, size_t width) {
        for (size_t k = 0; k < width; ++k) {
            r = std::max(r, lanes[k]);
            g = std::max(g, lanes[width + k]);
            b = std::max(b, lanes[2 * width + k]);
            lowest = std::min(lowest, lanes[3 * width + k]);
            highest = std::max(highest, lanes[4 * width + k]);
        }
    }
    void store(RowPeaks& p) const {
        p.component = {r, g, b};
        p.lowest = lowest;
        p.highest = highest;
    }
};
}  // namespace row_signal_detail

// Writes maxRGB of pixel i to maxRgb[i] and its step to step[i], for i
// below n, and folds the row into `peaks`.
void reduceRow(const float* r, const float* g, const float* b, size_t n, float* maxRgb,
               uint32_t* step, RowPeaks& peaks);

}  // namespace kestrel::measure
