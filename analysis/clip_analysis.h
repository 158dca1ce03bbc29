// SPDX-License-Identifier: Apache-2.0
// The analysis behind `kestrel lut` and `kestrel report`: every frame of a
// clip through the library's tone-mapping path, for one or more
// target peaks, as rows of numbers in cd/m². The commands only choose which
// rows to compute and which sink (text, CSV, JSON, chart, page) shows them;
// tests call this layer directly.
//
// Units: see table_model.h; the functions below apply it to one frame's
// table, with its source and target peaks.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "analysis/frame_table.h"
#include "clip/clip.h"
#include "hdr10plus/frame.h"

namespace kestrel::analysis {

// What a display engineer has to be told about one frame's table.
enum class WarningKind {
    TargetRefused,         // the library made a straight line for the target
    InterpolationError,    // the largest interpolation error is above the limit
    InconsistentMetadata,  // the statistics or the curve contradict themselves
    FallingOutput,         // the table's output luminance falls somewhere
    DecreasingInput,       // the table's abscissae decrease: it cannot be used
    Brightening,           // the table shows the picture brighter than mastered, above a limit
    Fade,                  // the source peak is under the fade floor: the table brightens a fade
    UnknownSourcePeak,     // statistics are there, yet they give no source peak
};

// Why a frame's source peak is unknown (LutAnalysis::sourcePeak is 0): the
// peak is the brightest MaxScl component, capped by the 99 % entry when the
// distribution ends there.
enum class UnknownPeak {
    Known,             // the peak is known
    NoStatistics,      // MaxScl is 0 and there is no distribution
    ZeroMaxScl,        // MaxScl is 0, although there is a distribution
    ZeroPercentile99,  // the distribution ends at a 99 % entry of 0
};
UnknownPeak whyPeakUnknown(const _VelmorHdrDynamicInfo& record, double sourcePeak);

// The largest luminance ratio (output cd/m² / input cd/m²) of a table's
// points with input above 0, up to the source peak.
struct RatioPeak {
    double ratio = 0;
    double inputNits = 0;   // the point's input ...
    double outputNits = 0;  // ... and output
};

// Which contradiction an InconsistentMetadata warning is about.
enum class MetadataProblem {
    None,
    MaxSclBelowTop,         // MaxScl is below the 99 % distribution entry
    ZeroTargetedDisplay,    // a curve made for a targeted display of 0 cd/m²
    PercentagesOutOfOrder,  // a distribution percentage does not rise
    TargetedDisplayWithoutCurve,  // a targeted display is given, but no tone curve
};

// A warning is its kind and the numbers it is about; the sentences are made
// by whoever shows it (the tool's are in render/warning_text.h).
struct FrameWarning {
    WarningKind kind;
    MetadataProblem problem = MetadataProblem::None;
    // TargetRefused: the target and the library's floor, cd/m² (and
    // sourcePeak below, 0 when unknown).
    unsigned targetNits = 0;
    unsigned floorNits = 0;
    // InterpolationError: the error and the limit, of unit gain, and the
    // input where it is largest.
    double error = 0;
    double limit = 0;
    double atInput = 0;
    // Inputs in cd/m², or relative to the source peak when it is unknown.
    bool relativeInput = false;
    // FallingOutput: entries entry - 1 and entry, their outputs (cd/m²) and
    // inputs; DecreasingInput: the entry whose abscissa falls.
    unsigned entry = 0;
    double fromOutputNits = 0;
    double toOutputNits = 0;
    double fromInput = 0;
    double toInput = 0;
    // MaxSclBelowTop: the largest MaxScl and the 99 % entry, in 0.1 cd/m².
    uint32_t maxScl = 0;
    uint32_t topPercentile = 0;
    // TargetedDisplayWithoutCurve: the targeted display's peak, cd/m².
    uint32_t targetedDisplayNits = 0;
    // PercentagesOutOfOrder: the percentage before and the one after it.
    unsigned percentBefore = 0;
    unsigned percentAfter = 0;
    // Brightening and Fade: the table's largest ratio, and the limit it is
    // above (Brightening); the source peak and the floor it is under (Fade).
    RatioPeak peak{};
    double maxRatio = 0;
    double sourcePeak = 0;
    double fadeFloor = 0;
    // UnknownSourcePeak: why, and the brightest MaxScl component (cd/m²).
    UnknownPeak unknownPeak = UnknownPeak::Known;
    double maxSclNits = 0;
};

// The name of a kind in CSV and JSON ("interpolation_error", ...).
const char* warningKindName(WarningKind kind);

// The largest interpolation error (of unit gain) a table may have before
// it is warned about. Well-formed real frames stay below 0.06 at targets
// from 200 to 10000 cd/m²; a table above 0.1 visibly departs from its
// curve somewhere.
constexpr double kDefaultMaxError = 0.1;

// The largest luminance ratio a table may show before it is warned about: 2
// is one photographic stop, a brightening every viewer sees. A tone mapper
// lifts the shadows of a bright master a little on a brighter display; twice
// as bright as mastered is a different picture. (A 584 cd/m² source on a
// 1000 cd/m² target at unit gain is shown 1.71 times as bright.)
constexpr double kDefaultMaxRatio = 2.0;

// A source peak under this is a fade (or black), not a scene: the darkest
// graded scenes keep highlights of a few cd/m², while a fade's brightest
// pixel sinks through 1 cd/m² to black. The table still maps its peak to the
// target's range, so such a frame gets its own warning whatever the limit.
constexpr double kFadePeakFloor = 1.0;

// The functions of table_model.h applied to one frame's table.
double inputScale(const LutAnalysis& a);
double inputNits(const LutAnalysis& a, double x);
double outputNits(const LutAnalysis& a, double x, double gain);
// The luminance ratio at a point of the table (or any input x with its
// gain). NaN when the source peak is unknown, and at input 0, where no
// ratio exists (the table stores a gain of 0 there).
double luminanceRatio(const LutAnalysis& a, const TablePoint& p);

// Output luminance through the table (interpolated as the display does) for
// an input luminance; inputs above the source peak are taken at the peak.
// NaN when the source peak is unknown or the table cannot be used.
double outputAtLevel(const LutAnalysis& a, double inputNits);

// One abscissa of the curves drawn for a frame. NaN where a curve is absent
// (no source curve, unusable table).
struct CurveSample {
    double inputNits;
    double sourceNits;   // the source curve, on the display it was made for
    double adaptedNits;  // the adapted curve, on the target
    double tableNits;    // the table, interpolated
    double adaptedGain;  // gain of the adapted curve, 1.0 = unit gain
    double tableGain;    // gain of the interpolated table, 1.0 = unit gain
};

// `count` + 1 samples, evenly spaced on a log scale from `fromNits` to
// `toNits` (of input, in cd/m², or relative to the peak without statistics).
std::vector<CurveSample> sampleCurves(const LutAnalysis& a, double fromNits, double toNits,
                                      int count);
// Samples at the given inputs (cd/m², or relative without statistics).
std::vector<CurveSample> sampleCurvesAt(const LutAnalysis& a, const std::vector<double>& inputs);

// The input range the curves are drawn over: from 0.01 cd/m² (the shadows
// of a good display; 0.00001 of the peak without statistics) to the
// source peak, where the curve ends.
void defaultCurveRange(const LutAnalysis& a, double& fromNits, double& toNits);

// The knee point of a curve in cd/m²: input on the source peak, output on
// `displayNits`.
void kneeNits(const LutAnalysis& a, const _VelmorHdrDynamicInfo& curve, double displayNits,
              double& inputNitsOut, double& outputNitsOut);

// One frame for one target.
//
// A row's table is shared: every frame of the clip whose record is the same
// (for one target and request) points at one analysis, made once.
struct FrameRow {
    unsigned frame = 0;  // position in the file
    std::shared_ptr<const LutAnalysis> table;
    const LutAnalysis& lut() const { return *table; }
    // The frame's average maxRGB in cd/m² (first window). Every payload carries
    // one; a JSON entry without AverageRGB reads as 0, as the reader defines.
    double averageMaxRgbNits = 0;
    int sceneId = -1;                  // the file's SceneId; below 0 when absent
    std::vector<double> levelOutputs;  // outputAtLevel() of each requested level
    std::vector<CurveSample> curve;    // filled when curve samples were asked for
    std::vector<FrameWarning> warnings;
};

struct TargetRows {
    unsigned targetNits = 0;
    std::vector<FrameRow> frames;  // the accepted frames, in file order
};

// What a frame is analysed for when nothing else is said: a 1000 cd/m²
// target, fed a layer mastered to 1000 cd/m², as a host would pass it on.
constexpr unsigned kDefaultTargetNits = 1000;
constexpr unsigned kDefaultLayerNits = 1000;

struct ClipRequest {
    std::vector<unsigned> targets{kDefaultTargetNits};
    unsigned layerNits = kDefaultLayerNits;
    std::vector<double> levels;          // input levels in cd/m² for FrameRow::levelOutputs
    int curveSamples = 0;                // 0: no FrameRow::curve
    double maxError = kDefaultMaxError;  // of unit gain, for WarningKind::InterpolationError
    double maxRatio = kDefaultMaxRatio;  // for WarningKind::Brightening
    unsigned threads = 0;                // for analyseClip; 0: one per core (1 with `tables`)
    ToneTableMaker tables;               // empty: the tone-mapping code built in
};

struct ClipAnalysis {
    unsigned frameCount = 0;            // frames of the clip, with metadata or not
    std::vector<std::string> rejected;  // one message per rejected frame
    std::vector<TargetRows> targets;    // in the order requested
};

// The record's statistics and curve checked against each other: MaxScl
// below the 99 % entry, percentages out of order, a curve made for a
// targeted display of 0 cd/m², a targeted display given without a curve.
// Each is an InconsistentMetadata warning; none when the record is sound.
std::vector<FrameWarning> metadataConsistency(const _VelmorHdrDynamicInfo& record);
// The same for a frame, as the record the plug-in would be given.
std::vector<FrameWarning> metadataConsistency(const hdr10plus::Frame& frame);

// The brightest MaxScl component of a record, in cd/m².
double maxSclNits(const _VelmorHdrDynamicInfo& record);

// The largest luminance ratio of the table's points. False when there is
// none: the source peak is unknown, or the table cannot be used.
bool largestLuminanceRatio(const LutAnalysis& a, RatioPeak& peak);

// The warnings of one analysed frame, in the order of WarningKind. A frame
// under the fade floor gets Fade instead of Brightening.
std::vector<FrameWarning> frameWarnings(const LutAnalysis& a, double maxError,
                                        double maxRatio = kDefaultMaxRatio);

// Frame `index` of a clip for one target: the record the plug-in takes is
// made from `frame` here, where the library is called.
FrameRow analyseFrame(unsigned index, const hdr10plus::Frame& frame, unsigned targetNits,
                      const ClipRequest& request);

// Every frame of `clip` that has metadata, for every target of `request`;
// the others are named in ClipAnalysis::rejected. Each distinct record is
// analysed once per target, on request.threads threads, and its rows share
// the result: every number is the one analyseFrame gives for the frame.
// `progress`, when given, is called with (done, total) frames as analyses
// end, one call at a time and from any of the threads, `done` rising to
// `total`.
ClipAnalysis analyseClip(const clip::Clip& clip, const ClipRequest& request,
                         const std::function<void(unsigned, unsigned)>& progress = {});

}  // namespace kestrel::analysis
