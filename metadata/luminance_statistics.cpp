// SPDX-License-Identifier: Apache-2.0
// Scene statistics of a record: filling LuminanceParameters, the effective
// source peak, and the median and 99th percentile of maxRGB.
#include <algorithm>
#include <cstdint>

#include "metadata/tone_curve_adaptation.h"

namespace {

// Luminance statistics are stored in tenths of a cd/m².
constexpr double kUnitsPerNit = kLuminanceUnitsPerNit;

// The statistics arrays hold 15 entries; a count from a record or a caller
// beyond that would read past them, so every reader stops at 15.
uint32_t clampedCount(uint32_t count) { return std::min(count, kMaxDistributionEntries); }

// A distribution entry as the percentile interpolation sees it.
struct Entry {
    int32_t percentage;
    float luminance;
};

// Linear interpolation between two entries at the given percentage, in
// single precision; a zero or negative percentage step counts as 1.
float interpolate(const Entry& prev, const Entry& cur, float percentage) {
    const float pp = static_cast<float>(prev.percentage);
    const float cp = static_cast<float>(cur.percentage);
    return prev.luminance +
           (percentage - pp) * (cur.luminance - prev.luminance) / std::max(cp - pp, 1.0f);
}

}  // namespace

void fillLuminanceParameters(const _VelmorHdrDynamicInfo& record, LuminanceParameters& lp) {
    lp = LuminanceParameters{};
    for (int c = 0; c < 3; ++c) {
        lp.maxscl[c] = static_cast<float>(record.maxscl[c] / kUnitsPerNit);
    }
    // The record's count is an 8-bit field; clamped once here so that neither
    // the record's arrays nor ours are read past their 15 entries.
    lp.numPercentiles = clampedCount(record.num_distribution_maxrgb_percentiles);
    for (uint32_t i = 0; i < lp.numPercentiles; ++i) {
        lp.percentages[i] = record.distribution_maxrgb_percentages[i];
        lp.percentiles[i] = record.distribution_maxrgb_percentiles[i] / kUnitsPerNit;
    }
}

float getSourceMaxLuminance(LuminanceParameters& lp) {
    // Brightest colour component; a negative or NaN red component counts as 0.
    float m = std::max(0.0f, lp.maxscl[0]);
    if (m < lp.maxscl[1]) m = lp.maxscl[1];
    if (m < lp.maxscl[2]) m = lp.maxscl[2];

    // The 99 % point caps it, but only when it is the last entry: a
    // distribution that goes on to 100 % says nothing about outliers.
    const uint32_t n = clampedCount(lp.numPercentiles);
    if (n > 0 && lp.percentages[n - 1] == 99) {
        const double p = lp.percentiles[n - 1];
        if (p > static_cast<double>(m)) return m;
        return static_cast<float>(p);
    }
    return m;
}

void getPercentile_50_99(LuminanceParameters& lp, float& p50, float& p99) {
    // -1.0 marks a value that the metadata does not provide.
    p50 = -1.0f;
    p99 = -1.0f;

    Entry prev{0, 0.0f};
    Entry lo50{}, hi50{}, lo99{}, hi99{};
    bool have50 = false;
    bool have99 = false;

    // The count is read as signed (a huge count is no count at all) and
    // clamped to the 15 entries the arrays hold.
    const int32_t n = std::min(static_cast<int32_t>(lp.numPercentiles),
                               static_cast<int32_t>(kMaxDistributionEntries));
    for (int32_t i = 0; i < n; ++i) {
        const Entry cur{static_cast<int32_t>(lp.percentages[i]),
                        static_cast<float>(lp.percentiles[i])};
        if (cur.percentage == 50) {
            p50 = cur.luminance;
        } else {
            // The last pair of entries that straddles a percentage is kept
            // until an exact entry for it turns up.
            if (prev.percentage <= 49 && cur.percentage >= 51 && p50 == -1.0f) {
                lo50 = prev;
                hi50 = cur;
                have50 = true;
            }
            if (cur.percentage == 99) {
                p99 = cur.luminance;
            } else if (prev.percentage <= 98 && cur.percentage >= 100 && p99 == -1.0f) {
                lo99 = prev;
                hi99 = cur;
                have99 = true;
            }
        }
        prev = cur;
    }

    if (p50 == -1.0f && have50) p50 = interpolate(lo50, hi50, 50.0f);
    // The top bracket is read at 99.95 %, just short of the peak, rather than at 99 %.
    if (p99 == -1.0f && have99) p99 = interpolate(lo99, hi99, 99.95f);
}
