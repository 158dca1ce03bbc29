// SPDX-License-Identifier: Apache-2.0
// The PQ transfer of SMPTE ST 2084 on a signal normalised to 0..1, as the
// pictures use it:
//
//   L = 10000 cd/m² * (max(E^(1/m2) - c1, 0) / (c2 - c3 E^(1/m2)))^(1/m1)
//
// and its inverse. The constants are written as the standard writes them.
#pragma once

#include <algorithm>
#include <cmath>

namespace kestrel::picture {

constexpr float kPqPeakNits = 10000.0f;

namespace pq_constants {
constexpr double kM1 = 2610.0 / 16384;
constexpr double kM2 = 2523.0 / 4096 * 128;
constexpr double kC1 = 3424.0 / 4096;
constexpr double kC2 = 2413.0 / 4096 * 32;
constexpr double kC3 = 2392.0 / 4096 * 32;
}  // namespace pq_constants

// Light in cd/m² of a signal e (clamped to 0..1). Computed in double and
// rounded once to float: the EOTF magnifies a relative error of its input
// about twentyfold near the top of its range, which single precision
// throughout would make 4e-5 (0.08 cd/m² at 2249 cd/m²).
inline float pqEotf(float e) {
    using namespace pq_constants;
    const double p = std::pow(std::clamp(static_cast<double>(e), 0.0, 1.0), 1 / kM2);
    return static_cast<float>(static_cast<double>(kPqPeakNits) *
                              std::pow(std::max(p - kC1, 0.0) / (kC2 - kC3 * p), 1 / kM1));
}

// The signal 0..1 of light in cd/m² (clamped to 0..10000), in double.
inline double pqInverseEotf(double nits) {
    using namespace pq_constants;
    const double y = std::clamp(nits / static_cast<double>(kPqPeakNits), 0.0, 1.0);
    const double p = std::pow(y, kM1);
    return std::pow((kC1 + kC2 * p) / (1.0 + kC3 * p), kM2);
}

}  // namespace kestrel::picture
