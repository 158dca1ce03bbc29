// Line charts written as PNG or SVG with cairo: linear or logarithmic axes,
// an optional second y axis on the right, a legend and notes. Several charts
// in one file are stacked from top to bottom.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::tool {

struct Color {
    double r, g, b;
};

struct Series {
    std::string label;
    std::vector<std::pair<double, double>> points;
    Color color{0, 0, 0};
    double width = 2.0;
    bool dashed = false;
    bool line = true;      // join the points
    bool markers = false;  // draw a dot on every point
    bool rightAxis = false;
};

struct Axis {
    std::string label;
    double min = 0;
    double max = 1;
    bool log = false;
};

struct Chart {
    std::string title;
    Axis x;
    Axis y;
    Axis yRight;
    bool hasRightAxis = false;
    std::vector<Series> series;
    std::vector<std::string> notes;  // lines under the title
};

// The colours the tool uses, in order of importance.
Color paletteColor(size_t i);

enum class PlotFormat { Png, Svg };

// The format a file name asks for: ".png" or ".svg" at its end.
bool plotFormatOf(const std::string& path, PlotFormat& format);

// True when `path` ends in ".png" or ".svg" (what writeCharts can write).
bool isPlotFileName(const std::string& path);

// Draws the charts, stacked from top to bottom, as a PNG or an SVG document
// into `out`. False with `error` when drawing fails or there is nothing to draw.
bool writeCharts(std::ostream& out, PlotFormat format, const std::vector<Chart>& charts,
                 std::string& error);

// Writes the charts to `path`; the format follows the extension. False with
// `error` (naming the path) when the name or the writing fails.
bool writeCharts(const std::string& path, const std::vector<Chart>& charts, std::string& error);

}  // namespace kestrel::tool
