// SPDX-License-Identifier: Apache-2.0
#include "hdr10plus/frame.h"

#include "hdr10plus/internal/rules.h"
#include "hdr10plus/internal/syntax.h"

namespace kestrel::hdr10plus {

// The record's scales are the full range of the payload's elements.
static_assert(rules::maxOfBits(bits::kKneePoint) == kKneePointOne, "12-bit knee point");
static_assert(rules::maxOfBits(bits::kAnchor) == kAnchorOne, "10-bit anchors");
static_assert(rules::maxOfBits(bits::kNumDistribution) == kMaxDistributionEntries, "");
static_assert(rules::maxOfBits(bits::kNumAnchors) == kMaxBezierAnchors, "");
static_assert(rules::maxOfBits(bits::kNumWindows) == kMaxWindows, "");
static_assert(rules::maxOfBits(bits::kPercentage) >= kMaxPercentage, "");
static_assert(rules::maxOfBits(bits::kTargetedLuminance) >= kMaxTargetedLuminance, "");
static_assert(rules::maxOfBits(bits::kFractionBrightPixels) >= kFractionBrightPixelsOne, "");
static_assert(rules::maxOfBits(bits::kRotationAngle) >= kMaxRotationAngle, "");

bool WindowGeometry::operator==(const WindowGeometry& o) const {
    return window_upper_left_corner_x == o.window_upper_left_corner_x &&
           window_upper_left_corner_y == o.window_upper_left_corner_y &&
           window_lower_right_corner_x == o.window_lower_right_corner_x &&
           window_lower_right_corner_y == o.window_lower_right_corner_y &&
           center_of_ellipse_x == o.center_of_ellipse_x &&
           center_of_ellipse_y == o.center_of_ellipse_y && rotation_angle == o.rotation_angle &&
           semimajor_axis_internal_ellipse == o.semimajor_axis_internal_ellipse &&
           semimajor_axis_external_ellipse == o.semimajor_axis_external_ellipse &&
           semiminor_axis_external_ellipse == o.semiminor_axis_external_ellipse &&
           overlap_process_option == o.overlap_process_option;
}

bool ToneCurve::operator==(const ToneCurve& o) const {
    return knee_point_x == o.knee_point_x && knee_point_y == o.knee_point_y &&
           bezier_curve_anchors == o.bezier_curve_anchors;
}

bool Window::operator==(const Window& o) const {
    return geometry == o.geometry && maxscl == o.maxscl && average_maxrgb == o.average_maxrgb &&
           distribution == o.distribution && fraction_bright_pixels == o.fraction_bright_pixels &&
           tone_curve == o.tone_curve && color_saturation_weight == o.color_saturation_weight;
}

bool PeakLuminanceMatrix::operator==(const PeakLuminanceMatrix& o) const {
    return rows == o.rows && cols == o.cols && values == o.values;
}

bool Frame::operator==(const Frame& o) const {
    return application_version == o.application_version && windows == o.windows &&
           targeted_system_display_maximum_luminance ==
               o.targeted_system_display_maximum_luminance &&
           targeted_system_display_actual_peak_luminance ==
               o.targeted_system_display_actual_peak_luminance &&
           mastering_display_actual_peak_luminance == o.mastering_display_actual_peak_luminance &&
           scene_id == o.scene_id && scene_frame_index == o.scene_frame_index &&
           sequence_frame_index == o.sequence_frame_index;
}

namespace {

std::string indexed(const std::string& name, size_t i) {
    return name + "[" + std::to_string(i) + "]";
}

// Collects the first broken rule.
class Checker {
public:
    bool ok() const { return mError.ok(); }
    Status result() { return mError; }

    void apply(const std::string& element, std::optional<std::string> what) {
        if (!mError.ok() || !what) return;
        Location where;
        where.key = element;
        mError = Status::failure(ErrorKind::OutOfRange, element + " " + *what, std::move(where));
    }
    void fits(const std::string& element, uint64_t value, unsigned width) {
        apply(element, rules::atMost(value, rules::maxOfBits(width)));
    }

    void matrix(const std::string& name, const PeakLuminanceMatrix& m) {
        apply(name + ".rows", rules::within(m.rows, kMinPeakMatrixSide, kMaxPeakMatrixSide));
        apply(name + ".cols", rules::within(m.cols, kMinPeakMatrixSide, kMaxPeakMatrixSide));
        const size_t cells = size_t{m.rows} * m.cols;
        if (m.values.size() != cells) {
            apply(name + ".values", "has " + std::to_string(m.values.size()) + " entries, not " +
                                        std::to_string(m.rows) + " x " + std::to_string(m.cols));
        }
        for (size_t i = 0; i < m.values.size() && ok(); i++) {
            fits(indexed(name, i), m.values[i], bits::kPeakMatrixEntry);
        }
    }

