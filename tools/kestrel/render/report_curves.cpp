// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/report_curves.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <numeric>
#include <string>
#include <utility>

#include "analysis/pq.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// 16 samples a decade draw the curves smoothly at the page's size.
constexpr int kCurveSamplesPerDecade = 16;

double pqCode(double nits) { return std::isfinite(nits) ? pqCodeOfNits(nits) : kNaN; }

// Inputs and outputs of a line, each with its PQ code.
Json::Value lineJson(const std::vector<std::pair<double, double>>& line) {
    std::vector<double> in, out;
    for (const auto& [x, y] : line) in.push_back(x), out.push_back(y);
    Json::Value v;
    v["input_nits"] = nitsArray(in);
    v["input_pq_codes"] = pqCodeArray(in);
    v["output_nits"] = nitsArray(out);
    v["output_pq_codes"] = pqCodeArray(out);
    return v;
}

}  // namespace

Json::Value jsonNumber(double v) { return std::isfinite(v) ? Json::Value(v) : Json::Value(); }

void putNitsAndCode(Json::Value& v, const std::string& name, double nits) {
    v[name + "_nits"] = jsonNumber(nits);
    v[name + "_pq_code"] = jsonNumber(pqCode(nits));
}

Json::Value nitsArray(const std::vector<double>& nits) {
    Json::Value list(Json::arrayValue);
    for (double v : nits) list.append(jsonNumber(v));
    return list;
}

Json::Value pqCodeArray(const std::vector<double>& nits) {
    Json::Value list(Json::arrayValue);
    for (double v : nits) list.append(jsonNumber(pqCode(v)));
    return list;
}

DistinctRecords distinctRecords(const std::vector<FrameRow>& rows) {
    DistinctRecords d;
    // The record as read and the file's average (which the average level's
    // output follows) decide everything a target's analysis holds.
    std::map<std::string, uint32_t> index;
    std::string key;
    for (size_t i = 0; i < rows.size(); i++) {
        const FrameRow& row = rows[i];
        key.assign(reinterpret_cast<const char*>(&row.lut().source), sizeof row.lut().source);
        key.append(reinterpret_cast<const char*>(&row.averageMaxRgbNits),
                   sizeof row.averageMaxRgbNits);
        const auto [at, added] = index.emplace(key, static_cast<uint32_t>(d.firstRow.size()));
        if (added) {
            d.firstRow.push_back(i);
            d.rowCount.push_back(0);
        }
        d.ofRow.push_back(at->second);
        d.rowCount[at->second]++;
    }
    return d;
}

std::vector<double> curveGrid(const std::vector<FrameRow>& rows) {
    // Frames without statistics have no curve in cd/m² and do not count.
    double from = kPqMaxNits, peak = 0;
    for (const FrameRow& row : rows) {
        if (!(row.lut().sourcePeak > 0)) continue;
        double rowFrom = 0, rowTo = 0;
        defaultCurveRange(row.lut(), rowFrom, rowTo);
        from = std::min(from, rowFrom);
        peak = std::max(peak, rowTo);
    }
    if (rows.empty()) return {};
    if (!(peak > from)) from = 0.01, peak = kPqMaxNits;
    const double decades = std::log10(peak / from);
    const int count = std::max(1, static_cast<int>(std::ceil(decades * kCurveSamplesPerDecade)));
    std::vector<double> grid;
    for (int i = 0; i <= count; i++)
        grid.push_back(from * std::pow(peak / from, static_cast<double>(i) / count));
    grid.back() = peak;
    return grid;
}

std::vector<double> adaptedOnGrid(const LutAnalysis& a, const std::vector<double>& grid) {
    std::vector<double> out(grid.size(), kNaN);
    if (!(a.sourcePeak > 0)) return out;
    const ToneCurve adapted = toneCurveOf(a.adapted);
    for (size_t s = 0; s < grid.size(); s++)
        if (grid[s] <= a.sourcePeak * (1 + 1e-12))
            out[s] = evaluate(adapted, grid[s] / a.sourcePeak) * a.targetNits;
    return out;
}

