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
    if (!mKept || !(key == mKey)) return false;
    std::memcpy(x, mX, mWritten * sizeof(unsigned));
    std::memcpy(y, mY, mWritten * sizeof(unsigned));
    return true;
}

void GainTableMemo::keep(const GainCurveKey& key, const unsigned* x, const unsigned* y,
                         unsigned written) {
    mKept = written <= kMaxPoints;
    if (!mKept) return;
    mKey = key;
    mWritten = written;
    std::memcpy(mX, x, written * sizeof(unsigned));
    std::memcpy(mY, y, written * sizeof(unsigned));
}

namespace {
// Constant-initialised and trivially destructible: no guard on first use and
// nothing registered to run at a thread's exit.
thread_local GainTableMemo tMemo;
}  // namespace

GainTableMemo& GainTableMemo::ofThisThread() { return tMemo; }

}  // namespace kestrel
