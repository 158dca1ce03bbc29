// SPDX-License-Identifier: Apache-2.0
#include "analysis/pq.h"

#include <algorithm>
#include <cmath>

namespace kestrel::analysis {

namespace {

constexpr double kM1 = 2610.0 / 16384;
constexpr double kM2 = 2523.0 / 4096 * 128;
constexpr double kC1 = 3424.0 / 4096;
constexpr double kC2 = 2413.0 / 4096 * 32;
constexpr double kC3 = 2392.0 / 4096 * 32;

}  // namespace

double pqCodeOfNits(double nits) {
    const double y = std::clamp(nits / kPqMaxNits, 0.0, 1.0);
    const double p = std::pow(y, kM1);
    return kPqMaxCode * std::pow((kC1 + kC2 * p) / (1 + kC3 * p), kM2);
}

double nitsOfPqCode(double code) {
    const double e = std::pow(std::clamp(code / kPqMaxCode, 0.0, 1.0), 1 / kM2);
    return kPqMaxNits * std::pow(std::max(e - kC1, 0.0) / (kC2 - kC3 * e), 1 / kM1);
}

}  // namespace kestrel::analysis
