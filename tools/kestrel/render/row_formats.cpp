// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/row_formats.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "analysis/parallel_for.h"
#include "clip/styled_json.h"
#include "tools/kestrel/render/warning_text.h"

namespace kestrel::tool {

namespace {

// printf into a stream: the table layouts are column widths and precisions.
__attribute__((format(printf, 2, 3))) void print(std::ostream& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        std::vector<char> text(static_cast<size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        out.write(text.data(), n);
    }
    va_end(again);
}

// printf at the end of a string, for text formatted away from the stream.
__attribute__((format(printf, 2, 3))) void append(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    char text[256];
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0 && static_cast<size_t>(n) < sizeof text) {
        out.append(text, static_cast<size_t>(n));
    } else if (n > 0) {
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(n) + 1);
        std::vsnprintf(&out[at], static_cast<size_t>(n) + 1, format, again);
        out.resize(at + static_cast<size_t>(n));
    }
    va_end(again);
}

std::string anchorList(const _VelmorHdrDynamicInfo& r) {
    std::string list;
    unsigned n = std::min<unsigned>(r.num_bezier_curve_anchors, kMaxBezierAnchors);
    for (unsigned i = 0; i < n; i++) list += " " + std::to_string(r.bezier_curve_anchors[i]);
    return list;
}

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

// The warnings of a row as one CSV field: quoted, separated by "; ".
std::string csvWarnings(const FrameRow& row) {
    if (row.warnings.empty()) return "";
    std::string text;
    for (const FrameWarning& w : row.warnings) {
        if (!text.empty()) text += "; ";
        text += warningText(w);
    }
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// A luminance ratio, or `unknown` without a source peak.
std::string ratioText(double ratio, const char* format, const char* unknown) {
    if (!std::isfinite(ratio)) return unknown;
    char text[32];
    std::snprintf(text, sizeof text, format, ratio);
    return text;
}

// A quantity that may be unknown: JSON null.
Json::Value orNull(double v) { return std::isfinite(v) ? Json::Value(v) : Json::Value(); }

}  // namespace

std::string curveText(const _VelmorHdrDynamicInfo& r) {
    return "knee (" + std::to_string(r.knee_point_x) + ", " + std::to_string(r.knee_point_y) +
           "), " + std::to_string(r.num_bezier_curve_anchors) + " anchors" +
           (r.num_bezier_curve_anchors > 0 ? ":" + anchorList(r) : "");
}

Json::Value frameJson(const FrameRow& row, bool timing) {
    const LutAnalysis& a = row.lut();
    Json::Value v;
    v["frame"] = row.frame;
    v["target_nits"] = a.targetNits;
    v["source_peak_nits"] = a.sourcePeak;
    if (a.sourcePeak <= 0) {
        v["source_peak_unknown"] =
            unknownPeakReason(whyPeakUnknown(a.source, a.sourcePeak), maxSclNits(a.source));
    }
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
        point["normalised_gain"] = normalisedGain(p.gain);
        // Without a source peak the input is a fraction of it, not cd/m².
        if (a.sourcePeak > 0) {
            point["input_nits"] = inputNits(a, p.x);
        } else {
            point["input_nits"] = Json::Value();
            point["input_relative"] = inputNits(a, p.x);
        }
        point["output_nits"] = outputNits(a, p.x, p.gain);
        point["luminance_ratio"] = orNull(luminanceRatio(a, p));
        v["points"].append(point);
    }
    v["last_segment"]["width"] = a.lutX[kTableEntries - 1];
    v["last_segment"]["rise"] = static_cast<int32_t>(a.lutY[kTableEntries - 1]);
    v["increasing_input"] = a.firstDecrease < 0;
    v["max_interpolation_error"]["gain_units"] = a.maxError;
    v["max_interpolation_error"]["of_unit_gain"] = a.maxError / kUnitGain;
    v["max_interpolation_error"]["at_x"] = a.maxErrorAt;
    v["max_interpolation_error"]["at_nits"] = inputNits(a, a.maxErrorAt);
    v["microseconds"] = timing ? Json::Value(a.microseconds) : Json::Value(Json::nullValue);
    v["warnings"] = warningsJson(row.warnings);
    return v;
}

Json::Value warningsJson(const std::vector<FrameWarning>& warnings) {
    Json::Value list(Json::arrayValue);
    for (const FrameWarning& w : warnings) {
        Json::Value warning;
        warning["kind"] = warningKindName(w.kind);
        warning["message"] = warningText(w);
        list.append(warning);
    }
    return list;
}

