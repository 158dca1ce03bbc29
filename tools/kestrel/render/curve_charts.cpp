// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/curve_charts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "analysis/pq.h"
#include "tools/kestrel/render/row_formats.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kSamples = 400;
const Color kGrey{0.45, 0.45, 0.45};
const Color kLightGrey{0.65, 0.65, 0.65};

std::string number(double v, const char* format = "%.6g") {
    char text[32];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// The source's colour, then one per target.
Color sourceColor() { return paletteColor(1); }
Color targetColor(size_t k) {
    static const size_t kOrder[] = {0, 2, 3, 7, 6, 5, 4};
    return paletteColor(kOrder[k % (sizeof kOrder / sizeof kOrder[0])]);
}

// Whole decades around [lo, hi], for log axes.
void decades(double lo, double hi, double& min, double& max) {
    min = std::pow(10.0, std::floor(std::log10(lo)));
    max = std::pow(10.0, std::ceil(std::log10(hi)));
    if (!(max > min)) max = min * 10;
}

// The smallest and largest values an axis should show.
struct Extent {
    double lo = 1e300, hi = -1e300;
    bool positiveOnly = true;
    void note(double v) {
        if (std::isfinite(v) && (!positiveOnly || v > 0)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    bool empty() const { return !(hi >= lo); }
};

// Luminance in chart units: cd/m² (log axes) or PQ code.
struct LuminanceScale {
    LuminanceAxes axes;
    double operator()(double nits) const {
        if (std::isnan(nits)) return kNaN;
        return axes == LuminanceAxes::Pq ? pqCodeOfNits(nits) : nits;
    }
};

// A luminance as a tick label: whole cd/m² from 100 up, else 3 digits.
std::string nitsText(double nits) { return number(nits, nits >= 100 ? "%.0f" : "%.3g"); }

// The code over its luminance on the x axis; on the y axis the code on the
// left and the luminance on the right.
std::string pqTickX(double code) {
    return number(code, "%.0f") + "\n" + nitsText(nitsOfPqCode(code));
}
std::string pqTickNits(double code) { return nitsText(nitsOfPqCode(code)); }

// A luminance axis from `lo` to `hi` cd/m² (lo > 0 on a log axis).
Axis luminanceAxis(const std::string& what, LuminanceAxes axes, double lo, double hi, bool isX) {
    Axis axis;
    if (axes == LuminanceAxes::Pq) {
        axis.label = what + ", 10-bit PQ code" + (isX ? " (cd/m² beneath)" : "");
        axis.min = 0;
        axis.max = std::min(kPqMaxCode, std::ceil(pqCodeOfNits(hi) / 32 + 1) * 32);
        if (isX) axis.tickText = pqTickX;
    } else {
        axis.label = what + " luminance (cd/m²)";
        axis.min = lo;
        axis.max = hi;
        axis.log = true;
    }
    return axis;
}

// On the right, the PQ codes of the left axis read as luminances.
void addNitsAxis(Chart& chart) {
    chart.hasRightAxis = true;
    chart.yRight = chart.y;
    chart.yRight.label = "the same, in cd/m²";
    chart.yRight.tickText = pqTickNits;
}

Series referenceLine(const std::string& label, Color color, double x0, double y0, double x1,
                     double y1) {
    Series s{label, {{x0, y0}, {x1, y1}}, color, 1.2};
    s.dotted = true;
    return s;
}

Series markOnly(const std::string& label, Color color, Marker marker, double size) {
    Series s{label, {}, color, 1.0, false, false, true};
    s.marker = marker;
    s.markerSize = size;
    return s;
}

std::string targetList(const std::vector<FrameRow>& rows) {
    std::string list;
    for (size_t i = 0; i < rows.size(); i++) {
        if (i > 0) list += i + 1 == rows.size() ? " and " : ", ";
        list += std::to_string(rows[i].lut().targetNits);
    }
    return list + (rows.size() == 1 ? " cd/m² target" : " cd/m² targets");
}

// Input luminances to sample: even in log cd/m², or even in PQ code.
std::vector<double> sampleInputs(LuminanceAxes axes, double from, double to) {
    std::vector<double> inputs;
    if (axes == LuminanceAxes::Pq) {
        const double top = pqCodeOfNits(to);
        for (int i = 0; i <= kSamples; i++) inputs.push_back(nitsOfPqCode(top * i / kSamples));
        inputs.back() = to;
    } else {
        for (int i = 0; i <= kSamples; i++)
            inputs.push_back(from * std::pow(to / from, static_cast<double>(i) / kSamples));
    }
    return inputs;
}

}  // namespace

std::vector<Chart> frameCharts(const std::vector<FrameRow>& rows, const std::string& file,
                               LuminanceAxes requested) {
    if (rows.empty()) return {};
    const LutAnalysis& first = rows.front().lut();
    const bool relative = first.sourcePeak <= 0;
    // Without statistics the input is relative to an unknown peak, which a
    // PQ axis cannot show.
    const LuminanceAxes axes = relative ? LuminanceAxes::Nits : requested;
    const LuminanceScale to{axes};
    const double peak = inputScale(first);
    const double tSource = first.source.targeted_system_display_maximum_luminance;
    const bool hasSource = first.source.tone_mapping_flag == 1 && tSource > 0;
    unsigned maxTarget = 0;
    for (const FrameRow& row : rows) maxTarget = std::max(maxTarget, row.lut().targetNits);

    double from = 0, curveEnd = 0;
    defaultCurveRange(first, from, curveEnd);
    const double xEnd = (relative ? 1.0 : std::max<double>(peak, maxTarget)) * 1.25;
    const std::vector<double> inputs = sampleInputs(axes, from, curveEnd);
    const std::string frameName = "frame " + std::to_string(rows.front().frame) + " of " + file;

    Chart lum;
    lum.title = "Tone curve of " + frameName + ", " + targetList(rows);
    if (rows.size() == 1) lum.notes.push_back("adapted curve: " + curveText(first.adapted));
    if (hasSource) lum.notes.push_back("source curve: " + curveText(first.source));
    if (relative) lum.notes.push_back("no statistics: input relative to the unknown source peak");
    if (relative) {
        lum.x = {"input (1 = source peak)", from, xEnd, true};
    } else {
        lum.x = luminanceAxis("input", axes, from, xEnd, true);
    }

    Chart gain;
    gain.title = "Gain of " + frameName + ", " + targetList(rows);
    gain.x = lum.x;
    if (relative) {
        gain.notes.push_back("normalised gain = (output / target peak) / (input / source peak)");
    } else {
        gain.notes.push_back(
            "luminance ratio = output cd/m² / input cd/m² (1: shown as bright as mastered)");
        if (rows.size() == 1) {
            gain.notes.push_back("normalised gain = luminance ratio × " + number(peak) +
                                 " cd/m² source peak / " + std::to_string(first.targetNits) +
                                 " cd/m² target peak (right axis), as the table stores it");
        }
    }

    // Luminances the output axis must reach: the curves and every peak.
    Extent outputs;
    Extent ratios;
    ratios.positiveOnly = false;
    ratios.note(0);
    ratios.note(1);
    auto ratioOf = [&](const LutAnalysis& a, const TablePoint& p) {
        return relative ? (p.x > 0 ? normalisedGain(p.gain) : kNaN) : luminanceRatio(a, p);
    };

    Series identity{"output = input", {}, kLightGrey, 1.0, true};
    if (!relative) {
        for (double nits : inputs) identity.points.push_back({to(nits), to(nits)});
        identity.points.push_back({to(xEnd * 1.1), to(xEnd * 1.1)});
    }
    std::vector<Series> lumSeries, gainSeries, references;
    std::vector<Label> gainLabels;

    if (hasSource) {
        Series curve{
            "source curve, for its " + number(tSource) + " cd/m² display", {}, sourceColor(), 2.0};
        Series ratio = curve;
        const std::vector<CurveSample> samples = sampleCurvesAt(first, inputs);
        for (const CurveSample& c : samples) {
            curve.points.push_back({to(c.inputNits), to(c.sourceNits)});
            outputs.note(c.sourceNits);
            const double r = relative ? kNaN : c.sourceNits / c.inputNits;
            ratio.points.push_back({to(c.inputNits), r});
        }
        double kneeIn = 0, kneeOut = 0;
        kneeNits(first, first.source, tSource, kneeIn, kneeOut);
        Series knee = markOnly("", sourceColor(), Marker::Diamond, 6);
        knee.points.push_back({to(kneeIn), to(kneeOut)});
        Series kneeRatio = knee;
        kneeRatio.points = {{to(kneeIn), kneeIn > 0 ? kneeOut / kneeIn : kNaN}};
        lumSeries.push_back(curve);
        lumSeries.push_back(knee);
        if (!relative) {
            gainSeries.push_back(ratio);
            gainSeries.push_back(kneeRatio);
        }
        references.push_back(referenceLine("targeted display peak, " + number(tSource) + " cd/m²",
                                           sourceColor(), to(from), to(tSource), to(xEnd),
                                           to(tSource)));
        outputs.note(tSource);
    }

    for (size_t k = 0; k < rows.size(); k++) {
        const LutAnalysis& a = rows[k].lut();
        const Color color = targetColor(k);
        const std::string target = std::to_string(a.targetNits) + " cd/m²";
        const bool usable = a.firstDecrease < 0;
        Series curve{"adapted curve, " + target + " target", {}, color, 2.5};
        Series table{"", {}, color, 1.2, true};
        Series points = markOnly("", color, Marker::Dot, 3.5);
        Series curveRatio = curve;
        curveRatio.label = "adapted curve, " + target + " target";
        Series tableRatio = table;
        Series pointsRatio = points;
        for (const CurveSample& c : sampleCurvesAt(a, inputs)) {
            curve.points.push_back({to(c.inputNits), to(c.adaptedNits)});
            outputs.note(c.adaptedNits);
            const double curveR = relative ? c.adaptedGain : c.adaptedNits / c.inputNits;
            curveRatio.points.push_back({to(c.inputNits), curveR});
            ratios.note(curveR);
            if (usable) {
                table.points.push_back({to(c.inputNits), to(c.tableNits)});
                const double tableR = relative ? c.tableGain : c.tableNits / c.inputNits;
                tableRatio.points.push_back({to(c.inputNits), tableR});
                ratios.note(tableR);
            }
        }
        // The 33 points; those left of the axis are counted.
        int below = 0;
        for (const TablePoint& p : a.points) {
            const double in = inputNits(a, p.x);
            const double out = outputNits(a, p.x, p.gain);
            const bool shown = axes == LuminanceAxes::Pq ? true : in >= lum.x.min;
            if (!shown) {
                below++;
                continue;
            }
            points.points.push_back({to(in), to(out)});
            pointsRatio.points.push_back({to(in), ratioOf(a, p)});
        }
        points.label = target + " table: its points";
        if (below > 0) {
            points.label += " (" + std::to_string(below) + " below " + number(lum.x.min) +
                            (relative ? ")" : " cd/m²)");
        }
        points.label += ", interpolated (dashed)";
        pointsRatio.label = points.label;

        double kneeIn = 0, kneeOut = 0;
        kneeNits(a, a.adapted, a.targetNits, kneeIn, kneeOut);
        Series knee = markOnly("", color, Marker::Diamond, 6);
        knee.points.push_back({to(kneeIn), to(kneeOut)});
        Series kneeRatio = knee;
        kneeRatio.points = {
            {to(kneeIn),
             kneeIn > 0 ? (relative ? kneeOut / kneeIn / a.targetNits : kneeOut / kneeIn) : kNaN}};

        lumSeries.push_back(curve);
        lumSeries.push_back(table);
        lumSeries.push_back(points);
        lumSeries.push_back(knee);
        gainSeries.push_back(curveRatio);
        gainSeries.push_back(tableRatio);
        gainSeries.push_back(pointsRatio);
        gainSeries.push_back(kneeRatio);

        if (usable && a.maxError > 0) {
            const double at = inputNits(a, a.maxErrorAt);
            const double x = a.maxErrorAt;
            const double tableGain = interpolateGain(a.points, x);
            Series ring = markOnly("", color, Marker::Ring, 8);
            ring.points.push_back({to(at), to(outputNits(a, x, tableGain))});
            lumSeries.push_back(ring);
            Series ringRatio = ring;
            ringRatio.points = {{to(at), ratioOf(a, {x, tableGain})}};
            gainSeries.push_back(ringRatio);
            gainLabels.push_back({to(at), ratioOf(a, {x, tableGain}),
                                  "largest error " + number(a.maxError / kUnitGain, "%.3g") +
                                      " of unit gain at " + number(at, "%.3g") +
                                      (relative ? "" : " cd/m²"),
                                  color});
        }
        references.push_back(referenceLine(target + " target peak", color, to(from),
                                           to(a.targetNits), to(xEnd), to(a.targetNits)));
        outputs.note(a.targetNits);
    }
    if (!relative) {
        outputs.note(peak);
        references.push_back(
            referenceLine("source peak, " + number(peak) + " cd/m² (the curve's input 1.0)", kGrey,
                          to(peak), kNaN, to(peak), kNaN));
    }

    // Output axis: the curves' range, a decade of room below on log axes.
    if (outputs.empty()) outputs.lo = 1e-4, outputs.hi = 1;
    double yLo = 0, unused = 0;
    decades(std::max(outputs.lo, outputs.hi * 1e-6), outputs.hi, yLo, unused);
    lum.y = relative ? Axis{"output luminance (cd/m²)", yLo, outputs.hi * 1.3, true}
                     : luminanceAxis("output", axes, yLo, outputs.hi * 1.3, false);
    if (axes == LuminanceAxes::Pq) addNitsAxis(lum);
    // Reference lines run across the whole input axis.
    for (Series& s : references) {
        if (!std::isnan(s.points.front().second)) {
            s.points.front().first = lum.x.min;
            s.points.back().first = lum.x.max;
        }
    }
    // The vertical source peak line spans the output axis.
    for (Series& s : references) {
        if (std::isnan(s.points.front().second)) {
            s.points.front().second = lum.y.min;
            s.points.back().second = lum.y.max;
        }
    }

    lum.series.push_back(identity);
    for (const Series& s : references) lum.series.push_back(s);
    for (const Series& s : lumSeries) lum.series.push_back(s);
    lum.series.push_back(markOnly("knee point of each curve", {0.3, 0.3, 0.3}, Marker::Diamond, 6));
    lum.series.push_back(
        markOnly("largest interpolation error of each table", {0.3, 0.3, 0.3}, Marker::Ring, 6));

    const double margin = std::max((ratios.hi - ratios.lo) * 0.08, 0.02);
    gain.y = {relative ? "normalised gain" : "luminance ratio, output / input", 0,
              ratios.hi + margin, false};
    if (!relative && rows.size() == 1) {
        const double scale = peak / first.targetNits;
        gain.hasRightAxis = true;
        gain.yRight = {"normalised gain (the table's y / 1048575)", gain.y.min * scale,
                       gain.y.max * scale, false};
    }
    Series unit{relative ? "unit gain" : "luminance ratio 1 (output = input)",
                {{gain.x.min, 1}, {gain.x.max, 1}},
                kLightGrey,
                1.0,
                true};
    gain.series.push_back(unit);
    if (!relative) {
        gain.series.push_back(referenceLine("source peak, " + number(peak) + " cd/m²", kGrey,
                                            to(peak), gain.y.min, to(peak), gain.y.max));
    }
    for (const Series& s : gainSeries) gain.series.push_back(s);
    gain.series.push_back(
        markOnly("knee point of each curve", {0.3, 0.3, 0.3}, Marker::Diamond, 6));
    gain.series.push_back(
        markOnly("largest interpolation error of each table", {0.3, 0.3, 0.3}, Marker::Ring, 6));
    gain.labels = gainLabels;
    return {lum, gain};
}

std::vector<Chart> levelsCharts(const ClipAnalysis& clip, const std::vector<double>& levels,
                                const std::string& file, LuminanceAxes axes) {
    const LuminanceScale to{axes};
    std::vector<Chart> charts;
    for (const TargetRows& rows : clip.targets) {
        Chart chart;
        chart.title = "Output of chosen input levels across the frames of " + file + ", " +
                      std::to_string(rows.targetNits) + " cd/m² target";
        chart.notes.push_back(
            "through each frame's 33-point table; inputs above a frame's source peak are taken "
            "at the peak");
        // Frames without a point, and why.
        size_t noPeak = 0, unusable = 0;
        for (const FrameRow& row : rows.frames) {
            if (row.lut().firstDecrease >= 0) {
                unusable++;
            } else if (row.lut().sourcePeak <= 0) {
                noPeak++;
            }
        }
        std::string gaps;
        auto addGap = [&](size_t count, const std::string& why) {
            if (count == 0) return;
            gaps += (gaps.empty() ? "" : ", ") + std::to_string(count) +
                    (count == 1 ? " frame " : " frames ") + why;
        };
        addGap(clip.rejected.size(), "rejected");
        addGap(noPeak, "without statistics (no source peak to place a level)");
        addGap(unusable, "with an unusable table");
        if (!gaps.empty()) chart.notes.push_back("gaps: " + gaps);
        chart.x = {"frame", 0, static_cast<double>(std::max(clip.frameCount, 1u)), false};

        Extent y;
        // One point per frame of the file; a frame without a row is a gap.
        auto perFrame = [&](auto valueOf) {
            std::vector<std::pair<double, double>> points;
            unsigned next = 0;
            for (const FrameRow& row : rows.frames) {
                if (row.frame != next) points.push_back({next, kNaN});
                const double v = valueOf(row);
                points.push_back({static_cast<double>(row.frame), to(v)});
                y.note(v);
                next = row.frame + 1;
            }
            return points;
        };
        for (size_t l = 0; l < levels.size(); l++) {
            Series s;
            s.label = "input " + number(levels[l], "%g") + " cd/m²";
            s.color = paletteColor(l == 1 ? 5 : l);
            s.points = perFrame([&](const FrameRow& row) {
                return l < row.levelOutputs.size() ? row.levelOutputs[l]
                                                   : outputAtLevel(row.lut(), levels[l]);
            });
            s.markers = clip.frameCount <= 120;
            chart.series.push_back(s);
        }
        Series peak{"source peak (input side)", {}, kGrey, 1.0, true};
        peak.points = perFrame(
            [](const FrameRow& row) { return row.lut().sourcePeak > 0 ? row.lut().sourcePeak : kNaN; });
        chart.series.push_back(peak);
        chart.series.push_back(referenceLine(std::to_string(rows.targetNits) + " cd/m² target peak",
                                             {0, 0, 0}, chart.x.min, to(rows.targetNits),
                                             chart.x.max, to(rows.targetNits)));
        y.note(rows.targetNits);
        if (y.empty()) y.lo = 0.1, y.hi = 1000;
        double yLo = 0, yHi = 0;
        decades(std::max(y.lo * 0.8, y.hi * 1e-6), y.hi, yLo, yHi);
        chart.y = luminanceAxis("output", axes, yLo, yHi, false);
        if (axes == LuminanceAxes::Pq) addNitsAxis(chart);
        charts.push_back(chart);
    }
    return charts;
}

}  // namespace kestrel::tool
