// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/plot.h"

#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "tools/kestrel/render/label_placement.h"
#include "tools/kestrel/render/text_wrap.h"

namespace kestrel::tool {

namespace {

constexpr double kWidth = 1000;
constexpr double kPlotHeight = 640;  // a chart without its legend
constexpr double kFontSize = 13;
constexpr double kLineHeight = 17;
constexpr double kTitleFontSize = kFontSize + 3;
constexpr double kTitleLineHeight = 20;
constexpr double kTitleMargin = 20;  // between a title line and the image's edge
constexpr double kLegendSample = 28;  // width of a legend entry's line
constexpr double kLegendGap = 24;     // between legend columns

// Ends in `suffix` (lower case), in any case: "curve.PNG" is a PNG.
bool endsWith(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); i++) {
        const char c = s[s.size() - suffix.size() + i];
        if (std::tolower(static_cast<unsigned char>(c)) != suffix[i]) return false;
    }
    return true;
}

// Maps data values of one axis to a pixel span.
class Scale {
public:
    Scale(const Axis& axis, double from, double to) : mAxis(axis), mFrom(from), mTo(to) {
        mLo = axis.log ? std::log10(axis.min) : axis.min;
        mHi = axis.log ? std::log10(axis.max) : axis.max;
        if (!(mHi > mLo)) mHi = mLo + 1;
    }
    bool valid(double v) const { return std::isfinite(v) && (!mAxis.log || v > 0); }
    double operator()(double v) const {
        double u = ((mAxis.log ? std::log10(v) : v) - mLo) / (mHi - mLo);
        return mFrom + (mTo - mFrom) * u;
    }

private:
    const Axis& mAxis;
    double mFrom, mTo, mLo, mHi;
};

std::string tickLabel(double v) {
    char text[32];
    if (v != 0 && (std::fabs(v) < 1e-3 || std::fabs(v) >= 1e6)) {
        std::snprintf(text, sizeof text, "%.0e", v);
    } else {
        std::snprintf(text, sizeof text, "%.6g", v);
    }
    return text;
}

struct Tick {
    double value;
    bool major;
};

std::vector<Tick> ticksFor(const Axis& axis) {
    std::vector<Tick> ticks;
    if (axis.log) {
        if (!(axis.min > 0) || !(axis.max > axis.min)) return ticks;
        int first = static_cast<int>(std::floor(std::log10(axis.min)));
        int last = static_cast<int>(std::ceil(std::log10(axis.max)));
        for (int e = first; e <= last && e - first < 40; e++) {
            double decade = std::pow(10.0, e);
            for (int m = 1; m <= 9; m++) {
                double v = decade * m;
                if (v >= axis.min * (1 - 1e-9) && v <= axis.max * (1 + 1e-9)) {
                    ticks.push_back({v, m == 1});
                }
            }
        }
        return ticks;
    }
    double span = axis.max - axis.min;
    if (!(span > 0) || !std::isfinite(span)) return ticks;
    // A step of 1, 2 or 5 times a power of ten giving about six intervals.
    double raw = span / 6;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double f : {1.0, 2.0, 5.0, 10.0}) {
        step = f * power;
        if (step >= raw) break;
    }
    for (double v = std::ceil(axis.min / step) * step; v <= axis.max + step * 1e-9; v += step) {
        ticks.push_back({std::fabs(v) < step * 1e-9 ? 0.0 : v, true});
    }
    return ticks;
}

void setColor(cairo_t* cr, const Color& c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

double textWidth(cairo_t* cr, const std::string& text) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return extents.x_advance;
}

void drawText(cairo_t* cr, double x, double y, const std::string& text, double alignX = 0) {
    cairo_move_to(cr, x - alignX * textWidth(cr, text), y);
    cairo_show_text(cr, text.c_str());
}

