// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/payload_extras.h"

namespace kestrel::tool {

namespace {

using hdr10plus::DistributionPoint;
using hdr10plus::PeakLuminanceMatrix;
using hdr10plus::Window;
using hdr10plus::WindowGeometry;

Json::Value u(uint32_t v) { return Json::Value(static_cast<Json::UInt>(v)); }

Json::Value matrixJson(const PeakLuminanceMatrix& m) {
    Json::Value out(Json::objectValue);
    out["Rows"] = u(m.rows);
    out["Columns"] = u(m.cols);
    out["Values"] = Json::Value(Json::arrayValue);
    for (uint8_t v : m.values) out["Values"].append(u(v));
    return out;
}

Json::Value geometryJson(const WindowGeometry& g) {
    Json::Value out(Json::objectValue);
    out["UpperLeftCornerX"] = u(g.window_upper_left_corner_x);
    out["UpperLeftCornerY"] = u(g.window_upper_left_corner_y);
    out["LowerRightCornerX"] = u(g.window_lower_right_corner_x);
    out["LowerRightCornerY"] = u(g.window_lower_right_corner_y);
    out["CenterOfEllipseX"] = u(g.center_of_ellipse_x);
    out["CenterOfEllipseY"] = u(g.center_of_ellipse_y);
    out["RotationAngle"] = u(g.rotation_angle);
    out["SemimajorAxisInternalEllipse"] = u(g.semimajor_axis_internal_ellipse);
    out["SemimajorAxisExternalEllipse"] = u(g.semimajor_axis_external_ellipse);
    out["SemiminorAxisExternalEllipse"] = u(g.semiminor_axis_external_ellipse);
    out["OverlapProcessOption"] = u(g.overlap_process_option ? 1 : 0);
    return out;
}

Json::Value windowJson(const Window& w) {
    Json::Value out(Json::objectValue);
    if (w.geometry) out["Geometry"] = geometryJson(*w.geometry);
    out["MaxScl"] = Json::Value(Json::arrayValue);
    for (uint32_t v : w.maxscl) out["MaxScl"].append(u(v));
    out["AverageRGB"] = u(w.average_maxrgb);
    Json::Value& d = out["LuminanceDistributions"];
    d["DistributionIndex"] = Json::Value(Json::arrayValue);
    d["DistributionValues"] = Json::Value(Json::arrayValue);
    for (const DistributionPoint& p : w.distribution) {
        d["DistributionIndex"].append(u(p.percentage));
        d["DistributionValues"].append(u(p.percentile));
    }
    out["FractionBrightPixels"] = u(w.fraction_bright_pixels);
    if (w.tone_curve) {
        Json::Value& b = out["BezierCurveData"];
        b["KneePointX"] = u(w.tone_curve->knee_point_x);
        b["KneePointY"] = u(w.tone_curve->knee_point_y);
        b["Anchors"] = Json::Value(Json::arrayValue);
        for (uint16_t a : w.tone_curve->bezier_curve_anchors) b["Anchors"].append(u(a));
    }
    if (w.color_saturation_weight) out["ColorSaturationWeight"] = u(*w.color_saturation_weight);
    return out;
}

}  // namespace

void addPayloadExtras(const hdr10plus::Frame& frame, Json::Value& entry) {
    entry["ApplicationVersion"] = u(frame.application_version);
    if (frame.windows.empty()) return;
    const Window& first = frame.windows[0];
    entry["FractionBrightPixels"] = u(first.fraction_bright_pixels);
    if (first.color_saturation_weight) {
        entry["ColorSaturationWeight"] = u(*first.color_saturation_weight);
    }
    if (frame.windows.size() > 1) {
        Json::Value& windows = entry["ProcessingWindows"];
        windows = Json::Value(Json::arrayValue);
        for (size_t i = 1; i < frame.windows.size(); i++) windows.append(windowJson(frame.windows[i]));
    }
    if (frame.targeted_system_display_actual_peak_luminance) {
        entry["TargetedSystemDisplayActualPeakLuminance"] =
            matrixJson(*frame.targeted_system_display_actual_peak_luminance);
    }
    if (frame.mastering_display_actual_peak_luminance) {
        entry["MasteringDisplayActualPeakLuminance"] =
            matrixJson(*frame.mastering_display_actual_peak_luminance);
    }
}

}  // namespace kestrel::tool
