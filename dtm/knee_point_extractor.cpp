#include "dtm/knee_point_extractor.h"

#include <algorithm>

#include "common/numeric.h"

namespace kestrel {
int32_t splitPoint(int32_t a, int32_t b) {
    // Right shift of a negative int32 is arithmetic with every compiler we
    // build with (and guaranteed from C++20).
    return wrapAdd(a, b) >> 1;
}
}  // namespace kestrel

Node::Node(int32_t x0_, int32_t y0_, int32_t x1_, int32_t y1_, int32_t y_)
    : x0(x0_), y0(y0_), x1(x1_), y1(y1_), x(kestrel::splitPoint(x0_, x1_)), y(y_) {
    const int32_t miss = kestrel::wrapSub(y, kestrel::splitPoint(y0, y1));
    // |miss| in two's complement: the magnitude of INT32_MIN stays INT32_MIN.
    error = miss < 0 ? kestrel::wrapSub(0, miss) : miss;
}

bool compare(Node const& a, Node const& b) { return a.x < b.x; }

kneePointExtractor::kneePointExtractor(const curveData& curveIn) : curve(curveIn) {
    const int32_t xMax = curve.xMax;
    const int32_t yStart = curve.getY(0);
    nodes.push_back(Node(0, yStart, 0, yStart, yStart));
    const int32_t yEnd = curve.getY(xMax);
    nodes.push_back(Node(xMax, yEnd, xMax, yEnd, yEnd));
    const int32_t yMid = curve.getY(kestrel::splitPoint(0, xMax));
    candidates.push_back(Node(0, yStart, xMax, yEnd, yMid));
}

void kneePointExtractor::select_from_candidate(int n) {
    for (int i = 0; i < n && !candidates.empty(); i++) {
        // The largest miss; on a tie the oldest candidate wins.
        size_t best = 0;
        for (size_t k = 1; k < candidates.size(); k++) {
            if (candidates[k].error > candidates[best].error) best = k;
        }
        const Node chosen = candidates[best];
        candidates.erase(best);
        nodes.push_back(chosen);

        // An interval narrower than 3 has no inner point left that its halves
        // could add, so it is used up.
        if (kestrel::wrapSub(chosen.x1, chosen.x0) >= 3) {
            const int32_t yLeft = curve.getY(kestrel::splitPoint(chosen.x0, chosen.x));
            candidates.push_back(Node(chosen.x0, chosen.y0, chosen.x, chosen.y, yLeft));
            const int32_t yRight = curve.getY(kestrel::splitPoint(chosen.x, chosen.x1));
            candidates.push_back(Node(chosen.x, chosen.y, chosen.x1, chosen.y1, yRight));
        }
    }
    std::sort(nodes.begin(), nodes.end(), compare);
}