void drawMarker(cairo_t* cr, const Series& s, double x, double y) {
    const double r = s.markerSize;
    setColor(cr, s.color);
    switch (s.marker) {
        case Marker::Dot:
            cairo_new_sub_path(cr);
            cairo_arc(cr, x, y, r, 0, 2 * M_PI);
            cairo_fill(cr);
            break;
        case Marker::Diamond:
            cairo_move_to(cr, x, y - r);
            cairo_line_to(cr, x + r, y);
            cairo_line_to(cr, x, y + r);
            cairo_line_to(cr, x - r, y);
            cairo_close_path(cr);
            cairo_fill_preserve(cr);
            cairo_set_source_rgb(cr, 0, 0, 0);
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
            break;
        case Marker::Ring:
            cairo_new_sub_path(cr);
            cairo_arc(cr, x, y, r, 0, 2 * M_PI);
            cairo_set_line_width(cr, 2);
            cairo_stroke(cr);
            break;
        case Marker::Cross:
            cairo_set_line_width(cr, 2);
            cairo_move_to(cr, x - r, y - r);
            cairo_line_to(cr, x + r, y + r);
            cairo_move_to(cr, x - r, y + r);
            cairo_line_to(cr, x + r, y - r);
            cairo_stroke(cr);
            break;
    }
}

