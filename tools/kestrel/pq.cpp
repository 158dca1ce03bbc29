#include "tools/kestrel/pq.h"

#include <algorithm>
#include <cmath>

namespace kestrel::tool {

namespace {
constexpr double kM1 = 2610.0 / 16384;
constexpr double kM2 = 2523.0 / 4096 * 128;
constexpr double kC1 = 3424.0 / 4096;
constexpr double kC2 = 2413.0 / 4096 * 32;
constexpr double kC3 = 2392.0 / 4096 * 32;
}  // namespace

double pqSignal(double nits) {
    if (std::isnan(nits)) return nits;  // an unknown luminance has no known signal
    if (nits <= 0) return 0;
    const double y = std::min(nits / kPqPeakNits, 1.0);
    const double p = std::pow(y, kM1);
    return std::pow((kC1 + kC2 * p) / (1 + kC3 * p), kM2);
}

double pqCode10(double nits) { return pqSignal(nits) * kPqMaxCode10; }

}  // namespace kestrel::tool
