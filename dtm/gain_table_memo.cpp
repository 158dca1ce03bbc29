// SPDX-License-Identifier: Apache-2.0
#include "dtm/gain_table_memo.h"

#include <algorithm>
#include <cstring>

namespace kestrel {

GainCurveKey::GainCurveKey(const _VelmorHdrDynamicInfo& adapted, unsigned pointCount)
    : kneeX(adapted.knee_point_x),
      kneeY(adapted.knee_point_y),
      anchorCount(static_cast<uint16_t>(
          std::min<unsigned>(adapted.num_bezier_curve_anchors, kMaxBezierAnchors))),
      points(pointCount) {
    std::copy(adapted.bezier_curve_anchors, adapted.bezier_curve_anchors + anchorCount, anchors);
}

bool GainCurveKey::operator==(const GainCurveKey& other) const {
    return kneeX == other.kneeX && kneeY == other.kneeY && anchorCount == other.anchorCount &&
           points == other.points &&
           std::equal(anchors, anchors + kMaxBezierAnchors, other.anchors);
}

bool GainTableMemo::recall(const GainCurveKey& key, unsigned* x, unsigned* y) const {
    for (unsigned i = 0; i < mUsed; i++) {
        const Entry& e = mEntries[i];
        if (!(key == e.key)) continue;
        std::memcpy(x, e.x, e.written * sizeof(unsigned));
        std::memcpy(y, e.y, e.written * sizeof(unsigned));
        return true;
    }
    return false;
}

void GainTableMemo::keep(const GainCurveKey& key, const unsigned* x, const unsigned* y,
                         unsigned written) {
    if (written > kMaxPoints) return;
    Entry& e = mEntries[mNext];
    e.key = key;
    e.written = written;
    std::memcpy(e.x, x, written * sizeof(unsigned));
    std::memcpy(e.y, y, written * sizeof(unsigned));
    mNext = (mNext + 1) % kEntries;
    if (mUsed < kEntries) mUsed++;
}

namespace {
// Constant-initialised and trivially destructible: no guard on first use and
// nothing registered to run at a thread's exit.
thread_local GainTableMemo tMemo;
}  // namespace

GainTableMemo& GainTableMemo::ofThisThread() { return tMemo; }

}  // namespace kestrel
