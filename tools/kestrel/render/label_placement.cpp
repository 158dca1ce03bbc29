// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/label_placement.h"

#include <algorithm>

namespace kestrel::tool {

namespace {

constexpr double kGap = 8;  // between a point and its label
constexpr int kSteps = 12;  // box heights tried above and below

bool inside(const Box& box, const Box& area) {
    return box.left >= area.left && box.right <= area.right && box.top >= area.top &&
           box.bottom <= area.bottom;
}

bool crossesAnyLine(const Box& box,
                    const std::vector<std::vector<std::pair<double, double>>>& lines) {
    for (const auto& line : lines) {
        for (size_t i = 1; i < line.size(); i++)
            if (segmentCrossesBox(line[i - 1], line[i], box)) return true;
    }
    return false;
}

}  // namespace

bool boxesOverlap(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Liang-Barsky: the part of the segment a + t (b - a), t in [0, 1], inside
// the box; it crosses when that part is not empty.
bool segmentCrossesBox(std::pair<double, double> a, std::pair<double, double> b, const Box& box) {
    const double dx = b.first - a.first;
    const double dy = b.second - a.second;
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.first - box.left, box.right - a.first, a.second - box.top,
                         box.bottom - a.second};
    for (int i = 0; i < 4; i++) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;  // parallel to this edge and outside it
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) return false;
    }
    return true;
}

std::vector<Box> placeLabels(const std::vector<LabelRequest>& labels, const Box& area,
                             const std::vector<std::vector<std::pair<double, double>>>& lines) {
    std::vector<Box> placed;
    for (const LabelRequest& l : labels) {
        const bool flip = l.x + kGap + l.width > area.right;
        const double left = flip ? l.x - kGap - l.width : l.x + kGap;
        auto boxAt = [&](double top) { return Box{left, top, left + l.width, top + l.height}; };
        std::vector<Box> candidates;
        const double step = l.height + 2;
        for (int k = 0; k <= kSteps; k++) {
            candidates.push_back(boxAt(l.y - kGap / 2 - l.height - k * step));  // above
            candidates.push_back(boxAt(l.y + kGap / 2 + k * step));             // below
        }
        auto clearOfLabels = [&](const Box& box) {
            return std::none_of(placed.begin(), placed.end(),
                                [&](const Box& other) { return boxesOverlap(box, other); });
        };
        const Box* chosen = nullptr;
        for (const Box& box : candidates) {
            if (inside(box, area) && clearOfLabels(box) && !crossesAnyLine(box, lines)) {
                chosen = &box;
                break;
            }
        }
        for (size_t i = 0; chosen == nullptr && i < candidates.size(); i++) {
            if (inside(candidates[i], area) && clearOfLabels(candidates[i]))
                chosen = &candidates[i];
        }
        placed.push_back(chosen != nullptr ? *chosen : candidates.front());
    }
    return placed;
}

}  // namespace kestrel::tool
