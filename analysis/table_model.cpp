// SPDX-License-Identifier: Apache-2.0
#include "analysis/table_model.h"

#include <algorithm>
#include <limits>

namespace kestrel::analysis {

double inputScale(double sourcePeak) { return sourcePeak > 0 ? sourcePeak : 1.0; }

double inputNits(double sourcePeak, double x) {
    return x / kTableInputScale * inputScale(sourcePeak);
}

double tableInputOf(double sourcePeak, double inputNits) {
    return std::min(inputNits / sourcePeak, 1.0) * kTableInputScale;
}

double outputNits(double targetNits, double x, double gain) {
    return gain / kUnitGain * (x / kTableInputScale) * targetNits;
}

double normalisedGain(double gain) { return gain / kUnitGain; }

double luminanceRatio(double sourcePeak, double targetNits, const TablePoint& p) {
    if (sourcePeak <= 0 || p.x <= 0) return std::numeric_limits<double>::quiet_NaN();
    return p.gain / kUnitGain * targetNits / sourcePeak;
}

double interpolateGain(const std::vector<TablePoint>& points, double x) {
    if (points.empty()) return 0;
    if (x <= points.front().x) return points.front().gain;
    for (size_t i = 1; i < points.size(); i++) {
        const TablePoint& a = points[i - 1];
        const TablePoint& b = points[i];
        if (x > b.x) continue;
        if (b.x == a.x) return b.gain;
        return a.gain + (b.gain - a.gain) * (x - a.x) / (b.x - a.x);
    }
    return points.back().gain;
}

double outputAtLevel(const std::vector<TablePoint>& points, double sourcePeak, double targetNits,
                     double inputNits) {
    if (sourcePeak <= 0) return std::numeric_limits<double>::quiet_NaN();
    const double x = tableInputOf(sourcePeak, inputNits);
    return outputNits(targetNits, x, interpolateGain(points, x));
}

}  // namespace kestrel::analysis
