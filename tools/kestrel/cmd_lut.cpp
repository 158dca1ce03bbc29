// kestrel lut: HDR10+ metadata through the library's tone-mapping path for
// one target peak, shown as the adapted curve and its 33-point table.
#include <json/value.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/kestrel/commands.h"
#include "tools/kestrel/hdr10plus_json.h"
#include "tools/kestrel/json_file.h"
#include "tools/kestrel/lut_analysis.h"
#include "tools/kestrel/output_capture.h"
#include "tools/kestrel/plot.h"
#include "tools/kestrel/progress.h"

namespace kestrel::tool {

namespace {

// The curve's input 1.0 stands for the source peak, its output 1.0 for the
// display it was made for. Without statistics the source peak is unknown and
// luminances are shown relative to it (1.0 = peak).
double inputScale(const LutAnalysis& a) { return a.sourcePeak > 0 ? a.sourcePeak : 1.0; }

double inputNits(const LutAnalysis& a, double x) { return x / kTableInputScale * inputScale(a); }

double outputNits(const LutAnalysis& a, double x, double gain) {
    return gain / kUnitGain * (x / kTableInputScale) * a.targetNits;
}

std::string anchorList(const _VelmorHdrDynamicInfo& r) {
    std::string list;
    unsigned n = std::min<unsigned>(r.num_bezier_curve_anchors, kMaxBezierAnchors);
    for (unsigned i = 0; i < n; i++) list += " " + std::to_string(r.bezier_curve_anchors[i]);
    return list;
}

std::string curveText(const _VelmorHdrDynamicInfo& r) {
    return "knee (" + std::to_string(r.knee_point_x) + ", " + std::to_string(r.knee_point_y) +
           "), " + std::to_string(r.num_bezier_curve_anchors) + " anchors" +
           (r.num_bezier_curve_anchors > 0 ? ":" + anchorList(r) : "");
}

// The library's lines go to --diag-out if given; its error lines are shown
// on standard error in any case, since they change what the table means.
class LibraryOutput {
public:
    bool open(const std::string& path, std::string& error) {
        if (path.empty()) return true;
        mFile.open(path, std::ios::out | std::ios::trunc);
        if (!mFile) error = path + ": cannot write";
        return static_cast<bool>(mFile);
    }
    void show(const std::string& context, const std::string& text) {
        if (mFile.is_open()) mFile << text;
        for (const std::string& line : splitLines(text)) {
            if (isErrorLogLine(line))
                std::fprintf(stderr, "%s: %s\n", context.c_str(), line.c_str());
        }
    }

private:
    std::ofstream mFile;
};

Json::Value curveJson(const _VelmorHdrDynamicInfo& r) {
    Json::Value curve;
    curve["tone_mapping_flag"] = r.tone_mapping_flag;
    curve["knee_point_x"] = r.knee_point_x;
    curve["knee_point_y"] = r.knee_point_y;
    curve["anchors"] = Json::Value(Json::arrayValue);
    unsigned n = std::min<unsigned>(r.num_bezier_curve_anchors, kMaxBezierAnchors);
    for (unsigned i = 0; i < n; i++) curve["anchors"].append(r.bezier_curve_anchors[i]);
    return curve;
}

Json::Value analysisJson(const LutAnalysis& a, unsigned frame) {
    Json::Value v;
    v["frame"] = frame;
    v["target_nits"] = a.targetNits;
    v["source_peak_nits"] = a.sourcePeak;
    v["source_curve"] = curveJson(a.source);
    v["source_curve"]["targeted_display_nits"] = a.source.targeted_system_display_maximum_luminance;
    v["adapted_curve"] = curveJson(a.adapted);
    v["lutX"] = Json::Value(Json::arrayValue);
    v["lutY"] = Json::Value(Json::arrayValue);
    for (unsigned i = 0; i < kTableEntries; i++) {
        v["lutX"].append(a.lutX[i]);
        v["lutY"].append(a.lutY[i]);
    }
    v["points"] = Json::Value(Json::arrayValue);
    for (const TablePoint& p : a.points) {
        Json::Value point;
        point["x"] = p.x;
        point["gain"] = p.gain;
        point["input_nits"] = inputNits(a, p.x);
        point["output_nits"] = outputNits(a, p.x, p.gain);
        v["points"].append(point);
    }
    v["last_segment"]["width"] = a.lutX[kTableEntries - 1];
    v["last_segment"]["rise"] = static_cast<int32_t>(a.lutY[kTableEntries - 1]);
    v["increasing_input"] = a.firstDecrease < 0;
    v["max_interpolation_error"]["gain_units"] = a.maxError;
    v["max_interpolation_error"]["of_unit_gain"] = a.maxError / kUnitGain;
    v["max_interpolation_error"]["at_x"] = a.maxErrorAt;
    v["max_interpolation_error"]["at_nits"] = inputNits(a, a.maxErrorAt);
    v["microseconds"] = a.microseconds;
    return v;
}

void printTable(const LutAnalysis& a, const std::string& file, unsigned frame) {
    std::printf("frame %u of %s, target %u cd/m²\n", frame, file.c_str(), a.targetNits);
    if (a.sourcePeak > 0) {
        std::printf("source peak: %.4g cd/m² (the curve's input 1.0)\n", a.sourcePeak);
    } else {
        std::printf("source peak: unknown (no statistics); input shown relative to it\n");
    }
    if (a.source.tone_mapping_flag == 1) {
        std::printf("source curve: %s, for a %u cd/m² display\n", curveText(a.source).c_str(),
                    a.source.targeted_system_display_maximum_luminance);
    } else {
        std::printf("source curve: none (tone-mapping flag %u)\n", a.source.tone_mapping_flag);
    }
    std::printf("adapted curve: %s, for the %u cd/m² target\n", curveText(a.adapted).c_str(),
                a.targetNits);
    std::printf("%5s %12s %14s %12s %10s %14s\n", "entry", "x", "input cd/m²", "y", "gain",
                "output cd/m²");
    for (unsigned i = 0; i + 1 < kTableEntries; i++) {
        const TablePoint& p = a.points[i];
        std::printf("%5u %12.0f %14.6g %12.0f %10.6f %14.6g\n", i, p.x, inputNits(a, p.x), p.gain,
                    p.gain / kUnitGain, outputNits(a, p.x, p.gain));
    }
    const TablePoint& end = a.points.back();
    std::printf("%5u last segment: width %u, rise %d, ending at (%.0f, %.0f): %.6g -> %.6g cd/m²\n",
                kTableEntries - 1, a.lutX[kTableEntries - 1],
                static_cast<int32_t>(a.lutY[kTableEntries - 1]), end.x, end.gain,
                inputNits(a, end.x), outputNits(a, end.x, end.gain));
    if (a.firstDecrease < 0) {
        std::printf(
            "largest interpolation error: %.0f (%.6f of unit gain) at x = %.0f (%.6g cd/m²)\n",
            a.maxError, a.maxError / kUnitGain, a.maxErrorAt, inputNits(a, a.maxErrorAt));
    }
}

void printCsv(const LutAnalysis& a) {
    std::printf("entry,lut_x,lut_y,x,y,input_nits,gain,output_nits\n");
    for (unsigned i = 0; i < kTableEntries; i++) {
        const TablePoint& p = a.points[i];
        std::printf("%u,%u,%u,%.0f,%.0f,%.9g,%.9g,%.9g\n", i, a.lutX[i], a.lutY[i], p.x, p.gain,
                    inputNits(a, p.x), p.gain / kUnitGain, outputNits(a, p.x, p.gain));
    }
}

// Whole decades around [lo, hi], for log axes.
void decades(double lo, double hi, double& min, double& max) {
    min = std::pow(10.0, std::floor(std::log10(lo)));
    max = std::pow(10.0, std::ceil(std::log10(hi)));
    if (!(max > min)) max = min * 10;
}

Chart curveChart(const LutAnalysis& a, const std::string& file, unsigned frame) {
    const double s = inputScale(a);
    const bool relative = a.sourcePeak <= 0;
    const double tSource = a.source.targeted_system_display_maximum_luminance;
    const ToneCurve adapted = toneCurveOf(a.adapted);
    const ToneCurve source = toneCurveOf(a.source);
    const bool hasSource = a.source.tone_mapping_flag == 1 && tSource > 0;

    Chart chart;
    chart.title = "Tone mapping of frame " + std::to_string(frame) + " of " + file + " for a " +
                  std::to_string(a.targetNits) + " cd/m² target";
    chart.notes.push_back("adapted curve: " + curveText(a.adapted));
    if (relative) chart.notes.push_back("no statistics: input relative to the unknown source peak");
    // Three decades below the source peak hold the knee and the roll-off;
    // below them the curve is a straight segment of constant gain.
    double unused = 0;
    chart.x = {relative ? "input (1 = source peak)" : "input luminance (cd/m²)", 0, s, true};
    decades(s * 1e-3, s, chart.x.min, unused);

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

    double yLo = 1e300, yHi = 0, gainLo = 1e300, gainHi = 0;
    auto noteY = [&](double y) {
        if (y > 0 && std::isfinite(y)) {
            yLo = std::min(yLo, y);
            yHi = std::max(yHi, y);
        }
    };
    auto noteGain = [&](double g) {
        if (std::isfinite(g)) {
            gainLo = std::min(gainLo, g);
            gainHi = std::max(gainHi, g);
        }
    };
    constexpr int kSamples = 400;
    for (int i = 0; i <= kSamples; i++) {
        const double nits =
            chart.x.min * std::pow(s / chart.x.min, static_cast<double>(i) / kSamples);
        const double t = nits / s;
        const double x = t * kTableInputScale;
        if (!relative) identity.points.push_back({nits, nits});
        const double yAdapted = evaluate(adapted, t) * a.targetNits;
        adaptedCurve.points.push_back({nits, yAdapted});
        noteY(yAdapted);
        if (hasSource) {
            const double ySource = evaluate(source, t) * tSource;
            sourceCurve.points.push_back({nits, ySource});
            noteY(ySource);
        }
        const double interpolated = interpolateGain(a.points, x);
        interpolation.points.push_back({nits, outputNits(a, x, interpolated)});
        gain.points.push_back({nits, gainAt(adapted, x) / kUnitGain});
        tableGain.points.push_back({nits, interpolated / kUnitGain});
        noteGain(gain.points.back().second);
        noteGain(tableGain.points.back().second);
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
    if (yHi <= 0) yLo = 1e-4, yHi = 1;
    chart.y = {"output luminance (cd/m²)", 0, 0, true};
    decades(std::max(yLo, yHi * 1e-6), yHi, chart.y.min, chart.y.max);
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

int runOneFrame(const LutOptions& o, const Hdr10PlusDocument& document, LibraryOutput& library) {
    if (o.frame >= document.frameCount) {
        std::fprintf(stderr, "kestrel lut: %s: frame %u is beyond its %u frames\n",
                     o.metadata.c_str(), o.frame, document.frameCount);
        return 1;
    }
    const Hdr10PlusFrame* frame = nullptr;
    for (const Hdr10PlusFrame& f : document.frames) {
        if (f.index == o.frame) frame = &f;
    }
    if (frame == nullptr) {
        if (const hdr10plus::JsonError* e = document.errorOf(o.frame))
            std::fprintf(stderr, "kestrel lut: %s\n", document.message(*e).c_str());
        return 1;
    }

    LutAnalysis a = analyseLut(frame->record, o.targetNits, o.layerNits);
    library.show("kestrel lut: library", a.diagnostics);
    const std::string format = o.format.empty() ? "table" : o.format;
    if (format == "json") {
        Json::Value v = analysisJson(a, o.frame);
        v["file"] = o.metadata;
        std::cout << prettyJson(v);
    } else if (format == "csv") {
        printCsv(a);
    } else {
        printTable(a, o.metadata, o.frame);
    }
    std::fflush(stdout);

    int status = 0;
    if (!o.plot.empty()) {
        std::string error;
        if (!writeCharts(o.plot, {curveChart(a, o.metadata, o.frame)}, error)) {
            std::fprintf(stderr, "kestrel lut: %s\n", error.c_str());
            status = 1;
        }
    }
    if (a.firstDecrease >= 0) {
        std::fprintf(stderr,
                     "kestrel lut: table entry %d has an abscissa below the entry before it\n",
                     a.firstDecrease);
        status = 1;
    }
    return status;
}

Chart levelsChart(const LutOptions& o, const std::vector<LutAnalysis>& results,
                  const std::vector<unsigned>& frames, const std::vector<double>& levels) {
    Chart chart;
    chart.title = "Output of chosen input levels across the frames of " + o.metadata + ", " +
                  std::to_string(o.targetNits) + " cd/m² target";
    chart.notes.push_back(
        "through each frame's 33-point table; inputs above a frame's source "
        "peak are taken at the peak");
    chart.x = {"frame", 0, static_cast<double>(frames.empty() ? 1 : frames.back() + 1), false};
    double yLo = 1e300, yHi = 0;
    for (size_t l = 0; l < levels.size(); l++) {
        Series s;
        char label[64];
        std::snprintf(label, sizeof label, "input %g cd/m²", levels[l]);
        s.label = label;
        s.color = paletteColor(l);
        for (size_t i = 0; i < results.size(); i++) {
            const LutAnalysis& a = results[i];
            if (a.sourcePeak <= 0 || a.firstDecrease >= 0) continue;
            double t = std::min(levels[l] / a.sourcePeak, 1.0);
            double x = t * kTableInputScale;
            double y = outputNits(a, x, interpolateGain(a.points, x));
            s.points.push_back({static_cast<double>(frames[i]), y});
            if (y > 0 && std::isfinite(y)) {
                yLo = std::min(yLo, y);
                yHi = std::max(yHi, y);
            }
        }
        s.markers = results.size() <= 60;
        chart.series.push_back(s);
    }
    Series peak{"source peak (input side)", {}, {0.5, 0.5, 0.5}, 1.0, true};
    for (size_t i = 0; i < results.size(); i++) {
        if (results[i].sourcePeak > 0) {
            peak.points.push_back({static_cast<double>(frames[i]), results[i].sourcePeak});
            yHi = std::max(yHi, results[i].sourcePeak);
            yLo = std::min(yLo, results[i].sourcePeak);
        }
    }
    chart.series.push_back(peak);
    if (yHi <= 0) yLo = 0.1, yHi = 1000;
    chart.y = {"output luminance (cd/m²)", 0, 0, true};
    decades(std::max(yLo, yHi * 1e-6), yHi, chart.y.min, chart.y.max);
    return chart;
}

int runAllFrames(const LutOptions& o, const Hdr10PlusDocument& document, LibraryOutput& library) {
    const std::string format = o.format.empty() ? "csv" : o.format;
    std::vector<LutAnalysis> results;
    std::vector<unsigned> frames;
    results.reserve(document.frames.size());
    {
        ProgressBar progress(static_cast<unsigned>(document.frames.size()), "frames");
        for (size_t i = 0; i < document.frames.size(); i++) {
            const Hdr10PlusFrame& f = document.frames[i];
            results.push_back(analyseLut(f.record, o.targetNits, o.layerNits));
            frames.push_back(f.index);
            progress.update(static_cast<unsigned>(i + 1));
            library.show("kestrel lut: frame " + std::to_string(f.index) + ": library",
                         results.back().diagnostics);
        }
    }

    int status = document.errors.empty() ? 0 : 1;
    for (const hdr10plus::JsonError& e : document.errors) {
        std::fprintf(stderr, "kestrel lut: %s (frame skipped)\n", document.message(e).c_str());
    }
    for (size_t i = 0; i < results.size(); i++) {
        if (results[i].firstDecrease >= 0) {
            std::fprintf(stderr,
                         "kestrel lut: frame %u: table entry %d has an abscissa below the entry "
                         "before it\n",
                         frames[i], results[i].firstDecrease);
            status = 1;
        }
    }

    if (format == "json") {
        Json::Value v;
        v["file"] = o.metadata;
        v["target_nits"] = o.targetNits;
        v["frame_count"] = document.frameCount;
        v["frames"] = Json::Value(Json::arrayValue);
        for (size_t i = 0; i < results.size(); i++)
            v["frames"].append(analysisJson(results[i], frames[i]));
        v["rejected"] = Json::Value(Json::arrayValue);
        for (const hdr10plus::JsonError& e : document.errors)
            v["rejected"].append(document.message(e));
        std::cout << prettyJson(v);
    } else {
        const bool csv = format == "csv";
        const char* header = csv ? "frame,knee_x,knee_y,first_anchor,source_peak_nits,max_error,"
                                   "max_error_of_unit_gain,increasing_input,microseconds\n"
                                 : "frame  knee_x knee_y first_anchor source_peak_nits  max_error "
                                   "of_unit_gain increasing_input microseconds\n";
        std::fputs(header, stdout);
        for (size_t i = 0; i < results.size(); i++) {
            const LutAnalysis& a = results[i];
            int firstAnchor =
                a.adapted.num_bezier_curve_anchors > 0 ? a.adapted.bezier_curve_anchors[0] : -1;
            std::string anchor = firstAnchor >= 0 ? std::to_string(firstAnchor) : "";
            const char* increasing = a.firstDecrease < 0 ? "yes" : "no";
            if (csv) {
                std::printf("%u,%u,%u,%s,%.6g,%.0f,%.6g,%s,%.1f\n", frames[i],
                            a.adapted.knee_point_x, a.adapted.knee_point_y, anchor.c_str(),
                            a.sourcePeak, a.maxError, a.maxError / kUnitGain, increasing,
                            a.microseconds);
            } else {
                std::printf("%5u %7u %6u %12s %16.6g %10.0f %12.6g %16s %12.1f\n", frames[i],
                            a.adapted.knee_point_x, a.adapted.knee_point_y, anchor.c_str(),
                            a.sourcePeak, a.maxError, a.maxError / kUnitGain, increasing,
                            a.microseconds);
            }
        }
    }
    std::fflush(stdout);

    if (!o.plot.empty()) {
        std::vector<double> levels =
            o.levels.empty() ? std::vector<double>{1, 10, 100, 1000} : o.levels;
        std::string error;
        if (!writeCharts(o.plot, {levelsChart(o, results, frames, levels)}, error)) {
            std::fprintf(stderr, "kestrel lut: %s\n", error.c_str());
            status = 1;
        }
    }
    return status;
}

}  // namespace

int runLut(const LutOptions& options) {
    if (!options.plot.empty() && !isPlotFileName(options.plot)) {
        std::fprintf(stderr, "kestrel lut: %s: a plot file name must end in .png or .svg\n",
                     options.plot.c_str());
        return 1;
    }
    Hdr10PlusDocument document;
    std::string error;
    if (!loadHdr10PlusFile(options.metadata, document, error)) {
        std::fprintf(stderr, "kestrel lut: %s\n", error.c_str());
        return 1;
    }
    LibraryOutput library;
    if (!library.open(options.diagOut, error)) {
        std::fprintf(stderr, "kestrel lut: %s\n", error.c_str());
        return 1;
    }
    return options.allFrames ? runAllFrames(options, document, library)
                             : runOneFrame(options, document, library);
}

}  // namespace kestrel::tool