Json::Value curvesJson(const LutAnalysis& a, const std::vector<double>& grid,
                       const std::vector<double>& adapted) {
    const bool known = a.sourcePeak > 0;
    const bool usable = a.firstDecrease < 0;
    Json::Value c;

    std::vector<double> in, gain, out, ratio;
    for (const TablePoint& p : a.points) {
        in.push_back(inputNits(a, p.x));
        gain.push_back(normalisedGain(p.gain));
        out.push_back(known ? outputNits(a, p.x, p.gain) : kNaN);
        ratio.push_back(luminanceRatio(a, p));
    }
    Json::Value& points = c["points"];
    points["input_nits"] = nitsArray(in);
    points["input_pq_codes"] = pqCodeArray(in);
    points["normalised_gain"] = nitsArray(gain);
    points["output_nits"] = nitsArray(out);
    points["output_pq_codes"] = pqCodeArray(out);
    points["luminance_ratio"] = nitsArray(ratio);

    c["adapted_nits"] = nitsArray(adapted);
    c["adapted_pq_codes"] = pqCodeArray(adapted);

    // The table as the display interpolates it: at the grid's inputs up to
    // the source peak, and at its own points from the grid's start, in
    // order of input (a grid input before an equal point).
    std::vector<std::pair<double, double>> table;
    if (known && usable && !grid.empty()) {
        std::vector<double> inside;
        for (double g : grid)
            if (g <= a.sourcePeak) inside.push_back(g);
        for (const CurveSample& s : sampleCurvesAt(a, inside))
            table.emplace_back(s.inputNits, s.tableNits);
        for (size_t k = 0; k < in.size(); k++)
            if (in[k] >= grid.front()) table.emplace_back(in[k], out[k]);
        std::stable_sort(table.begin(), table.end(),
                         [](const auto& l, const auto& r) { return l.first < r.first; });
    }
    c["table"] = lineJson(table);

    std::vector<double> at, error;
    if (usable) {
        for (const SegmentError& s : segmentInterpolationErrors(a.points, toneCurveOf(a.adapted))) {
            at.push_back(inputNits(a, s.at));
            error.push_back(s.error / kUnitGain);
        }
    }
    Json::Value& segments = c["segment_errors"];
    segments["input_nits"] = nitsArray(at);
    segments["input_pq_codes"] = pqCodeArray(at);
    segments["error"] = nitsArray(error);

    // Where the largest error sits on the interpolated table.
    const bool largest = known && usable;
    putNitsAndCode(c, "largest_error_input", largest ? inputNits(a, a.maxErrorAt) : kNaN);
    putNitsAndCode(
        c, "largest_error_output",
        largest ? outputNits(a, a.maxErrorAt, interpolateGain(a.points, a.maxErrorAt)) : kNaN);
    return c;
}

CurveSummary summariseCurves(const std::vector<std::vector<double>>& adaptedOfRecord,
                             const std::vector<uint32_t>& framesOfRecord) {
    CurveSummary s;
    const size_t n = adaptedOfRecord.empty() ? 0 : adaptedOfRecord.front().size();
    // The last sample of each record's curve: its value holds above the peak.
    std::vector<long> last(adaptedOfRecord.size(), -1);
    for (size_t k = 0; k < adaptedOfRecord.size(); k++)
        for (size_t i = 0; i < n; i++)
            if (std::isfinite(adaptedOfRecord[k][i])) last[k] = static_cast<long>(i);
    std::vector<std::pair<double, uint32_t>> values;
    for (size_t i = 0; i < n; i++) {
        values.clear();
        for (size_t k = 0; k < adaptedOfRecord.size(); k++) {
            if (last[k] < 0) continue;
            const double v = adaptedOfRecord[k][std::min<size_t>(i, static_cast<size_t>(last[k]))];
            if (std::isfinite(v)) values.emplace_back(v, framesOfRecord[k]);
        }
        if (values.empty()) {
            s.lowest.push_back(kNaN), s.median.push_back(kNaN), s.highest.push_back(kNaN);
            continue;
        }
        std::stable_sort(values.begin(), values.end(),
                         [](const auto& l, const auto& r) { return l.first < r.first; });
        uint64_t total = 0;
        for (const auto& v : values) total += v.second;
        // The median frame: the first value at which half the frames are counted.
        uint64_t counted = 0;
        double median = values.front().first;
        for (const auto& v : values) {
            counted += v.second;
            if (counted * 2 >= total) {
                median = v.first;
                break;
            }
        }
        s.lowest.push_back(values.front().first);
        s.median.push_back(median);
        s.highest.push_back(values.back().first);
    }
    return s;
}

}  // namespace kestrel::tool
