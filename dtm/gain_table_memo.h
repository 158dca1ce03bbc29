// SPDX-License-Identifier: Apache-2.0
// The last gain table made on a thread, kept with the curve it was made from.
// A layer's record stays the same for a whole scene, so frame after frame
// the adaptation gives the same curve and selection would reduce it to the
// same points again. The table is a function of the adapted curve's knee
// point, its anchors and the number of points alone (the gain sampler reads
// nothing else of the record, and selection reads nothing but the sampler),
// so the table recalled for an equal key is the one selection would make.
#pragma once

#include <cstdint>

#include "metadata/VelmorHdrDynamicInfo.h"
#include "plugin/hdrCoef.h"

namespace kestrel {

// What a gain table depends on: the knee point, the anchor count clamped as
// the sampler clamps it, the anchors it reads (those past the count are
// zero here, whatever the record holds there), and the number of points.
struct GainCurveKey {
    uint16_t kneeX = 0;
    uint16_t kneeY = 0;
    uint16_t anchorCount = 0;
    uint16_t anchors[kMaxBezierAnchors] = {};
    uint32_t points = 0;

    constexpr GainCurveKey() = default;
    GainCurveKey(const _VelmorHdrDynamicInfo& adapted, unsigned points);
    bool operator==(const GainCurveKey& other) const;
};

// One table and its key. Tables of more than kMaxPoints points are not kept.
class GainTableMemo {
public:
    static constexpr unsigned kMaxPoints = kTonePoints;

    constexpr GainTableMemo() = default;

    // Writes the table kept for key into x and y (the same entries its
    // making wrote) and returns true; false, writing nothing, for any other
    // key or when nothing is kept.
    bool recall(const GainCurveKey& key, unsigned* x, unsigned* y) const;
    // Keeps the first `written` entries of x and y as the table of key; a
    // table larger than kMaxPoints drops what was kept instead.
    void keep(const GainCurveKey& key, const unsigned* x, const unsigned* y, unsigned written);

    // The calling thread's memo: tables made on one thread never reach another.
    static GainTableMemo& ofThisThread();

private:
    bool mKept = false;
    GainCurveKey mKey;
    unsigned mWritten = 0;
    unsigned mX[kMaxPoints] = {};
    unsigned mY[kMaxPoints] = {};
};

}  // namespace kestrel
