// SPDX-License-Identifier: Apache-2.0
#include "analysis/frame_table.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <utility>

#include "dtm/adapted_tone_table.h"
#include "dtm/meta2lut.h"
#include "metadata/tone_curve_adaptation.h"

namespace kestrel::analysis {

LutAnalysis analyseLut(const _VelmorHdrDynamicInfo& record, unsigned targetNits, unsigned layerNits,
                       const ToneTableMaker& maker) {
    LutAnalysis a;
    a.source = record;
    a.adapted = record;
    a.targetNits = targetNits;
    std::memset(a.lutX, 0, sizeof a.lutX);
    std::memset(a.lutY, 0, sizeof a.lutY);

    LuminanceParameters lp;
    fillLuminanceParameters(record, lp);
    a.sourcePeak = getSourceMaxLuminance(lp);
    if (maker) {
        MadeTable made = maker(targetNits, layerNits, a.adapted, a.lutX, a.lutY, kTableEntries);
        a.diagnostics = std::move(made.lines);
        a.microseconds = made.microseconds;
    } else {
        // One adaptation gives the curve and the table, with the lines
        // meta2lut_dtm prints for them.
        a.diagnostics = collectLibraryLines([&] {
            auto start = std::chrono::steady_clock::now();
            adaptAndTabulate(targetNits, layerNits, a.adapted, a.lutX, a.lutY, kTableEntries);
            auto end = std::chrono::steady_clock::now();
            a.microseconds = std::chrono::duration<double, std::micro>(end - start).count();
        });
    }

    // Entries hold int32 samples; the last one is a width and a rise modulo
    // 2^32, so adding them back in 32 bits gives the end point.
    for (unsigned i = 0; i + 1 < kTableEntries; i++) {
        a.points.push_back(
            {static_cast<double>(a.lutX[i]), static_cast<double>(static_cast<int32_t>(a.lutY[i]))});
    }
    const unsigned last = kTableEntries - 1;
    uint32_t endX = a.lutX[last - 1] + a.lutX[last];
    uint32_t endY = a.lutY[last - 1] + a.lutY[last];
    a.points.push_back(
        {static_cast<double>(endX), static_cast<double>(static_cast<int32_t>(endY))});

    for (size_t i = 1; i < a.points.size() && a.firstDecrease < 0; i++) {
        if (a.points[i].x < a.points[i - 1].x) a.firstDecrease = static_cast<int>(i);
    }
    if (a.firstDecrease < 0) {
        measureInterpolationError(a.points, toneCurveOf(a.adapted), a.maxError, a.maxErrorAt);
    }
    return a;
}

std::vector<SegmentError> segmentInterpolationErrors(const std::vector<TablePoint>& points,
                                                     const ToneCurve& curve) {
    std::vector<SegmentError> errors;
    constexpr int kPlaces = 32;
    for (size_t i = 1; i < points.size(); i++) {
        const double x0 = points[i - 1].x;
        const double x1 = points[i].x;
        if (x1 - x0 < 2) continue;  // no integer input strictly inside
        SegmentError worst{i, 0, 0};
        auto check = [&](double x) {
            double error = std::fabs(interpolateGain(points, x) - gainAt(curve, x));
            if (error > worst.error) {
                worst.error = error;
                worst.at = x;
            }
        };
        check(std::floor((x0 + x1) / 2));
        for (int k = 1; k < kPlaces; k++) check(std::floor(x0 + (x1 - x0) * k / kPlaces));
        if (worst.error == 0) worst.at = std::floor((x0 + x1) / 2);
        errors.push_back(worst);
    }
    return errors;
}

void measureInterpolationError(const std::vector<TablePoint>& points, const ToneCurve& curve,
                               double& maxError, double& at) {
    maxError = 0;
    at = 0;
    for (const SegmentError& s : segmentInterpolationErrors(points, curve)) {
        if (s.error > maxError) {
            maxError = s.error;
            at = s.at;
        }
    }
}

}  // namespace kestrel::analysis
