// SPDX-License-Identifier: Apache-2.0
#include "hdr10plus/payload.h"

#include <cstdio>

#include "hdr10plus/internal/bit_io.h"
#include "hdr10plus/internal/rules.h"
#include "hdr10plus/internal/syntax.h"

namespace kestrel::hdr10plus {

namespace {

// An element's name, built into text only when a message needs it:
// "windows[1].distribution_maxrgb_percentages[3]".
struct Name {
    const char* element;
    int window = -1;
    int index = -1;

    std::string text() const {
        std::string s;
        if (window >= 0) s = "windows[" + std::to_string(window) + "].";
        s += element;
        if (index >= 0) s += "[" + std::to_string(index) + "]";
        return s;
    }
};

std::string bitCount(size_t n) { return std::to_string(n) + (n == 1 ? " bit" : " bits"); }

std::string hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

class Parser {
public:
    Parser(const uint8_t* data, size_t size) : mIn(data, size) {}

    const Status& error() const { return mError; }

    // Reads one element; on a short buffer records where it was cut.
    bool field(unsigned width, const Name& name, uint32_t& out) {
        const size_t at = mIn.position();
        if (mIn.read(width, out)) return true;
        return fail(
            ErrorKind::Truncated, name, at,
            "needs " + bitCount(width) + ", the payload has " + bitCount(mIn.bitsLeft()) + " left");
    }
    template <typename T>
    bool field(unsigned width, const Name& name, T& out) {
        uint32_t value = 0;
        if (!field(width, name, value)) return false;
        out = static_cast<T>(value);
        return true;
    }
    bool flag(const Name& name, bool& out) { return field(bits::kFlag, name, out); }

    // Applies a range rule to the element that starts at bit `at`.
    bool rule(const Name& name, size_t at, const std::optional<std::string>& what) {
        return !what || fail(ErrorKind::OutOfRange, name, at, *what);
    }

    // "byte 7 (bit 3): num_windows is 0, outside 1 to 3", at bit `at`.
    bool fail(ErrorKind kind, const Name& name, size_t at, const std::string& what) {
        Location where;
        where.bitOffset = at;
        where.byteOffset = at / 8;
        where.key = name.text();
        std::string message = "byte " + std::to_string(at / 8) + " (bit " +
                              std::to_string(at % 8) + "): " + where.key + " " + what;
        mError = Status::failure(kind, std::move(message), std::move(where));
        return false;
    }

    bool header(CountryCode start) {
        uint32_t value = 0;
        size_t at = mIn.position();
        if (start == CountryCode::Included) {
            if (!field(bits::kCountryCode, {"itu_t_t35_country_code"}, value)) return false;
            if (value != kCountryCode) {
                return fail(ErrorKind::Format, {"itu_t_t35_country_code"}, at,
                            "is " + hex(value, 2) + ", not " + hex(kCountryCode, 2));
            }
        }
        at = mIn.position();
        if (!field(bits::kTerminalProviderCode, {"itu_t_t35_terminal_provider_code"}, value)) {
            return false;
        }
        if (value != kTerminalProviderCode) {
            return fail(ErrorKind::Format, {"itu_t_t35_terminal_provider_code"}, at,
                        "is " + hex(value, 4) + ", not " + hex(kTerminalProviderCode, 4));
        }
        at = mIn.position();
        const Name oriented{"itu_t_t35_terminal_provider_oriented_code"};
        if (!field(bits::kTerminalProviderOrientedCode, oriented, value)) return false;
        if (value != kTerminalProviderOrientedCode) {
            return fail(ErrorKind::Format, oriented, at,
                        "is " + hex(value, 4) + ", not " + hex(kTerminalProviderOrientedCode, 4));
        }
        at = mIn.position();
        if (!field(bits::kApplicationIdentifier, {"application_identifier"}, value)) return false;
        if (value != kApplicationIdentifier) {
            return fail(ErrorKind::Unsupported, {"application_identifier"}, at,
                        "is " + std::to_string(value) + ", not " +
                            std::to_string(kApplicationIdentifier) + " (HDR10+)");
        }
        return true;
    }

    bool version(Frame& f) {
        const size_t at = mIn.position();
        if (!field(bits::kApplicationVersion, {"application_version"}, f.application_version)) {
            return false;
        }
        if (f.application_version > kMaxApplicationVersion) {
            return fail(ErrorKind::Unsupported, {"application_version"}, at,
                        "is " + std::to_string(f.application_version) + "; versions 0 to " +
                            std::to_string(kMaxApplicationVersion) + " are known");
        }
        return true;
    }

