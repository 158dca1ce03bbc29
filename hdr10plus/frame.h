// SPDX-License-Identifier: Apache-2.0
// HDR10+ dynamic metadata of one frame (SMPTE ST 2094-40, application 4), as
// a plain value: everything the T.35 payload carries, plus the scene and
// sequence positions that some sources (the JSON layout) add. Every reader
// fills one and every writer takes one; the range rules live in checkFrame.
//
// Units are the payload's own, never converted: luminance statistics in
// 0.1 cd/m² (100000 is 10000 cd/m²), the targeted display peak in whole
// cd/m², knee coordinates over 4095, anchors over 1023, percentages in whole
// percent, fraction_bright_pixels over 1000, actual-peak entries over 15,
// color_saturation_weight over 8.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "hdr10plus/export.h"
#include "metadata/VelmorHdrDynamicInfo.h"

namespace kestrel::hdr10plus {

// Limits the metadata sets within what the bits of an element could hold.
// The counts of distribution points and anchors (u(4), at most 15), the knee
// and anchor scales and the percentage limit are the record's
// (metadata/VelmorHdrDynamicInfo.h): the same facts.
constexpr unsigned kMaxWindows = 3;         // num_windows, u(2): 1 to 3
constexpr unsigned kMinPeakMatrixSide = 2;  // rows and columns, u(5): 2 to 25
constexpr unsigned kMaxPeakMatrixSide = 25;
constexpr uint32_t kMaxTargetedLuminance = 10000;    // u(27), cd/m²
constexpr uint8_t kMaxApplicationVersion = 1;        // u(8): 0 in early streams, else 1
constexpr uint16_t kFractionBrightPixelsOne = 1000;  // u(10), 1000 stands for 1.0
constexpr uint8_t kMaxRotationAngle = 180;           // u(8), degrees

// Where processing windows 1 and 2 lie and which pixels they select: a
// rectangle and, inside it, a pair of concentric ellipses. Window 0 is the
// whole picture and has none.
struct WindowGeometry {
    uint16_t window_upper_left_corner_x = 0;
    uint16_t window_upper_left_corner_y = 0;
    uint16_t window_lower_right_corner_x = 0;
    uint16_t window_lower_right_corner_y = 0;
    uint16_t center_of_ellipse_x = 0;
    uint16_t center_of_ellipse_y = 0;
    uint8_t rotation_angle = 0;  // degrees
    uint16_t semimajor_axis_internal_ellipse = 0;
    uint16_t semimajor_axis_external_ellipse = 0;
    uint16_t semiminor_axis_external_ellipse = 0;
    bool overlap_process_option = false;

    KESTREL_HDR10PLUS_EXPORT bool operator==(const WindowGeometry& o) const;
    bool operator!=(const WindowGeometry& o) const { return !(*this == o); }
};

// One entry of a window's maxRGB distribution: `percentage` percent of the
// pixels have a maxRGB at or below `percentile`.
struct DistributionPoint {
    uint8_t percentage = 0;   // distribution_maxrgb_percentages[i], 0 to 100
    uint32_t percentile = 0;  // distribution_maxrgb_percentiles[i], 0.1 cd/m²

    bool operator==(const DistributionPoint& o) const {
        return percentage == o.percentage && percentile == o.percentile;
    }
    bool operator!=(const DistributionPoint& o) const { return !(*this == o); }
};

// The tone curve a window carries for the targeted display (present when the
// window's tone_mapping_flag is 1): straight to the knee, then a Bezier curve
// through the anchors to (1, 1).
struct ToneCurve {
    uint16_t knee_point_x = 0;                   // over 4095
    uint16_t knee_point_y = 0;                   // over 4095
    std::vector<uint16_t> bezier_curve_anchors;  // over 1023, at most 15

    KESTREL_HDR10PLUS_EXPORT bool operator==(const ToneCurve& o) const;
    bool operator!=(const ToneCurve& o) const { return !(*this == o); }
};

// The statistics and curve of one processing window.
struct Window {
    std::optional<WindowGeometry> geometry;          // windows 1 and 2 only
    std::array<uint32_t, 3> maxscl = {0, 0, 0};      // red, green, blue; 0.1 cd/m²
    uint32_t average_maxrgb = 0;                     // 0.1 cd/m²
    std::vector<DistributionPoint> distribution;     // at most 15, percentages ascending
    uint16_t fraction_bright_pixels = 0;             // over 1000
    std::optional<ToneCurve> tone_curve;             // tone_mapping_flag
    std::optional<uint8_t> color_saturation_weight;  // color_saturation_mapping_flag; over 8

    KESTREL_HDR10PLUS_EXPORT bool operator==(const Window& o) const;
    bool operator!=(const Window& o) const { return !(*this == o); }
};

// A display's actual peak luminance over a rows x cols grid of the picture,
// each entry over 15, row after row.
struct PeakLuminanceMatrix {
    uint8_t rows = 0;             // 2 to 25
    uint8_t cols = 0;             // 2 to 25
    std::vector<uint8_t> values;  // rows * cols entries, each 0 to 15

    KESTREL_HDR10PLUS_EXPORT bool operator==(const PeakLuminanceMatrix& o) const;
    bool operator!=(const PeakLuminanceMatrix& o) const { return !(*this == o); }
};

struct Frame {
    uint8_t application_version = 1;  // 0 or 1
    std::vector<Window> windows;      // 1 to 3; window 0 is the whole picture
    uint32_t targeted_system_display_maximum_luminance = 0;  // cd/m², 0 to 10000
    std::optional<PeakLuminanceMatrix> targeted_system_display_actual_peak_luminance;
    std::optional<PeakLuminanceMatrix> mastering_display_actual_peak_luminance;

    // Positions that a source may record beside the payload (the JSON layout
    // does); the payload itself has none, so a parsed frame leaves them empty.
    std::optional<uint32_t> scene_id;
    std::optional<uint32_t> scene_frame_index;
    std::optional<uint32_t> sequence_frame_index;

    KESTREL_HDR10PLUS_EXPORT bool operator==(const Frame& o) const;
    bool operator!=(const Frame& o) const { return !(*this == o); }
};

// The first rule `frame` breaks, or success when it is a valid ST 2094-40
// frame that a payload can carry: 1 to 3 windows, geometry exactly on windows
// 1 and 2, counts within 15, percentages at most 100 and never falling, a
// targeted peak of at most 10000 cd/m², knee points within 4095, anchors
// within 1023, fraction_bright_pixels within 1000, actual-peak matrices of 2
// to 25 rows and columns with entries within 15, window rotations within 180
// degrees and ellipse axes of 1 or more (the outer semi-major axis not below
// the inner), and every other value within the bits of its element.
// A broken rule is ErrorKind::OutOfRange; where().key is the syntax element
// (with its window and index, "windows[1].distribution_maxrgb_percentages[3]")
// and message() the element and what is wrong with it
// ("windows[1].distribution_maxrgb_percentages[3] is 101, above 100").
KESTREL_HDR10PLUS_EXPORT Status checkFrame(const Frame& frame);

}  // namespace kestrel::hdr10plus
