// SPDX-License-Identifier: Apache-2.0
// The diagnostic lines of one HDR10+ layer's frame on their own: the 66
// tone-register lines and the 17 lines of the curve after adaptation, with
// the values of a real scene's table, standard output to /dev/null. The
// frame cases include them; these say what they cost by themselves.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "common/diagnostics.h"
#include "frame_fixtures.h"

namespace {

// The table of sceneRecord(1) adapted from 4000 to 600 cd/m²: abscissae from
// 0 to 2^27 (one to nine digits), gains of seven digits, and the last
// segment's fall stored as a negative number.
constexpr unsigned int kSceneLutX[33] = {
    0,        1,        2,        4,        8,        16,       32,        64,       128,
    256,      512,      1024,     2048,     4096,     8192,     16384,     32768,    65536,
    131072,   262144,   524288,   1048576,  2097152,  4194304,  6291456,   8388608,  16777216,
    25165824, 33554432, 50331648, 67108864, 100663296, 33554432};
constexpr unsigned int kSceneLutY[33] = {
    0,       4391937, 4391937, 4391937, 4391937, 4391937, 4391937, 4391937, 4391937,
    4391937, 4391937, 4391937, 4391937, 4391937, 4391937, 4391937, 4391937, 4391937,
    4391937, 4391937, 4391937, 4391937, 4391937, 4391937, 4391758, 4314536, 3682163,
    3129629, 2717114, 2160775, 1795600, 1334403, static_cast<unsigned int>(-285828)};

void BM_Lines_ToneRegisters(benchmark::State& state) {
    quality::SilenceOutput quiet(true);
    for (auto _ : state) kestrel::diag::printToneRegisters(kSceneLutX, kSceneLutY, 33);
}
BENCHMARK(BM_Lines_ToneRegisters)->Unit(benchmark::kNanosecond);

void BM_Lines_CurveAfterAdaptation(benchmark::State& state) {
    quality::SilenceOutput quiet(true);
    const uint16_t anchors[15] = {504, 562, 737, 822, 875, 921, 960, 994, 1012, 0, 0, 0, 0, 0, 0};
    for (auto _ : state) kestrel::diag::printCurveAfterAdaptation(191, 800, 9, anchors);
}
BENCHMARK(BM_Lines_CurveAfterAdaptation)->Unit(benchmark::kNanosecond);

}  // namespace