    bool geometry(int w, WindowGeometry& g) {
        if (!field(bits::kCorner, {"window_upper_left_corner_x", w},
                   g.window_upper_left_corner_x) ||
            !field(bits::kCorner, {"window_upper_left_corner_y", w},
                   g.window_upper_left_corner_y) ||
            !field(bits::kCorner, {"window_lower_right_corner_x", w},
                   g.window_lower_right_corner_x) ||
            !field(bits::kCorner, {"window_lower_right_corner_y", w},
                   g.window_lower_right_corner_y) ||
            !field(bits::kCenterOfEllipse, {"center_of_ellipse_x", w}, g.center_of_ellipse_x) ||
            !field(bits::kCenterOfEllipse, {"center_of_ellipse_y", w}, g.center_of_ellipse_y)) {
            return false;
        }
        size_t at = mIn.position();
        if (!field(bits::kRotationAngle, {"rotation_angle", w}, g.rotation_angle) ||
            !rule({"rotation_angle", w}, at, rules::atMost(g.rotation_angle, kMaxRotationAngle))) {
            return false;
        }
        at = mIn.position();
        const Name inner{"semimajor_axis_internal_ellipse", w};
        if (!field(bits::kAxis, inner, g.semimajor_axis_internal_ellipse) ||
            !rule(inner, at, rules::within(g.semimajor_axis_internal_ellipse, 1, UINT16_MAX))) {
            return false;
        }
        at = mIn.position();
        const Name outer{"semimajor_axis_external_ellipse", w};
        if (!field(bits::kAxis, outer, g.semimajor_axis_external_ellipse) ||
            !rule(outer, at,
                  rules::within(g.semimajor_axis_external_ellipse,
                                g.semimajor_axis_internal_ellipse, UINT16_MAX))) {
            return false;
        }
        at = mIn.position();
        const Name minor{"semiminor_axis_external_ellipse", w};
        if (!field(bits::kAxis, minor, g.semiminor_axis_external_ellipse) ||
            !rule(minor, at, rules::within(g.semiminor_axis_external_ellipse, 1, UINT16_MAX))) {
            return false;
        }
        return flag({"overlap_process_option", w}, g.overlap_process_option);
    }

    // An actual-peak matrix behind its flag: rows, columns, then the entries
    // row after row.
    bool matrix(const char* rowsName, const char* colsName, const char* valuesName,
                std::optional<PeakLuminanceMatrix>& out) {
        PeakLuminanceMatrix m;
        size_t at = mIn.position();
        if (!field(bits::kPeakMatrixSide, {rowsName}, m.rows) ||
            !rule({rowsName}, at, rules::within(m.rows, kMinPeakMatrixSide, kMaxPeakMatrixSide))) {
            return false;
        }
        at = mIn.position();
        if (!field(bits::kPeakMatrixSide, {colsName}, m.cols) ||
            !rule({colsName}, at, rules::within(m.cols, kMinPeakMatrixSide, kMaxPeakMatrixSide))) {
            return false;
        }
        m.values.resize(size_t{m.rows} * m.cols);
        for (size_t i = 0; i < m.values.size(); i++) {
            if (!field(bits::kPeakMatrixEntry, {valuesName, -1, static_cast<int>(i)},
                       m.values[i])) {
                return false;
            }
        }
        out = std::move(m);
        return true;
    }

    bool statistics(int w, Window& window) {
        for (int c = 0; c < 3; c++) {
            if (!field(bits::kMaxscl, {"maxscl", w, c}, window.maxscl[c])) return false;
        }
        if (!field(bits::kAverageMaxrgb, {"average_maxrgb", w}, window.average_maxrgb)) {
            return false;
        }
        unsigned count = 0;
        if (!field(bits::kNumDistribution, {"num_distribution_maxrgb_percentiles", w}, count)) {
            return false;
        }
        window.distribution.resize(count);
        for (unsigned i = 0; i < count; i++) {
            DistributionPoint& p = window.distribution[i];
            const Name percentage{"distribution_maxrgb_percentages", w, static_cast<int>(i)};
            const size_t at = mIn.position();
            if (!field(bits::kPercentage, percentage, p.percentage) ||
                !rule(percentage, at, rules::atMost(p.percentage, kMaxPercentage)) ||
                (i > 0 && !rule(percentage, at,
                                rules::notBelowPrevious(p.percentage,
                                                        window.distribution[i - 1].percentage))) ||
                !field(bits::kPercentile,
                       {"distribution_maxrgb_percentiles", w, static_cast<int>(i)}, p.percentile)) {
                return false;
            }
        }
        const size_t at = mIn.position();
        const Name fraction{"fraction_bright_pixels", w};
        return field(bits::kFractionBrightPixels, fraction, window.fraction_bright_pixels) &&
               rule(fraction, at,
                    rules::atMost(window.fraction_bright_pixels, kFractionBrightPixelsOne));
    }

