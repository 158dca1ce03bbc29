// SPDX-License-Identifier: Apache-2.0
#include "dtm/meta2lut.h"

#include <cstdint>
#include <cstring>

#include "common/diagnostics.h"
#include "dtm/adapted_tone_table.h"
#include "dtm/curve_samplers.h"
#include "dtm/gain_table_memo.h"
#include "dtm/knee_point_extractor.h"
#include "metadata/tone_curve_adaptation.h"

namespace {

// Reduces the curve to at most max(count, 2) points and writes them, the last
// entry as the width and rise of the last segment; returns how many entries
// were written.
size_t writeKneePoints(const curveData& curve, unsigned int count, unsigned int* lutX,
                       unsigned int* lutY) {
    kneePointExtractor extractor(curve);
    // count - 2 taken as a signed int: counts 0 and 1 (and 2^31 + 2 and up)
    // select nothing and leave the two end points. The points go straight
    // into the caller's arrays, in abscissa order.
    // Usually count points; fewer when every interval was used up first.
    const size_t w = extractor.select_into(static_cast<int32_t>(count - 2u), lutX, lutY);
    lutX[w - 1] -= lutX[w - 2];
    lutY[w - 1] -= lutY[w - 2];
    return w;
}

}  // namespace

namespace kestrel {

void adaptAndTabulate(unsigned target_max_luminance, unsigned max_luminance,
                      _VelmorHdrDynamicInfo& working, unsigned int* lutX, unsigned int* lutY,
                      unsigned int count) {
    diag::printMeta2LutCopy(&working);
    meta2meta(target_max_luminance, max_luminance, working);
    // The adaptation and its lines run every time; the points are chosen
    // again only when no table kept on this thread was made for the same
    // adapted curve and size.
    const GainCurveKey key(working, count);
    GainTableMemo& memo = GainTableMemo::ofThisThread();
    if (memo.recall(key, lutX, lutY)) return;
    const OETFCurveData curve(working);
    const size_t written = writeKneePoints(curve, count, lutX, lutY);
    memo.keep(key, lutX, lutY, static_cast<unsigned>(written));
}

}  // namespace kestrel

void meta2lut_dtm(unsigned int target_max_luminance, unsigned int max_luminance, void* meta,
                  unsigned int* lutX, unsigned int* lutY, unsigned int count) {
    if (meta == nullptr || lutX == nullptr || lutY == nullptr) return;
    try {
        // The adaptation rewrites the curve in place; the host's record stays as it was.
        _VelmorHdrDynamicInfo copy;
        std::memcpy(&copy, meta, sizeof(copy));
        kestrel::adaptAndTabulate(target_max_luminance, max_luminance, copy, lutX, lutY, count);
    } catch (...) {
        // Only a table far beyond the hardware's size allocates; without the
        // memory for it the caller's arrays are left unwritten. Nothing
        // crosses back into the host.
    }
}

void meta2lut_eotf(unsigned int peakLuminance, void* meta, unsigned int* lutX, unsigned int* lutY,
                   unsigned int count) {
    if (meta == nullptr || lutX == nullptr || lutY == nullptr) return;
    try {
        _VelmorHdrDynamicInfo record;
        std::memcpy(&record, meta, sizeof(record));
        const EOTFCurveData curve(record, peakLuminance);
        writeKneePoints(curve, count, lutX, lutY);
    } catch (...) {
    }
}
