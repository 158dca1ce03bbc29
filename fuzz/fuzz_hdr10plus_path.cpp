// SPDX-License-Identifier: Apache-2.0
// Arbitrary HDR10+ records and target peaks through the whole dynamic path:
// meta2meta, meta2lut_dtm, meta2lut_eotf and a frame through getParams().
//
// Input: 312 record bytes, then target peak, layer peak and EOTF peak (u32
// each) and a count selector (u8); missing bytes read as zero.
//
// Invariants:
//  - the host's record is byte-for-byte unchanged by every call;
//  - meta2meta writes nothing outside the tone-curve fields (bytes 272..309),
//    and gives a curve made for the target display (flag 1, target peak at
//    least 200 and equal to the targeted peak) back unchanged: every stored
//    knee (0..4095) and anchor (0..1023) survives the division and the
//    multiplication back exactly;
//  - a table writes at most max(count, 2) entries, starts at abscissa 0, its
//    abscissae never decrease, and its last entry (the last segment's width)
//    brings it exactly to the end of the input range (2^27 or 1024);
//  - getParams() converts the layer and its tone section holds exactly the
//    33-point table that meta2lut_dtm gives for the same inputs; getTM
//    copies that section and nothing else.
#include <cstdint>
#include <cstring>
#include <memory>

#include "dtm/meta2lut.h"
#include "frame_fixtures.h"
#include "fuzz_check.h"
#include "metadata/tone_curve_adaptation.h"
#include "plugin/IDPUHdr10CommandWriter.h"

namespace {

constexpr unsigned int kCanary = 0xDEADBEEF;
constexpr unsigned int kRoom = 48;

unsigned int countFrom(unsigned char selector) {
    // 2^31 + 2: count - 2 is negative as a signed int; exactly two entries.
    if (selector == 255) return 0x80000002u;
    return selector % 40;
}

// Checks one table and returns the number of entries written.
unsigned int checkTable(const unsigned int* lutX, const unsigned int* lutY, unsigned int count,
                        unsigned int xMax) {
    const unsigned int room = (count >= 2 && count < kRoom) ? count : 2;
    for (unsigned int i = room; i < kRoom; i++) {
        FUZZ_CHECK(lutX[i] == kCanary && lutY[i] == kCanary);
    }
    // Abscissae and widths are at most 2^27, so the canary marks the end.
    unsigned int w = 0;
    while (w < room && lutX[w] != kCanary) w++;
    FUZZ_CHECK(w >= 2);
    for (unsigned int i = w; i < room; i++) FUZZ_CHECK(lutX[i] == kCanary);
    FUZZ_CHECK(lutX[0] == 0);
    for (unsigned int i = 0; i + 2 < w; i++) FUZZ_CHECK(lutX[i] <= lutX[i + 1]);
    FUZZ_CHECK(lutX[w - 2] + lutX[w - 1] == xMax);
    return w;
}

// A record whose own curve is the answer, in the range where the record's
// fixed-point values round-trip exactly.
bool madeForTarget(const _VelmorHdrDynamicInfo& r, unsigned int targetPeak) {
    if (r.tone_mapping_flag != 1 || targetPeak < 200 ||
        targetPeak != r.targeted_system_display_maximum_luminance) {
        return false;
    }
    if (r.knee_point_x > kKneePointOne || r.knee_point_y > kKneePointOne ||
        r.num_bezier_curve_anchors > kMaxBezierAnchors) {
        return false;
    }
    for (unsigned i = 0; i < r.num_bezier_curve_anchors; i++) {
        if (r.bezier_curve_anchors[i] > kAnchorOne) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    _VelmorHdrDynamicInfo record;
    in.bytes(&record, sizeof record);
    const unsigned int targetPeak = in.u32();
    const unsigned int layerPeak = in.u32();
    const unsigned int eotfPeak = in.u32();
    const unsigned int count = countFrom(in.u8());
    _VelmorHdrDynamicInfo pristine;
    std::memcpy(&pristine, &record, sizeof record);

    // The adaptation alone, on a copy: only the curve fields may change.
    _VelmorHdrDynamicInfo adapted = record;
    meta2meta(targetPeak, layerPeak, adapted);
    const unsigned char* before = reinterpret_cast<const unsigned char*>(&record);
    const unsigned char* after = reinterpret_cast<const unsigned char*>(&adapted);
    FUZZ_CHECK(std::memcmp(before, after, 272) == 0);
    FUZZ_CHECK(std::memcmp(before + 310, after + 310, 2) == 0);
    if (madeForTarget(record, targetPeak)) {
        FUZZ_CHECK(adapted.tone_mapping_flag == 1);
        FUZZ_CHECK(adapted.knee_point_x == record.knee_point_x);
        FUZZ_CHECK(adapted.knee_point_y == record.knee_point_y);
        FUZZ_CHECK(adapted.num_bezier_curve_anchors == record.num_bezier_curve_anchors);
        for (unsigned i = 0; i < record.num_bezier_curve_anchors; i++) {
            FUZZ_CHECK(adapted.bezier_curve_anchors[i] == record.bezier_curve_anchors[i]);
        }
    }

    unsigned int lutX[kRoom];
    unsigned int lutY[kRoom];
    for (unsigned int i = 0; i < kRoom; i++) lutX[i] = lutY[i] = kCanary;
    meta2lut_dtm(targetPeak, layerPeak, &record, lutX, lutY, count);
    FUZZ_CHECK(std::memcmp(&record, &pristine, sizeof record) == 0);
    checkTable(lutX, lutY, count, static_cast<unsigned>(kToneTableInputOne));

    for (unsigned int i = 0; i < kRoom; i++) lutX[i] = lutY[i] = kCanary;
    meta2lut_eotf(eotfPeak, &record, lutX, lutY, count);
    FUZZ_CHECK(std::memcmp(&record, &pristine, sizeof record) == 0);
    checkTable(lutX, lutY, count, 1024u);

    // The table a frame must carry: what the writer asks for, 33 points,
    // into zeroed arrays.
    unsigned int toneX[33] = {};
    unsigned int toneY[33] = {};
    meta2lut_dtm(targetPeak, layerPeak, &record, toneX, toneY, 33);

    std::unique_ptr<IDPUHdr10CommandWriter> writer(IDPUHdr10CommandWriter::createInstance());
    FUZZ_CHECK(writer != nullptr);
    writer->setTargetDisplayLuminance(0, targetPeak);
    FUZZ_CHECK(writer->setLayerOpaqueData(0, &record, sizeof record));
    writer->setLayerStaticMetadata(0, static_cast<int>(quality::kPqBt2020), 0, layerPeak);
    writer->setLayerStaticMetadata(1, static_cast<int>(quality::kSrgbBt709), 0, 100);
    hdrCoef* block = writer->getParams();
    FUZZ_CHECK(block != nullptr);
    FUZZ_CHECK(std::memcmp(&record, &pristine, sizeof record) == 0);
    FUZZ_CHECK(std::memcmp(block->toneX, toneX, sizeof toneX) == 0);
    FUZZ_CHECK(std::memcmp(block->toneY, toneY, sizeof toneY) == 0);

    unsigned char host[sizeof(hdrCoef)];
    std::memset(host, 0xA5, sizeof host);
    writer->getTM(reinterpret_cast<hdrCoef*>(host));
    for (size_t i = 0; i < sizeof host; i++) {
        if (i >= 1124 && i < 1388) continue;
        FUZZ_CHECK(host[i] == 0xA5);
    }
    FUZZ_CHECK(std::memcmp(host + 1124, block->toneX, 264) == 0);
    return 0;
}