    bool curveAndSaturation(int w, Window& window) {
        bool toneMapping = false;
        if (!flag({"tone_mapping_flag", w}, toneMapping)) return false;
        if (toneMapping) {
            ToneCurve curve;
            unsigned count = 0;
            if (!field(bits::kKneePoint, {"knee_point_x", w}, curve.knee_point_x) ||
                !field(bits::kKneePoint, {"knee_point_y", w}, curve.knee_point_y) ||
                !field(bits::kNumAnchors, {"num_bezier_curve_anchors", w}, count)) {
                return false;
            }
            curve.bezier_curve_anchors.resize(count);
            for (unsigned i = 0; i < count; i++) {
                if (!field(bits::kAnchor, {"bezier_curve_anchors", w, static_cast<int>(i)},
                           curve.bezier_curve_anchors[i])) {
                    return false;
                }
            }
            window.tone_curve = std::move(curve);
        }
        bool saturation = false;
        if (!flag({"color_saturation_mapping_flag", w}, saturation)) return false;
        if (saturation) {
            uint8_t weight = 0;
            if (!field(bits::kColorSaturationWeight, {"color_saturation_weight", w}, weight)) {
                return false;
            }
            window.color_saturation_weight = weight;
        }
        return true;
    }

    bool body(Frame& f) {
        size_t at = mIn.position();
        unsigned windows = 0;
        if (!field(bits::kNumWindows, {"num_windows"}, windows) ||
            !rule({"num_windows"}, at, rules::within(windows, 1, kMaxWindows))) {
            return false;
        }
        f.windows.resize(windows);
        for (unsigned w = 1; w < windows; w++) {
            f.windows[w].geometry.emplace();
            if (!geometry(static_cast<int>(w), *f.windows[w].geometry)) return false;
        }
        at = mIn.position();
        const Name targeted{"targeted_system_display_maximum_luminance"};
        if (!field(bits::kTargetedLuminance, targeted,
                   f.targeted_system_display_maximum_luminance) ||
            !rule(targeted, at,
                  rules::atMost(f.targeted_system_display_maximum_luminance,
                                kMaxTargetedLuminance))) {
            return false;
        }
        bool present = false;
        if (!flag({"targeted_system_display_actual_peak_luminance_flag"}, present)) return false;
        if (present && !matrix("num_rows_targeted_system_display_actual_peak_luminance",
                               "num_cols_targeted_system_display_actual_peak_luminance",
                               "targeted_system_display_actual_peak_luminance",
                               f.targeted_system_display_actual_peak_luminance)) {
            return false;
        }
        for (unsigned w = 0; w < windows; w++) {
            if (!statistics(static_cast<int>(w), f.windows[w])) return false;
        }
        if (!flag({"mastering_display_actual_peak_luminance_flag"}, present)) return false;
        if (present && !matrix("num_rows_mastering_display_actual_peak_luminance",
                               "num_cols_mastering_display_actual_peak_luminance",
                               "mastering_display_actual_peak_luminance",
                               f.mastering_display_actual_peak_luminance)) {
            return false;
        }
        for (unsigned w = 0; w < windows; w++) {
            if (!curveAndSaturation(static_cast<int>(w), f.windows[w])) return false;
        }
        return true;
    }

