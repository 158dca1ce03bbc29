// The PQ transfer of SMPTE ST 2084 on a signal normalised to 0..1, in single
// precision (the precision of RgbImage), as the pictures use it:
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

// Light in cd/m² of a signal e (clamped to 0..1).
inline float pqEotf(float e) {
    using namespace pq_constants;
    const float p = std::pow(std::clamp(e, 0.0f, 1.0f), static_cast<float>(1 / kM2));
    const float num = std::max(p - static_cast<float>(kC1), 0.0f);
    const float den = static_cast<float>(kC2) - static_cast<float>(kC3) * p;
    return kPqPeakNits * std::pow(num / den, static_cast<float>(1 / kM1));
}

// The signal 0..1 of light in cd/m² (clamped to 0..10000).
inline float pqInverseEotf(float nits) {
    using namespace pq_constants;
    const float y = std::clamp(nits / kPqPeakNits, 0.0f, 1.0f);
    const float p = std::pow(y, static_cast<float>(kM1));
    return std::pow((static_cast<float>(kC1) + static_cast<float>(kC2) * p) /
                        (1.0f + static_cast<float>(kC3) * p),
                    static_cast<float>(kM2));
}

}  // namespace kestrel::picture