void drawSeries(cairo_t* cr, const Series& s, const Scale& sx, const Scale& sy) {
    setColor(cr, s.color);
    cairo_set_line_width(cr, s.width);
    if (s.dotted) {
        const double dashes[] = {2.0, 3.0};
        cairo_set_dash(cr, dashes, 2, 0);
    } else if (s.dashed) {
        const double dashes[] = {7.0, 5.0};
        cairo_set_dash(cr, dashes, 2, 0);
    } else {
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    if (s.line) {
        bool open = false;
        for (const auto& [x, y] : s.points) {
            if (!sx.valid(x) || !sy.valid(y)) {
                open = false;  // a gap: values a log axis cannot show
                continue;
            }
            if (open) {
                cairo_line_to(cr, sx(x), sy(y));
            } else {
                cairo_move_to(cr, sx(x), sy(y));
                open = true;
            }
        }
        cairo_stroke(cr);
        // A point between two gaps makes no line; it is shown as a dot.
        if (!s.markers) {
            auto valid = [&](size_t i) {
                return i < s.points.size() && sx.valid(s.points[i].first) &&
                       sy.valid(s.points[i].second);
            };
            for (size_t i = 0; i < s.points.size(); i++) {
                if (!valid(i) || (i > 0 && valid(i - 1)) || valid(i + 1)) continue;
                cairo_new_sub_path(cr);
                cairo_arc(cr, sx(s.points[i].first), sy(s.points[i].second), std::max(s.width, 1.5),
                          0, 2 * M_PI);
                cairo_fill(cr);
            }
        }
    }
    if (s.markers) {
        cairo_set_dash(cr, nullptr, 0, 0);
        for (const auto& [x, y] : s.points) {
            if (!sx.valid(x) || !sy.valid(y)) continue;
            drawMarker(cr, s, sx(x), sy(y));
        }
    }
    cairo_set_dash(cr, nullptr, 0, 0);
}

void drawAxisTicks(cairo_t* cr, const Axis& axis, const Scale& scale, bool horizontal, double at,
                   double other, bool right) {
    cairo_set_line_width(cr, 1);
    for (const Tick& t : ticksFor(axis)) {
        double p = scale(t.value);
        // Grid line across the plot, tick label outside it.
        cairo_set_source_rgba(cr, 0, 0, 0, t.major ? 0.15 : 0.06);
        if (!right) {
            if (horizontal) {
                cairo_move_to(cr, p, at);
                cairo_line_to(cr, p, other);
            } else {
                cairo_move_to(cr, at, p);
                cairo_line_to(cr, other, p);
            }
            cairo_stroke(cr);
        }
        if (!t.major) continue;
        cairo_set_source_rgb(cr, 0, 0, 0);
        std::string label = axis.tickText ? axis.tickText(t.value) : tickLabel(t.value);
        std::string second;
        if (size_t newline = label.find('\n'); newline != std::string::npos) {
            second = label.substr(newline + 1);
            label.resize(newline);
        }
        if (horizontal) {
            drawText(cr, p, at + 18, label, 0.5);
            if (!second.empty()) {
                cairo_set_font_size(cr, kFontSize - 3);
                cairo_set_source_rgb(cr, 0.35, 0.35, 0.35);
                drawText(cr, p, at + 31, second, 0.5);
                cairo_set_font_size(cr, kFontSize);
                cairo_set_source_rgb(cr, 0, 0, 0);
            }
        } else if (right) {
            drawText(cr, at + 6, p + 4, label, 0);
        } else {
            drawText(cr, at - 6, p + 4, label, 1);
        }
    }
}

// The legend's layout under the plot: entries in columns of equal width.
struct LegendLayout {
    std::vector<const Series*> entries;
    size_t columns = 1;
    double columnWidth = 0;
    size_t rows() const { return (entries.size() + columns - 1) / columns; }
    double height() const { return entries.empty() ? 0 : kLineHeight * rows() + 16; }
};

LegendLayout legendLayout(cairo_t* cr, const Chart& chart) {
    LegendLayout legend;
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
    double widest = 0;
    for (const Series& s : chart.series) {
        if (s.label.empty()) continue;
        legend.entries.push_back(&s);
        widest = std::max(widest, textWidth(cr, s.label));
    }
    legend.columnWidth = kLegendSample + 8 + widest + kLegendGap;
    const double available = kWidth - 2 * 60;
    legend.columns = std::max<size_t>(1, static_cast<size_t>(available / legend.columnWidth));
    legend.columns = std::min(legend.columns, std::max<size_t>(legend.entries.size(), 1));
    return legend;
}

double chartHeight(cairo_t* cr, const Chart& chart) {
    return kPlotHeight + legendLayout(cr, chart).height();
}

void drawChart(cairo_t* cr, const Chart& chart) {
    const LegendLayout legend = legendLayout(cr, chart);
    const double height = kPlotHeight + legend.height();

    const double left = 90;
    const double right = kWidth - (chart.hasRightAxis ? 90 : 30);
    // A title wider than the chart (a long path) is broken into lines; the
    // notes and the plot move down by the lines it took.
    cairo_set_font_size(cr, kTitleFontSize);
    const std::vector<std::string> titleLines =
        wrapText(chart.title, kWidth - 2 * kTitleMargin,
                 [&](const std::string& text) { return textWidth(cr, text); });
    const double titleExtra = kTitleLineHeight * (titleLines.size() - 1);
    const double top = 44 + titleExtra + kLineHeight * chart.notes.size();
    const double bottom = kPlotHeight - 60;
    const bool twoLineTicks =
        chart.x.tickText && chart.x.tickText(chart.x.min).find('\n') != std::string::npos;

    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, 0, 0, kWidth, height);
    cairo_fill(cr);

    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_font_size(cr, kTitleFontSize);
    for (size_t i = 0; i < titleLines.size(); i++) {
        drawText(cr, kWidth / 2, 26 + kTitleLineHeight * i, titleLines[i], 0.5);
    }
    cairo_set_font_size(cr, kFontSize - 1);
    for (size_t i = 0; i < chart.notes.size(); i++) {
        drawText(cr, kWidth / 2, 26 + titleExtra + kLineHeight * (i + 1), chart.notes[i], 0.5);
    }
    cairo_set_font_size(cr, kFontSize);

    Scale sx(chart.x, left, right);
    Scale sy(chart.y, bottom, top);
    Scale sy2(chart.yRight, bottom, top);

    drawAxisTicks(cr, chart.x, sx, true, bottom, top, false);
    drawAxisTicks(cr, chart.y, sy, false, left, right, false);
    if (chart.hasRightAxis) drawAxisTicks(cr, chart.yRight, sy2, false, right, left, true);

    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, left, top, right - left, bottom - top);
    cairo_stroke(cr);

    drawText(cr, (left + right) / 2, kPlotHeight - (twoLineTicks ? 14 : 22), chart.x.label, 0.5);
    cairo_save(cr);
    cairo_translate(cr, 22, (top + bottom) / 2);
    cairo_rotate(cr, -M_PI / 2);
    drawText(cr, 0, 0, chart.y.label, 0.5);
    cairo_restore(cr);
    if (chart.hasRightAxis) {
        cairo_save(cr);
        cairo_translate(cr, kWidth - 16, (top + bottom) / 2);
        cairo_rotate(cr, M_PI / 2);
        drawText(cr, 0, 0, chart.yRight.label, 0.5);
        cairo_restore(cr);
    }

    cairo_save(cr);
    cairo_rectangle(cr, left, top, right - left, bottom - top);
    cairo_clip(cr);
    for (const Series& s : chart.series) drawSeries(cr, s, sx, s.rightAxis ? sy2 : sy);
    // Labels near their point, clear of each other and of the drawn lines
    // (the curves; not the fine dotted reference lines).
    std::vector<std::vector<std::pair<double, double>>> lines;
    for (const Series& s : chart.series) {
        if (!s.line || s.dotted) continue;
        const Scale& scaleY = s.rightAxis ? sy2 : sy;
        lines.emplace_back();
        for (const auto& [x, y] : s.points) {
            if (!sx.valid(x) || !scaleY.valid(y)) {
                if (!lines.back().empty()) lines.emplace_back();  // a gap
                continue;
            }
            lines.back().emplace_back(sx(x), scaleY(y));
        }
    }
    std::vector<const Label*> shown;
    std::vector<LabelRequest> requests;
    for (const Label& l : chart.labels) {
        const Scale& scaleY = l.rightAxis ? sy2 : sy;
        if (!sx.valid(l.x) || !scaleY.valid(l.y)) continue;
        shown.push_back(&l);
        requests.push_back({sx(l.x), scaleY(l.y), textWidth(cr, l.text) + 4, kFontSize + 4});
    }
    const std::vector<Box> boxes =
        placeLabels(requests, Box{left + 2, top + 2, right - 4, bottom - 2}, lines);
    for (size_t i = 0; i < shown.size(); i++) {
        const Box& box = boxes[i];
        cairo_set_source_rgba(cr, 1, 1, 1, 0.8);
        cairo_rectangle(cr, box.left, box.top, box.right - box.left, box.bottom - box.top);
        cairo_fill(cr);
        setColor(cr, shown[i]->color);
        drawText(cr, box.left + 2, box.top + kFontSize, shown[i]->text);
    }
    cairo_restore(cr);

    // The legend, under the x axis label.
    const double legendTop = kPlotHeight + 4;
    const double legendLeft = (kWidth - legend.columnWidth * legend.columns + kLegendGap) / 2;
    const size_t rows = legend.rows();
    for (size_t i = 0; i < legend.entries.size(); i++) {
        const Series& s = *legend.entries[i];
        const double lx = legendLeft + legend.columnWidth * (i / rows);
        const double ly = legendTop + kLineHeight * (i % rows);
        Series sample = s;
        sample.points = {{lx, ly + 7}, {lx + kLegendSample, ly + 7}};
        if (s.markers && !s.line) sample.points = {{lx + kLegendSample / 2, ly + 7}};
        Axis px{"", 0, kWidth, false};
        Axis py{"", 0, height, false};
        Scale identityX(px, 0, kWidth);
        Scale identityY(py, 0, height);
        if (s.markers && s.line) {
            // The line, and one mark in its middle.
            Series line = sample;
            line.markers = false;
            drawSeries(cr, line, identityX, identityY);
            drawMarker(cr, s, lx + kLegendSample / 2, ly + 7);
        } else {
            drawSeries(cr, sample, identityX, identityY);
        }
        cairo_set_source_rgb(cr, 0, 0, 0);
        drawText(cr, lx + kLegendSample + 8, ly + 12, s.label);
    }
}

}  // namespace

