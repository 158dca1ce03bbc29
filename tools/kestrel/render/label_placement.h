// SPDX-License-Identifier: Apache-2.0
// Where the labels of a chart go, in pixels: near their point, never over
// one another nor over a drawn line. Kept apart from cairo so that the
// geometry can be tested alone.
#pragma once

#include <utility>
#include <vector>

namespace kestrel::tool {

struct Box {
    double left, top, right, bottom;
};

bool boxesOverlap(const Box& a, const Box& b);
// Whether the segment from a to b passes through the box (ends inside count).
bool segmentCrossesBox(std::pair<double, double> a, std::pair<double, double> b, const Box& box);

struct LabelRequest {
    double x, y;           // the point labelled
    double width, height;  // of the text's box
};

// The box of each label, in order: the first of these places that stays
// inside `area`, clear of the labels placed before it and of every line of
// `lines` (polylines in pixels): upper right of the point (or upper left
// where the right runs out of room), then lower, then one box height further
// up, further down, and so on. A label with no clear place keeps the first
// place that is clear of the other labels, or else the upper one.
std::vector<Box> placeLabels(const std::vector<LabelRequest>& labels, const Box& area,
                             const std::vector<std::vector<std::pair<double, double>>>& lines);

}  // namespace kestrel::tool
