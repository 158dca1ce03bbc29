// SPDX-License-Identifier: Apache-2.0
// The last gain tables made on a thread, each kept with the curve it was made
// from. A layer's record stays the same for a whole scene, so frame after
// frame the adaptation gives the same curve and selection would reduce it to
// the same points again; a frame of several HDR10+ layers (or one layer for
// several displays) asks for one table per layer in turn, so a few are kept,
// not one. The table is a function of the adapted curve's knee
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

// Up to kEntries tables with their keys, the oldest replaced first. Tables
// of more than kMaxPoints points are not kept.
class GainTableMemo {
public:
    static constexpr unsigned kMaxPoints = kTonePoints;
    // More than a host composes HDR10+ layers in one frame, and small enough
    // that a miss costs a few key comparisons (about 2.5 KB a thread).
    static constexpr unsigned kEntries = 8;

    constexpr GainTableMemo() = default;

    // Writes the table kept for key into x and y (the same entries its
    // making wrote) and returns true; false, writing nothing, when no table
    // is kept for key.
    bool recall(const GainCurveKey& key, unsigned* x, unsigned* y) const;
    // Keeps the first `written` entries of x and y as the table of key, in
    // place of the oldest kept table once all entries are used; a table
    // larger than kMaxPoints is not kept. Called only after recall missed,
    // so a key is never kept twice.
    void keep(const GainCurveKey& key, const unsigned* x, const unsigned* y, unsigned written);

    // The calling thread's memo: tables made on one thread never reach another.
    static GainTableMemo& ofThisThread();

private:
    struct Entry {
        GainCurveKey key;
        unsigned written = 0;
        unsigned x[kMaxPoints] = {};
        unsigned y[kMaxPoints] = {};
    };
    unsigned mUsed = 0;  // entries holding a table, filled from the first
    unsigned mNext = 0;  // the entry the next kept table goes to
    Entry mEntries[kEntries] = {};
};

}  // namespace kestrel
