// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes as an HEVC Annex B stream through the splitter and the
// picture sequencer, fed in two chunks split at a point the input chooses.
//
// Input: one byte choosing the split point (as a fraction of the rest), then
// the stream.
//
// Invariants:
//  - nothing reads outside the input (the sanitizers watch);
//  - the result does not depend on where the chunks split: fed whole, the
//    same pictures come out in the same order with the same payloads, and
//    the same error at the same offset;
//  - every picture is handed on once, and every payload in effect starts
//    with the HDR10+ T.35 header;
//  - an error's offset lies inside the input.
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "hevc/annexb.h"
#include "hevc/display_order.h"
#include "hevc/sei.h"

namespace {

struct Outcome {
    std::vector<uint64_t> decodeOrder;
    std::vector<std::vector<uint8_t>> payloads;
    bool failed = false;
    uint64_t errorOffset = 0;
    std::string error;
};

Outcome run(const uint8_t* data, size_t size, size_t split) {
    Outcome outcome;
    kestrel::hevc::PictureSequencer sequencer([&](kestrel::hevc::Picture&& p) {
        outcome.decodeOrder.push_back(p.decodeIndex);
        outcome.payloads.push_back(p.hdr10plus ? p.hdr10plus->bytes : std::vector<uint8_t>());
    });
    kestrel::hevc::AnnexBSplitter splitter(
        [&](const kestrel::hevc::NalUnit& unit) { return sequencer.push(unit); });
    if (splitter.feed(data, split) && splitter.feed(data + split, size - split)) splitter.finish();
    sequencer.finish();
    if (!sequencer.error().ok()) {
        outcome.failed = true;
        outcome.errorOffset = sequencer.error().where().byteOffset.value_or(0);
        outcome.error = sequencer.error().message();
    }
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t rest = size - 1;
    size_t split = rest * data[0] / 255;
    const uint8_t* stream = data + 1;

    Outcome chunked = run(stream, rest, split);
    Outcome whole = run(stream, rest, rest);
    FUZZ_CHECK(chunked.decodeOrder == whole.decodeOrder);
    FUZZ_CHECK(chunked.payloads == whole.payloads);
    FUZZ_CHECK(chunked.failed == whole.failed);
    FUZZ_CHECK(chunked.errorOffset == whole.errorOffset);
    FUZZ_CHECK(chunked.error == whole.error);

    std::set<uint64_t> seen(whole.decodeOrder.begin(), whole.decodeOrder.end());
    FUZZ_CHECK(seen.size() == whole.decodeOrder.size());
    for (const std::vector<uint8_t>& payload : whole.payloads)
        FUZZ_CHECK(payload.empty() ||
                   kestrel::hevc::isHdr10PlusT35(payload.data(), payload.size()));
    if (whole.failed) FUZZ_CHECK(whole.errorOffset < rest);
    return 0;
}
