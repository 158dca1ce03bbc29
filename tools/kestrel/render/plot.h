// SPDX-License-Identifier: Apache-2.0
// Line charts written as PNG or SVG with cairo: linear or logarithmic axes,
// an optional second y axis on the right, marks and labels, notes under the
// title and a legend under the plot, where it covers no curve. Several
// charts in one file are stacked from top to bottom.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "common/status.h"

namespace kestrel::tool {

struct Color {
    double r, g, b;
};

enum class Marker { Dot, Diamond, Ring, Cross };

// A line and/or marks through data points. A point with a value the axis
// cannot show (NaN, or <= 0 on a log axis) breaks the line: a gap.
struct Series {
    std::string label;  // empty: not in the legend
    std::vector<std::pair<double, double>> points;
    Color color{0, 0, 0};
    double width = 2.0;
    bool dashed = false;
    bool line = true;      // join the points
    bool markers = false;  // draw a mark on every point
    bool rightAxis = false;
    Marker marker = Marker::Dot;
    double markerSize = 3.5;
    bool dotted = false;  // a fine dotted line, for reference lines
};

struct Axis {
    Axis(std::string label_ = "", double min_ = 0, double max_ = 1, bool log_ = false)
        : label(std::move(label_)), min(min_), max(max_), log(log_) {}
    std::string label;
    double min;
    double max;
    bool log;
    // Tick labels; empty: the value itself. A '\n' starts a second, smaller
    // line (on the x axis).
    std::function<std::string(double)> tickText;
};

// Text placed at a data point, with a small offset to the upper right.
struct Label {
    double x, y;
    std::string text;
    Color color{0, 0, 0};
    bool rightAxis = false;
};

struct Chart {
    std::string title;
    Axis x;
    Axis y;
    Axis yRight;
    bool hasRightAxis = false;
    std::vector<Series> series;
    std::vector<Label> labels;
    std::vector<std::string> notes;  // lines under the title
};

// The colours the tool uses, in order of importance; after paletteSize()
// they repeat.
Color paletteColor(size_t i);
size_t paletteSize();

enum class PlotFormat { Png, Svg };

// The format a file name asks for: ".png" or ".svg" at its end.
bool plotFormatOf(const std::string& path, PlotFormat& format);

// True when `path` ends in ".png" or ".svg" (what writeCharts can write).
bool isPlotFileName(const std::string& path);

// Draws the charts, stacked from top to bottom, as a PNG or an SVG document
// into `out`. ErrorKind::Invalid when there is nothing to draw, Io (cairo's
// text) when drawing or writing fails.
Status writeCharts(std::ostream& out, PlotFormat format, const std::vector<Chart>& charts);

// Writes the charts to `path`; the format follows the extension. The
// failure's message names the path: Unsupported for any other extension,
// Io (with the errno as its code, when there is one) for the writing.
Status writeCharts(const std::string& path, const std::vector<Chart>& charts);

}  // namespace kestrel::tool
