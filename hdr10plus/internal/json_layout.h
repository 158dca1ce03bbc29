// SPDX-License-Identifier: Apache-2.0
// The names of a "SceneInfo" entry's members (hdr10plus/json.h describes
// them) and the one description of how a frame is written as an entry,
// shared by the tree writer (writeJsonFrame), the readers and the tool's
// writer of indented text. Internal to the library, the tool and the tests.
#pragma once

#include <cstdint>

#include "hdr10plus/frame.h"

namespace kestrel::hdr10plus {

namespace json_keys {
constexpr const char* kTargeted = "TargetedSystemDisplayMaximumLuminance";
constexpr const char* kNumberOfWindows = "NumberOfWindows";
constexpr const char* kSceneId = "SceneId";
constexpr const char* kSceneFrameIndex = "SceneFrameIndex";
constexpr const char* kSequenceFrameIndex = "SequenceFrameIndex";
constexpr const char* kLuminance = "LuminanceParameters";
constexpr const char* kMaxScl = "MaxScl";
constexpr const char* kAverageRgb = "AverageRGB";
constexpr const char* kDistributions = "LuminanceDistributions";
constexpr const char* kDistributionIndex = "DistributionIndex";
constexpr const char* kDistributionValues = "DistributionValues";
constexpr const char* kCurve = "BezierCurveData";
constexpr const char* kKneePointX = "KneePointX";
constexpr const char* kKneePointY = "KneePointY";
constexpr const char* kAnchors = "Anchors";
}  // namespace json_keys

// Gives `out` the entry of `frame`: out.beginObject(), out.key(name),
// out.integer(value), out.beginArray() and the matching ends. An object's
// members come in increasing byte order of their names, the order in which
// a tree of values holds them and in which the indented layout lists them,
// so that a writer of text needs no tree to sort them. Every container the
// layout has is given even when empty; a frame without windows gives the
// positions and peak only (an entry the reader refuses).
template <typename Out>
void writeJsonEntry(const Frame& frame, Out& out) {
    namespace k = json_keys;
    auto array = [&out](const char* name, const auto& values, auto value) {
        out.key(name);
        out.beginArray();
        for (const auto& v : values) out.integer(value(v));
        out.endArray();
    };
    auto same = [](auto v) { return static_cast<uint32_t>(v); };
    out.beginObject();
    if (!frame.windows.empty()) {
        const Window& w = frame.windows[0];
        if (w.tone_curve) {
            out.key(k::kCurve);
            out.beginObject();
            array(k::kAnchors, w.tone_curve->bezier_curve_anchors, same);
            out.key(k::kKneePointX);
            out.integer(w.tone_curve->knee_point_x);
            out.key(k::kKneePointY);
            out.integer(w.tone_curve->knee_point_y);
            out.endObject();
        }
        out.key(k::kLuminance);
        out.beginObject();
        out.key(k::kAverageRgb);
        out.integer(w.average_maxrgb);
        out.key(k::kDistributions);
        out.beginObject();
        array(k::kDistributionIndex, w.distribution,
              [](const DistributionPoint& p) { return uint32_t{p.percentage}; });
        array(k::kDistributionValues, w.distribution,
              [](const DistributionPoint& p) { return p.percentile; });
        out.endObject();
        array(k::kMaxScl, w.maxscl, same);
        out.endObject();
    }
    out.key(k::kNumberOfWindows);
    out.integer(static_cast<uint32_t>(frame.windows.size()));
    if (frame.scene_frame_index) {
        out.key(k::kSceneFrameIndex);
        out.integer(*frame.scene_frame_index);
    }
    if (frame.scene_id) {
        out.key(k::kSceneId);
        out.integer(*frame.scene_id);
    }
    if (frame.sequence_frame_index) {
        out.key(k::kSequenceFrameIndex);
        out.integer(*frame.sequence_frame_index);
    }
    out.key(k::kTargeted);
    out.integer(frame.targeted_system_display_maximum_luminance);
    out.endObject();
}

}  // namespace kestrel::hdr10plus