namespace {

// Colour-blind-safe first, then further distinct hues.
const Color kPalette[] = {
    {0.00, 0.45, 0.70}, {0.84, 0.37, 0.00}, {0.00, 0.62, 0.45}, {0.80, 0.47, 0.65},
    {0.35, 0.35, 0.35}, {0.90, 0.62, 0.00}, {0.34, 0.71, 0.91}, {0.60, 0.20, 0.20},
    {0.45, 0.25, 0.65}, {0.55, 0.55, 0.10}, {0.10, 0.35, 0.35}, {0.95, 0.35, 0.55},
};

}  // namespace

Color paletteColor(size_t i) { return kPalette[i % paletteSize()]; }

size_t paletteSize() { return sizeof kPalette / sizeof kPalette[0]; }

bool plotFormatOf(const std::string& path, PlotFormat& format) {
    if (endsWith(path, ".png")) {
        format = PlotFormat::Png;
        return true;
    }
    if (endsWith(path, ".svg")) {
        format = PlotFormat::Svg;
        return true;
    }
    return false;
}

bool isPlotFileName(const std::string& path) {
    PlotFormat unused;
    return plotFormatOf(path, unused);
}

namespace {

cairo_status_t writeToStream(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::ostream*>(closure);
    out->write(reinterpret_cast<const char*>(data), length);
    return *out ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

Status writeCharts(std::ostream& out, PlotFormat format, const std::vector<Chart>& charts) {
    if (charts.empty()) return Status::failure(ErrorKind::Invalid, "nothing to plot");
    // Heights depend on the legends, which are measured on a scratch surface.
    std::vector<double> heights;
    {
        cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
        cairo_t* measure = cairo_create(scratch);
        for (const Chart& chart : charts) heights.push_back(chartHeight(measure, chart));
        cairo_destroy(measure);
        cairo_surface_destroy(scratch);
    }
    double height = 0;
    for (double h : heights) height += h;
    const bool png = format == PlotFormat::Png;
    cairo_surface_t* surface =
        png ? cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(kWidth),
                                         static_cast<int>(height))
            : cairo_svg_surface_create_for_stream(writeToStream, &out, kWidth, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        const Status failed =
            Status::failure(ErrorKind::Io, cairo_status_to_string(cairo_surface_status(surface)));
        cairo_surface_destroy(surface);
        return failed;
    }
    cairo_t* cr = cairo_create(surface);
    double offset = 0;
    for (size_t i = 0; i < charts.size(); i++) {
        cairo_save(cr);
        cairo_translate(cr, 0, offset);
        drawChart(cr, charts[i]);
        cairo_restore(cr);
        offset += heights[i];
    }
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    if (status == CAIRO_STATUS_SUCCESS && png) {
        status = cairo_surface_write_to_png_stream(surface, writeToStream, &out);
    }
    cairo_surface_finish(surface);  // an SVG is written out here
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    // Drops cairo's and fontconfig's font caches, so that leak checkers see
    // a clean exit; both are built up again if another plot is drawn.
    cairo_debug_reset_static_data();
    FcFini();
    if (status != CAIRO_STATUS_SUCCESS)
        return Status::failure(ErrorKind::Io, cairo_status_to_string(status));
    return {};
}

Status writeCharts(const std::string& path, const std::vector<Chart>& charts) {
    PlotFormat format;
    if (!plotFormatOf(path, format)) {
        return Status::failure(ErrorKind::Unsupported,
                               path + ": a plot file name must end in .png or .svg");
    }
    // Drawn in memory first, so that a failed drawing leaves no half file.
    std::ostringstream drawing;
    const Status drawn = writeCharts(drawing, format, charts);
    if (!drawn) return drawn.prefixed(path + ": ");
    errno = 0;
    std::ofstream file(path, std::ios::out | std::ios::binary | std::ios::trunc);
    file << drawing.str();
    file.close();
    if (!file) {
        const int number = errno;
        const Status failed = Status::failure(
            ErrorKind::Io,
            path + ": cannot write: " + (number != 0 ? std::strerror(number) : "write failed"));
        return number != 0 ? failed.withCode(number) : failed;
    }
    return {};
}

}  // namespace kestrel::tool