    // Zero bits up to the byte boundary, then the end of the buffer: a
    // payload that goes on is not one we could write back as it came.
    bool end() {
        const size_t at = mIn.position();
        uint32_t padding = 0;
        const unsigned width = static_cast<unsigned>((8 - at % 8) % 8);
        if (!field(width, {"padding"}, padding)) return false;
        if (padding != 0) {
            return fail(ErrorKind::Invalid, {"padding"}, at,
                        "after the last element is " + hex(padding, 2) + ", not zero");
        }
        if (mIn.bytesLeft() > 0) {
            return fail(
                ErrorKind::Invalid, {"payload"}, mIn.position(),
                "goes on for " + std::to_string(mIn.bytesLeft()) + " bytes after its last element");
        }
        return true;
    }

private:
    BitReader mIn;
    Status mError;
};

// Writes a frame that passed checkFrame, element by element, in the
// parser's order.
void writeMatrix(BitWriter& out, const PeakLuminanceMatrix& m) {
    out.write(bits::kPeakMatrixSide, m.rows);
    out.write(bits::kPeakMatrixSide, m.cols);
    for (uint8_t v : m.values) out.write(bits::kPeakMatrixEntry, v);
}

void writeBody(BitWriter& out, const Frame& f) {
    out.write(bits::kApplicationVersion, f.application_version);
    out.write(bits::kNumWindows, static_cast<uint32_t>(f.windows.size()));
    for (size_t w = 1; w < f.windows.size(); w++) {
        const WindowGeometry& g = *f.windows[w].geometry;
        out.write(bits::kCorner, g.window_upper_left_corner_x);
        out.write(bits::kCorner, g.window_upper_left_corner_y);
        out.write(bits::kCorner, g.window_lower_right_corner_x);
        out.write(bits::kCorner, g.window_lower_right_corner_y);
        out.write(bits::kCenterOfEllipse, g.center_of_ellipse_x);
        out.write(bits::kCenterOfEllipse, g.center_of_ellipse_y);
        out.write(bits::kRotationAngle, g.rotation_angle);
        out.write(bits::kAxis, g.semimajor_axis_internal_ellipse);
        out.write(bits::kAxis, g.semimajor_axis_external_ellipse);
        out.write(bits::kAxis, g.semiminor_axis_external_ellipse);
        out.write(bits::kOverlapProcessOption, g.overlap_process_option);
    }
    out.write(bits::kTargetedLuminance, f.targeted_system_display_maximum_luminance);
    const auto& targeted = f.targeted_system_display_actual_peak_luminance;
    out.write(bits::kFlag, targeted.has_value());
    if (targeted) writeMatrix(out, *targeted);
    for (const Window& window : f.windows) {
        for (uint32_t v : window.maxscl) out.write(bits::kMaxscl, v);
        out.write(bits::kAverageMaxrgb, window.average_maxrgb);
        out.write(bits::kNumDistribution, static_cast<uint32_t>(window.distribution.size()));
        for (const DistributionPoint& p : window.distribution) {
            out.write(bits::kPercentage, p.percentage);
            out.write(bits::kPercentile, p.percentile);
        }
        out.write(bits::kFractionBrightPixels, window.fraction_bright_pixels);
    }
    const auto& mastering = f.mastering_display_actual_peak_luminance;
    out.write(bits::kFlag, mastering.has_value());
    if (mastering) writeMatrix(out, *mastering);
    for (const Window& window : f.windows) {
        out.write(bits::kFlag, window.tone_curve.has_value());
        if (window.tone_curve) {
            const ToneCurve& c = *window.tone_curve;
            out.write(bits::kKneePoint, c.knee_point_x);
            out.write(bits::kKneePoint, c.knee_point_y);
            out.write(bits::kNumAnchors, static_cast<uint32_t>(c.bezier_curve_anchors.size()));
            for (uint16_t a : c.bezier_curve_anchors) out.write(bits::kAnchor, a);
        }
        out.write(bits::kFlag, window.color_saturation_weight.has_value());
        if (window.color_saturation_weight) {
            out.write(bits::kColorSaturationWeight, *window.color_saturation_weight);
        }
    }
}

}  // namespace

Result<Frame> parsePayload(const uint8_t* data, size_t size, CountryCode start) {
    Frame frame;
    static const uint8_t kNothing = 0;
    Parser parser(data != nullptr ? data : &kNothing, data != nullptr ? size : 0);
    if (!(parser.header(start) && parser.version(frame) && parser.body(frame) && parser.end()))
        return parser.error();
    return frame;
}

Result<std::vector<uint8_t>> writePayload(const Frame& frame, CountryCode start) {
    if (Status rules = checkFrame(frame); !rules.ok()) return rules;
    BitWriter out;
    if (start == CountryCode::Included) out.write(bits::kCountryCode, kCountryCode);
    out.write(bits::kTerminalProviderCode, kTerminalProviderCode);
    out.write(bits::kTerminalProviderOrientedCode, kTerminalProviderOrientedCode);
    out.write(bits::kApplicationIdentifier, kApplicationIdentifier);
    writeBody(out, frame);
    return out.take();
}

}  // namespace kestrel::hdr10plus
