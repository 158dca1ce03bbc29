// SPDX-License-Identifier: Apache-2.0
// The display's tone stage applied to a picture: what a panel of a given
// peak shows of each pixel, through the 33-point table the plug-in writes
// and through the exact adapted curve the table was made from.
//
// Per pixel, from light in cd/m² (the PQ EOTF already applied):
//   m      = max(R, G, B)                          maxRGB
//   out(m) = outputAtLevel(table, m)               the table path, or
//          = evaluate(adapted curve, t) * target   the curve path,
//            with t = min(m / source peak, 1)      inputs above the source
//                                                  peak taken at the peak
//   R', G', B' = min(C * out(m) / m, target)       every component scaled
//                                                  alike; the panel clips
// outputAtLevel() is the very function `kestrel lut` reports levels with:
// the position on the table's abscissa (x = t * 2^27), the gain linearly
// interpolated between the 33 points as the hardware does (entry 32 as the
// last segment's width and rise), and the output scale of `output cd/m²`.
// So a picture and `lut` cannot disagree.
//
// Only the tone stage: the static EOTF, gamut and OETF tables of the block
// are not applied (the pictures stay PQ BT.2020 light in, panel light out).
#pragma once

#include "common/status.h"
#include "metadata/VelmorHdrDynamicInfo.h"
#include "picture/image.h"
#include "analysis/frame_table.h"
#include "analysis/tone_curve.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

enum class TonePath {
    Source,  // no tone mapping: the picture's light, clipped at the panel's peak
    Table,   // the 33-point table
    Curve,   // the exact adapted curve
};

const char* tonePathName(TonePath path);  // "source", "table", "curve"

// One frame's tone stage for one target.
struct ToneStage {
    LutAnalysis lut;   // the table and the adapted curve; lut.sourcePeak > 0
    ToneCurve curve;   // toneCurveOf(lut.adapted)
    bool peakGiven = false;  // lut.sourcePeak came from the caller, not the metadata
};

// The tone stage of `record` for `targetNits`, as the plug-in builds it.
// A record whose statistics give no source peak is refused, with the
// reason, unless `sourcePeak` (cd/m², > 0) is given, which then stands in;
// a table the display could not use (abscissae falling) is refused too.
Result<ToneStage> makeToneStage(const _VelmorHdrDynamicInfo& record, unsigned targetNits,
                                unsigned layerNits, double sourcePeak = 0);

// The panel's light for a pixel of maxRGB m (cd/m², before the panel clips).
double tableOutput(const ToneStage& stage, double maxRgb);
double curveOutput(const ToneStage& stage, double maxRgb);

// The picture through one path, as panel light in cd/m². `threads` 0 takes
// one per core.
picture::RgbImage applyToneStage(const ToneStage& stage, TonePath path,
                                 const picture::RgbImage& in, unsigned threads = 0);

}  // namespace kestrel::tool
