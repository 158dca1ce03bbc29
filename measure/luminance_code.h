// SPDX-License-Identifier: Apache-2.0
// Light as HDR10+ stores it: whole tenths of cd/m² (the unit of maxscl,
// average_maxrgb and the distribution percentiles), so that a measured value
// can be written into metadata unchanged.
#pragma once

#include <cstdint>

#include "common/numeric.h"

namespace kestrel::measure {

constexpr double kCodesPerNit = 10.0;      // one code is 0.1 cd/m²
constexpr uint32_t kMaxCode = 100000;      // 10000 cd/m², the top of PQ
constexpr float kMaxNits = 10000.0f;

// The code nearest to `nits`, halves rounded up: code k stands for light in
// [k - 0.05, k + 0.05) cd/m². Negative light and NaN give 0, light above
// 10000 cd/m² gives kMaxCode. Computed in double (a float widens exactly);
// every step (the product, the half, the truncation) never decreases, so the
// code never decreases with the light: the code of the p-th percentile of
// the light is the p-th percentile of the codes.
inline uint32_t luminanceCode(double nits) {
    if (!(nits > 0.0)) return 0;  // negative, zero or NaN
    if (nits >= static_cast<double>(kMaxNits)) return kMaxCode;
    return static_cast<uint32_t>(truncateToInt32(nits * kCodesPerNit + 0.5));
}

}  // namespace kestrel::measure