void writeFrameTable(std::ostream& out, const FrameRow& row, const std::string& file) {
    const LutAnalysis& a = row.lut();
    print(out, "frame %u of %s, target %u cd/m²\n", row.frame, file.c_str(), a.targetNits);
    if (a.sourcePeak > 0) {
        print(out, "source peak: %.6g cd/m² (the curve's input 1.0)\n", a.sourcePeak);
    } else {
        print(out, "source peak: unknown (%s); input shown relative to it\n",
              unknownPeakReason(whyPeakUnknown(a.source, a.sourcePeak), maxSclNits(a.source))
                  .c_str());
    }
    if (a.source.tone_mapping_flag == 1) {
        print(out, "source curve: %s, for a %u cd/m² display\n", curveText(a.source).c_str(),
              a.source.targeted_system_display_maximum_luminance);
    } else {
        print(out, "source curve: none (tone-mapping flag %u)\n", a.source.tone_mapping_flag);
    }
    print(out, "adapted curve: %s, for the %u cd/m² target\n", curveText(a.adapted).c_str(),
          a.targetNits);
    print(out, "%5s %12s %14s %12s %10s %10s %14s\n", "entry", "x",
          a.sourcePeak > 0 ? "input cd/m²" : "input rel.", "y", "norm gain", "lum ratio",
          "output cd/m²");
    for (unsigned i = 0; i + 1 < kTableEntries; i++) {
        const TablePoint& p = a.points[i];
        const double ratio = luminanceRatio(a, p);
        print(out, "%5u %12.0f %14.6g %12.0f %10.6f %10s %14.6g\n", i, p.x, inputNits(a, p.x),
              p.gain, normalisedGain(p.gain), ratioText(ratio, "%.6f", "-").c_str(),
              outputNits(a, p.x, p.gain));
    }
    const TablePoint& end = a.points.back();
    print(out, "%5u last segment: width %u, rise %d, ending at (%.0f, %.0f): %.6g -> %.6g cd/m²\n",
          kTableEntries - 1, a.lutX[kTableEntries - 1],
          static_cast<int32_t>(a.lutY[kTableEntries - 1]), end.x, end.gain, inputNits(a, end.x),
          outputNits(a, end.x, end.gain));
    if (a.firstDecrease < 0) {
        print(out,
              "largest interpolation error: %.0f (%.6f of unit gain) at x = %.0f (%.6g cd/m²)\n",
              a.maxError, a.maxError / kUnitGain, a.maxErrorAt, inputNits(a, a.maxErrorAt));
    }
}

void writeFrameCsv(std::ostream& out, const FrameRow& row, bool header) {
    const LutAnalysis& a = row.lut();
    if (header)
        print(out,
              "entry,lut_x,lut_y,x,y,%s,normalised_gain,output_nits,luminance_ratio,"
              "target_nits,warnings\n",
              a.sourcePeak > 0 ? "input_nits" : "input_relative");
    const std::string warnings = csvWarnings(row);
    for (unsigned i = 0; i < kTableEntries; i++) {
        const TablePoint& p = a.points[i];
        const double ratio = luminanceRatio(a, p);
        print(out, "%u,%u,%u,%.0f,%.0f,%.9g,%.9g,%.9g,%s,%u,%s\n", i, a.lutX[i], a.lutY[i], p.x,
              p.gain, inputNits(a, p.x), normalisedGain(p.gain), outputNits(a, p.x, p.gain),
              ratioText(ratio, "%.9g", "").c_str(), a.targetNits, warnings.c_str());
    }
}

void writeClipHeader(std::ostream& out, RowLayout layout) {
    out << (layout == RowLayout::Csv
                ? "frame,knee_x,knee_y,first_anchor,source_peak_nits,max_error,"
                  "max_error_of_unit_gain,increasing_input,microseconds,target_nits,warnings\n"
                : "frame  knee_x knee_y first_anchor source_peak_nits  max_error "
                  "of_unit_gain increasing_input microseconds target_nits warnings\n");
}

