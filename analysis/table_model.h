// SPDX-License-Identifier: Apache-2.0
// What the 33-point table's words mean in luminance: one place for the
// relation between input cd/m², the table's abscissa and gain, and output
// cd/m², used by every view of a table (rows, charts, the report) and by
// anything that applies a table to pixels.
//
// The table's input x is on the 2^27 scale, where 2^27 stands for the
// frame's source peak; its gain is in units of 1/1048575 of the target peak
// per source peak:
//
//   input  cd/m² = x / 2^27 * source peak
//   output cd/m² = gain / 1048575 * x / 2^27 * target peak
//
// Two gains follow from this, and they differ whenever source and target
// peaks differ:
//
//   normalised gain  = gain / 1048575
//                    = (output / target peak) / (input / source peak)
//   luminance ratio  = output cd/m² / input cd/m²
//                    = normalised gain * target peak / source peak
//
// A 584 cd/m² source on a 1000 cd/m² target with a normalised gain of 1.0
// has a luminance ratio of 1000 / 584 = 1.71: every input below the knee is
// shown 1.71 times as bright as it was mastered.
//
// Without statistics the source peak is unknown (0 here): input is then
// relative to it (1.0 = peak) and nothing has a luminance ratio.
#pragma once

#include <vector>

#include "analysis/tone_curve.h"

namespace kestrel::analysis {

struct TablePoint {
    double x;     // input on the 2^27 scale
    double gain;  // in units of 1/1048575
};

// What the input 1.0 stands for: the source peak, or 1 when it is unknown.
double inputScale(double sourcePeak);
// Input luminance (cd/m², or relative to the peak when it is unknown) of x.
double inputNits(double sourcePeak, double x);
// The abscissa of an input luminance; inputs above the source peak are
// taken at the peak, as the table ends there.
double tableInputOf(double sourcePeak, double inputNits);
// Output luminance on the target of a point of the table.
double outputNits(double targetNits, double x, double gain);
double normalisedGain(double gain);
// The luminance ratio at a point; NaN when the source peak is unknown, and
// at input 0, where no ratio exists (the table stores a gain of 0 there).
double luminanceRatio(double sourcePeak, double targetNits, const TablePoint& p);

// The table's gain at input x, interpolated linearly as the display does;
// the end points hold outside the table, 0 for an empty one.
double interpolateGain(const std::vector<TablePoint>& points, double x);

// Output luminance through a usable table (abscissae that do not decrease)
// for an input luminance; NaN when the source peak is unknown.
double outputAtLevel(const std::vector<TablePoint>& points, double sourcePeak, double targetNits,
                     double inputNits);

}  // namespace kestrel::analysis
