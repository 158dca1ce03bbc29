#include "tools/kestrel/lut_charts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/kestrel/lut_output.h"

namespace kestrel::tool {

namespace {

// Whole decades around [lo, hi], for log axes.
void decades(double lo, double hi, double& min, double& max) {
    min = std::pow(10.0, std::floor(std::log10(lo)));
    max = std::pow(10.0, std::ceil(std::log10(hi)));
    if (!(max > min)) max = min * 10;
}

// The smallest and largest of the values a log axis can show.
struct Extent {
    double lo = 1e300, hi = 0;
    void note(double v) {
        if (v > 0 && std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
};

}  // namespace

Chart curveChart(const FrameRow& row, const std::string& file) {
    const LutAnalysis& a = row.lut;
    const bool relative = a.sourcePeak <= 0;
    const double tSource = a.source.targeted_system_display_maximum_luminance;
    const bool hasSource = a.source.tone_mapping_flag == 1 && tSource > 0;

    Chart chart;
    chart.title = "Tone mapping of frame " + std::to_string(row.frame) + " of " + file + " for a " +
                  std::to_string(a.targetNits) + " cd/m² target";
    chart.notes.push_back("adapted curve: " + curveText(a.adapted));
    if (relative) chart.notes.push_back("no statistics: input relative to the unknown source peak");
    double from = 0, to = 0;
    defaultCurveRange(a, from, to);
    chart.x = {relative ? "input (1 = source peak)" : "input luminance (cd/m²)", from, to, true};

    Series identity{"output = input", {}, {0.6, 0.6, 0.6}, 1.0, true};
    Series sourceCurve{"source curve, for its " + std::to_string(static_cast<unsigned>(tSource)) +
                           " cd/m² display",
                       {},
                       paletteColor(1),
                       2.0};
    Series adaptedCurve{"adapted curve, for the " + std::to_string(a.targetNits) + " cd/m² target",
                        {},
                        paletteColor(0),
                        2.5};
    Series interpolation{"table, interpolated", {}, paletteColor(2), 1.2};
    Series points{"table, 33 points", {}, paletteColor(2), 2.0, false, false, true};
    Series gain{"gain of the adapted curve (right axis)", {}, paletteColor(3), 1.5, true};
    Series tableGain{"gain of the table, interpolated (right axis)", {}, paletteColor(3), 1.0};
    gain.rightAxis = true;
    tableGain.rightAxis = true;

    Extent y;
    double gainLo = 1e300, gainHi = 0;
    auto noteGain = [&](double g) {
        if (std::isfinite(g)) {
            gainLo = std::min(gainLo, g);
            gainHi = std::max(gainHi, g);
        }
    };
    const std::vector<CurveSample> samples =
        row.curve.empty() ? sampleCurves(a, from, to, 400) : row.curve;
    for (const CurveSample& c : samples) {
        if (!relative) identity.points.push_back({c.inputNits, c.inputNits});
        adaptedCurve.points.push_back({c.inputNits, c.adaptedNits});
        y.note(c.adaptedNits);
        if (hasSource) {
            sourceCurve.points.push_back({c.inputNits, c.sourceNits});
            y.note(c.sourceNits);
        }
        interpolation.points.push_back({c.inputNits, c.tableNits});
        gain.points.push_back({c.inputNits, c.adaptedGain});
        tableGain.points.push_back({c.inputNits, c.tableGain});
        noteGain(c.adaptedGain);
        noteGain(c.tableGain);
    }
    int below = 0;
    for (const TablePoint& p : a.points) {
        const double nits = inputNits(a, p.x);
        if (nits < chart.x.min) {
            below++;
            continue;
        }
        points.points.push_back({nits, outputNits(a, p.x, p.gain)});
    }
    if (below > 0) points.label += " (" + std::to_string(below) + " below the axis)";
    if (y.hi <= 0) y.lo = 1e-4, y.hi = 1;
    chart.y = {"output luminance (cd/m²)", 0, 0, true};
    decades(std::max(y.lo, y.hi * 1e-6), y.hi, chart.y.min, chart.y.max);
    chart.hasRightAxis = true;
    if (!(gainHi >= gainLo)) gainLo = 0, gainHi = 1;
    const double margin = std::max((gainHi - gainLo) * 0.1, 0.01);
    chart.yRight = {"gain, output / input (1 = unit gain)", std::max(0.0, gainLo - margin),
                    gainHi + margin, false};

    if (!relative) chart.series.push_back(identity);
    if (hasSource) chart.series.push_back(sourceCurve);
    chart.series.push_back(adaptedCurve);
    chart.series.push_back(interpolation);
    chart.series.push_back(points);
    chart.series.push_back(gain);
    chart.series.push_back(tableGain);
    return chart;
}

Chart levelsChart(const TargetRows& rows, const std::vector<double>& levels,
                  const std::string& file) {
    Chart chart;
    chart.title = "Output of chosen input levels across the frames of " + file + ", " +
                  std::to_string(rows.targetNits) + " cd/m² target";
    chart.notes.push_back(
        "through each frame's 33-point table; inputs above a frame's source "
        "peak are taken at the peak");
    const double lastFrame = rows.frames.empty() ? 0 : rows.frames.back().frame;
    chart.x = {"frame", 0, rows.frames.empty() ? 1 : lastFrame + 1, false};
    Extent y;
    for (size_t l = 0; l < levels.size(); l++) {
        Series s;
        char label[64];
        std::snprintf(label, sizeof label, "input %g cd/m²", levels[l]);
        s.label = label;
        s.color = paletteColor(l);
        for (const FrameRow& row : rows.frames) {
            const double out = l < row.levelOutputs.size() ? row.levelOutputs[l]
                                                           : outputAtLevel(row.lut, levels[l]);
            if (std::isnan(out)) continue;
            s.points.push_back({static_cast<double>(row.frame), out});
            y.note(out);
        }
        s.markers = rows.frames.size() <= 60;
        chart.series.push_back(s);
    }
    Series peak{"source peak (input side)", {}, {0.5, 0.5, 0.5}, 1.0, true};
    for (const FrameRow& row : rows.frames) {
        if (row.lut.sourcePeak > 0) {
            peak.points.push_back({static_cast<double>(row.frame), row.lut.sourcePeak});
            y.note(row.lut.sourcePeak);
        }
    }
    chart.series.push_back(peak);
    if (y.hi <= 0) y.lo = 0.1, y.hi = 1000;
    chart.y = {"output luminance (cd/m²)", 0, 0, true};
    decades(std::max(y.lo, y.hi * 1e-6), y.hi, chart.y.min, chart.y.max);
    return chart;
}

}  // namespace kestrel::tool
