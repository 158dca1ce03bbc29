// SPDX-License-Identifier: Apache-2.0
// The HDR10+ payload path a host runs once per frame and layer: parse the
// T.35 payload and project it onto the record. A film has a payload per
// picture, so this bounds the metadata cost of extraction and playback.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "hdr10plus/payload.h"
#include "hdr10plus/record.h"

namespace {

using namespace kestrel::hdr10plus;

// A real payload: one window, nine distribution entries, nine anchors.
const std::vector<uint8_t> kPayload = {
    0xb5, 0x00, 0x3c, 0x00, 0x01, 0x04, 0x01, 0x40, 0x00, 0x0c, 0x80, 0x3c, 0xb0, 0x19, 0xbd, 0x0d,
    0x80, 0x00, 0x41, 0xe4, 0x08, 0x00, 0x00, 0x28, 0x5f, 0x00, 0x50, 0x01, 0x70, 0xc8, 0x00, 0x05,
    0x90, 0x00, 0x12, 0x58, 0x01, 0xae, 0xd0, 0x0b, 0x5a, 0xf8, 0x1b, 0xe3, 0x18, 0x5b, 0x4c, 0x00,
    0x42, 0x90, 0x3c, 0x24, 0x8f, 0x4a, 0x9b, 0xf9, 0x42, 0xdb, 0xd8, 0x37, 0xbe, 0x57, 0xaa, 0x00};

void BM_Hdr10PlusPayloadToRecord(benchmark::State& state) {
    for (auto _ : state) {
        kestrel::Result<Frame> r = parsePayload(kPayload.data(), kPayload.size());
        _VelmorHdrDynamicInfo record = toRecord(*r);
        benchmark::DoNotOptimize(record);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPayload.size()));
}
BENCHMARK(BM_Hdr10PlusPayloadToRecord);

void BM_Hdr10PlusWritePayload(benchmark::State& state) {
    const Frame frame = *parsePayload(kPayload.data(), kPayload.size());
    for (auto _ : state) {
        kestrel::Result<std::vector<uint8_t>> w = writePayload(frame);
        benchmark::DoNotOptimize(w->data());
    }
}
BENCHMARK(BM_Hdr10PlusWritePayload);

}  // namespace
