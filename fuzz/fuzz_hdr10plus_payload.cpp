// SPDX-License-Identifier: Apache-2.0
// The HDR10+ T.35 payload parser on arbitrary bytes, read both with and
// without the country code. Invariants:
//  - nothing is read outside the buffer (the address sanitizer watches);
//  - a refusal names an element and a bit offset inside the buffer;
//  - an accepted payload gives a frame that passes checkFrame, writes back
//    to exactly the same bytes, and parses again to the same frame;
//  - its record keeps the plug-in's invariants (counts, knee, anchors).
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "hdr10plus/payload.h"
#include "hdr10plus/record.h"

namespace {

using namespace kestrel::hdr10plus;

void check(const uint8_t* data, size_t size, CountryCode start) {
    // A copy of exactly `size` bytes, so that a read one past it is caught.
    const std::vector<uint8_t> buffer(data, data + size);
    const kestrel::Result<Frame> r = parsePayload(buffer.data(), buffer.size(), start);
    if (!r.ok()) {
        const kestrel::Location& where = r.status().where();
        FUZZ_CHECK(!where.key.empty());
        FUZZ_CHECK(where.bitOffset && *where.bitOffset <= size * 8);
        FUZZ_CHECK(where.byteOffset == *where.bitOffset / 8);
        FUZZ_CHECK(r.status().message().size() > where.key.size());
        return;
    }
    FUZZ_CHECK(checkFrame(*r).ok());
    const kestrel::Result<std::vector<uint8_t>> w = writePayload(*r, start);
    FUZZ_CHECK(w.ok());
    FUZZ_CHECK(*w == buffer);
    const kestrel::Result<Frame> again = parsePayload(w->data(), w->size(), start);
    FUZZ_CHECK(again.ok() && *again == *r);

    const _VelmorHdrDynamicInfo record = toRecord(*r);
    FUZZ_CHECK(record.num_distribution_maxrgb_percentiles <= kMaxDistributionEntries);
    FUZZ_CHECK(record.num_bezier_curve_anchors <= kMaxBezierAnchors);
    FUZZ_CHECK(record.knee_point_x <= kKneePointOne && record.knee_point_y <= kKneePointOne);
    for (unsigned i = 0; i < record.num_bezier_curve_anchors; i++) {
        FUZZ_CHECK(record.bezier_curve_anchors[i] <= kAnchorOne);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check(data, size, CountryCode::Included);
    check(data, size, CountryCode::Omitted);
    return 0;
}
