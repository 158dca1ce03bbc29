// SPDX-License-Identifier: Apache-2.0
// The curves of `kestrel report`'s page, computed here so that the page only
// draws them: per distinct record and target, the table's 33 points, the
// adapted curve and the interpolated table on one grid of inputs shared by
// all frames, and the largest error of each of the table's segments; per
// target, the median and the extremes of the adapted curves over the frames.
// Every luminance comes with its 10-bit PQ code, for the page's PQ axes.
#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

// The rows of one target grouped by record: frames with the same record
// (and so the same statistics) have, for a target, the same table,
// outputs, warnings and curves.
struct DistinctRecords {
    std::vector<uint32_t> ofRow;     // per row: the index of its record
    std::vector<size_t> firstRow;    // per record: the first row that has it
    std::vector<uint32_t> rowCount;  // per record: how many rows have it
};

DistinctRecords distinctRecords(const std::vector<FrameRow>& rows);

// Inputs from the shadows the curve charts start at to the brightest source
// peak, evenly spaced on a log scale; empty when no row has a known peak.
std::vector<double> curveGrid(const std::vector<FrameRow>& rows);

// `v`, or null when it is not finite (JSON has no NaN).
Json::Value jsonNumber(double v);

// `name`_nits and `name`_pq_code of `v`.
void putNitsAndCode(Json::Value& v, const std::string& name, double nits);

// Values and their PQ codes, null where a value is not finite.
Json::Value nitsArray(const std::vector<double>& nits);
Json::Value pqCodeArray(const std::vector<double>& nits);

// The adapted curve's output (cd/m²) at each input of `grid`; NaN above the
// frame's source peak, where the curve ends, and for every input when the
// peak is unknown.
std::vector<double> adaptedOnGrid(const LutAnalysis& a, const std::vector<double>& grid);

// The page's curves of one analysis (see above). `adapted` is
// adaptedOnGrid() of it.
Json::Value curvesJson(const LutAnalysis& a, const std::vector<double>& grid,
                       const std::vector<double>& adapted);

// Pointwise over the frames of a target: the lowest, the median and the
// highest adapted output at each input of the grid. Every frame counts at
// every input: above its own source peak, at its last sample below it.
// Records without a curve (peak unknown) do not count; NaN where none does.
struct CurveSummary {
    std::vector<double> lowest, median, highest;
};

CurveSummary summariseCurves(const std::vector<std::vector<double>>& adaptedOfRecord,
                             const std::vector<uint32_t>& framesOfRecord);

}  // namespace kestrel::tool