    // Coordinates fill their 16 bits; the rotation is at most half a turn
    // and the ellipses are real ones, the outer not inside the inner.
    void geometry(const std::string& w, const WindowGeometry& g) {
        apply(w + ".rotation_angle", rules::atMost(g.rotation_angle, kMaxRotationAngle));
        apply(w + ".semimajor_axis_internal_ellipse",
              rules::within(g.semimajor_axis_internal_ellipse, 1, UINT16_MAX));
        apply(w + ".semimajor_axis_external_ellipse",
              rules::within(g.semimajor_axis_external_ellipse, g.semimajor_axis_internal_ellipse,
                            UINT16_MAX));
        apply(w + ".semiminor_axis_external_ellipse",
              rules::within(g.semiminor_axis_external_ellipse, 1, UINT16_MAX));
    }

    void window(size_t index, const Window& window) {
        const std::string w = indexed("windows", index);
        if (index == 0 && window.geometry) {
            apply(w + ".geometry", std::string("is set; window 0 is the whole picture"));
        }
        if (index > 0 && !window.geometry) apply(w + ".geometry", std::string("is missing"));
        if (window.geometry) geometry(w, *window.geometry);
        for (size_t c = 0; c < 3; c++) {
            fits(indexed(w + ".maxscl", c), window.maxscl[c], bits::kMaxscl);
        }
        fits(w + ".average_maxrgb", window.average_maxrgb, bits::kAverageMaxrgb);
        apply(w + ".num_distribution_maxrgb_percentiles",
              rules::atMost(window.distribution.size(), kMaxDistributionEntries));
        for (size_t i = 0; i < window.distribution.size() && ok(); i++) {
            const DistributionPoint& p = window.distribution[i];
            const std::string percentage = indexed(w + ".distribution_maxrgb_percentages", i);
            apply(percentage, rules::atMost(p.percentage, kMaxPercentage));
            if (i > 0) {
                apply(percentage,
                      rules::notBelowPrevious(p.percentage, window.distribution[i - 1].percentage));
            }
            fits(indexed(w + ".distribution_maxrgb_percentiles", i), p.percentile,
                 bits::kPercentile);
        }
        apply(w + ".fraction_bright_pixels",
              rules::atMost(window.fraction_bright_pixels, kFractionBrightPixelsOne));
        if (window.tone_curve) {
            const ToneCurve& curve = *window.tone_curve;
            apply(w + ".knee_point_x", rules::atMost(curve.knee_point_x, kKneePointOne));
            apply(w + ".knee_point_y", rules::atMost(curve.knee_point_y, kKneePointOne));
            apply(w + ".num_bezier_curve_anchors",
                  rules::atMost(curve.bezier_curve_anchors.size(), kMaxBezierAnchors));
            for (size_t i = 0; i < curve.bezier_curve_anchors.size() && ok(); i++) {
                apply(indexed(w + ".bezier_curve_anchors", i),
                      rules::atMost(curve.bezier_curve_anchors[i], kAnchorOne));
            }
        }
        if (window.color_saturation_weight) {
            fits(w + ".color_saturation_weight", *window.color_saturation_weight,
                 bits::kColorSaturationWeight);
        }
    }

private:
    Status mError;
};

}  // namespace

Status checkFrame(const Frame& frame) {
    Checker check;
    check.apply("application_version",
                rules::atMost(frame.application_version, kMaxApplicationVersion));
    check.apply("num_windows", rules::within(frame.windows.size(), 1, kMaxWindows));
    check.apply(
        "targeted_system_display_maximum_luminance",
        rules::atMost(frame.targeted_system_display_maximum_luminance, kMaxTargetedLuminance));
    if (frame.targeted_system_display_actual_peak_luminance) {
        check.matrix("targeted_system_display_actual_peak_luminance",
                     *frame.targeted_system_display_actual_peak_luminance);
    }
    if (frame.mastering_display_actual_peak_luminance) {
        check.matrix("mastering_display_actual_peak_luminance",
                     *frame.mastering_display_actual_peak_luminance);
    }
    for (size_t w = 0; w < frame.windows.size() && w < kMaxWindows && check.ok(); w++) {
        check.window(w, frame.windows[w]);
    }
    return check.result();
}

}  // namespace kestrel::hdr10plus