void appendClipRow(std::string& out, const FrameRow& row, RowLayout layout, bool timing) {
    const bool csv = layout == RowLayout::Csv;
    const LutAnalysis& a = row.lut();
    int firstAnchor =
        a.adapted.num_bezier_curve_anchors > 0 ? a.adapted.bezier_curve_anchors[0] : -1;
    std::string anchor = firstAnchor >= 0 ? std::to_string(firstAnchor) : "";
    const char* increasing = a.firstDecrease < 0 ? "yes" : "no";
    char time[32];
    std::snprintf(time, sizeof time, "%.1f", a.microseconds);
    const char* shownTime = timing ? time : csv ? "" : "-";
    if (csv) {
        append(out, "%u,%u,%u,%s,%.6g,%.0f,%.6g,%s,%s,%u,", row.frame, a.adapted.knee_point_x,
               a.adapted.knee_point_y, anchor.c_str(), a.sourcePeak, a.maxError,
               a.maxError / kUnitGain, increasing, shownTime, a.targetNits);
        out += csvWarnings(row);
        out += '\n';
    } else {
        append(out, "%5u %7u %6u %12s %16.6g %10.0f %12.6g %16s %12s %11u %8zu\n", row.frame,
               a.adapted.knee_point_x, a.adapted.knee_point_y, anchor.c_str(), a.sourcePeak,
               a.maxError, a.maxError / kUnitGain, increasing, shownTime, a.targetNits,
               row.warnings.size());
    }
}

void writeClipRows(std::ostream& out, const TargetRows& rows, RowLayout layout, bool timing) {
    // Rows are formatted in runs on every core and written in order.
    constexpr size_t kRowsPerRun = 2048;
    (void)analysis::formatInOrder(
        rows.frames.size(), kRowsPerRun,
        [&](std::string& text, size_t begin, size_t end) {
            for (size_t i = begin; i < end; i++) appendClipRow(text, rows.frames[i], layout, timing);
        },
        [&](const std::string& text, size_t, size_t) {
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            return true;
        });
}

Json::Value frameDocumentJson(const std::vector<FrameRow>& rows, const std::string& file,
                              unsigned frame, bool timing) {
    Json::Value v;
    // One target: the members of the shape before `targets` (version 1) stay
    // at the top for this release, so that scripts reading them keep working;
    // they go in the next, with schema_version 3 (README).
    if (rows.size() == 1) v = frameJson(rows.front(), timing);
    v["schema_version"] = kLutJsonVersion;
    v["file"] = file;
    v["frame"] = frame;
    v["targets"] = Json::Value(Json::arrayValue);
    for (const FrameRow& row : rows) v["targets"].append(frameJson(row, timing));
    return v;
}

namespace {

// A target's rows as a JSON array at the writer's place: frames formatted in
// runs on every core, written to `out` in order as each round ends.
void writeFramesJson(std::ostream& out, std::string& text, StyledJsonWriter& writer,
                     const TargetRows& rows, bool timing) {
    constexpr size_t kRowsPerRun = 64;  // a frame is about 11 KB of text
    writer.beginArray();
    const unsigned depth = writer.elementDepth();
    (void)analysis::formatInOrder(
        rows.frames.size(), kRowsPerRun,
        [&](std::string& part, size_t begin, size_t end) {
            for (size_t i = begin; i < end; i++)
                appendStyledElement(part, frameJson(rows.frames[i], timing), depth, i == 0);
        },
        [&](const std::string& part, size_t begin, size_t end) {
            writer.elements(part, end - begin);
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            text.clear();
            return true;
        });
    writer.endArray();
}

}  // namespace

void writeClipDocumentJson(std::ostream& out, const ClipAnalysis& clip, const std::string& file,
                           bool timing, const Json::Value& tablesFrom) {
    // The members in the order of their names, as a tree of them is written.
    std::string text;
    StyledJsonWriter writer(text);
    const bool one = clip.targets.size() == 1;
    writer.beginObject();
    writer.key("file");
    writer.value(file);
    writer.key("frame_count");
    writer.value(clip.frameCount);
    if (one) {  // version 1's members, for this release (see frameDocumentJson)
        writer.key("frames");
        writeFramesJson(out, text, writer, clip.targets[0], timing);
    }
    Json::Value rejected(Json::arrayValue);
    for (const std::string& e : clip.rejected) rejected.append(e);
    writer.key("rejected");
    writer.value(rejected);
    writer.key("schema_version");
    writer.value(kLutJsonVersion);
    writer.key("tables_from");
    writer.value(tablesFrom);
    if (one) {
        writer.key("target_nits");
        writer.value(clip.targets[0].targetNits);
    }
    writer.key("targets");
    writer.beginArray();
    for (const TargetRows& rows : clip.targets) {
        writer.beginObject();
        writer.key("frames");
        writeFramesJson(out, text, writer, rows, timing);
        writer.key("target_nits");
        writer.value(rows.targetNits);
        writer.endObject();
    }
    writer.endArray();
    writer.endObject();
    writer.finish();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace kestrel::tool
