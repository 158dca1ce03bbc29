// SPDX-License-Identifier: Apache-2.0
// One HDR10+ record through the library's tone-mapping path for one target:
// the adapted curve, the 33-point table, and how far the table's linear
// interpolation strays from the curve it was made from.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analysis/library_lines.h"
#include "analysis/table_model.h"
#include "analysis/tone_curve.h"
#include "metadata/VelmorHdrDynamicInfo.h"
#include "plugin/hdrCoef.h"

namespace kestrel::analysis {

// The table the plug-in hands the display (plugin/hdrCoef.h).
constexpr unsigned kTableEntries = kTonePoints;

struct LutAnalysis {
    _VelmorHdrDynamicInfo source;   // as read
    _VelmorHdrDynamicInfo adapted;  // after the library adapted it to the target
    unsigned targetNits = 0;
    double sourcePeak = 0;                 // cd/m², the peak the curve's input 1.0 stands for
    uint32_t lutX[kTableEntries];          // as the library wrote them: points 0..31,
    uint32_t lutY[kTableEntries];          // then the last segment's width and rise
    std::vector<TablePoint> points;        // all 33 points, the last rebuilt from width and rise
    int firstDecrease = -1;                // first entry whose abscissa is below the one before
    double maxError = 0;                   // largest |table - curve| in gain units ...
    double maxErrorAt = 0;                 // ... and the input x where it occurs
    double microseconds = 0;               // time the table took
    std::vector<LibraryLine> diagnostics;  // what the library wrote meanwhile
};

// Where a table comes from: adapts `working` (a copy of the record) to the
// target in place and writes the table of `count` entries for the same
// record, as meta2lut_dtm does; returns the lines heard meanwhile, and the
// time the table alone took (microseconds). Empty: the tone-mapping code
// built into the caller (adaptAndTabulate).
struct MadeTable {
    std::vector<LibraryLine> lines;
    double microseconds = 0;
};
using ToneTableMaker =
    std::function<MadeTable(unsigned targetNits, unsigned layerNits, _VelmorHdrDynamicInfo& working,
                            uint32_t* lutX, uint32_t* lutY, unsigned count)>;

// What a ToneTableMaker is, for the outputs that name it.
struct TableOrigin {
    bool plugin = false;  // false: the code built into the program
    std::string path;     // the plug-in file
    std::string version;  // from its build mark; "unknown" without one
};

// Has the library adapt a copy of `record` to the target and build the
// table from that one adaptation, as the plug-in does; the adapted curve is
// kept to show it and to measure the table against it. With `maker`, the
// curve and the table are that maker's.
LutAnalysis analyseLut(const _VelmorHdrDynamicInfo& record, unsigned targetNits, unsigned layerNits,
                       const ToneTableMaker& maker = {});

// The largest |interpolation - curve gain| of one segment of the table (in
// gain units), checked at the integer inputs of its midpoint and of 31
// evenly spaced places inside it, and the input x where it occurs.
struct SegmentError {
    size_t segment;  // from points[segment - 1] to points[segment]
    double error;
    double at;
};

// Every segment with an integer input strictly inside, in order.
std::vector<SegmentError> segmentInterpolationErrors(const std::vector<TablePoint>& points,
                                                     const ToneCurve& curve);

// The largest of segmentInterpolationErrors() (the first one on a tie);
// 0 at x = 0 when no segment has an input inside.
void measureInterpolationError(const std::vector<TablePoint>& points, const ToneCurve& curve,
                               double& maxError, double& at);

}  // namespace kestrel::analysis
