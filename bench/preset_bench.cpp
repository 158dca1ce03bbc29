// SPDX-License-Identifier: Apache-2.0
// The preset store: loading the largest example preset, and each lookup the
// conversion writer makes per static layer per frame.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "bench_support.h"
#include "frame_fixtures.h"
#include "plugin/global_store.h"

namespace {

void BM_Hdr10Lut_LoadLargestExamplePreset(benchmark::State& state) {
    const std::string path = bench::largestExamplePresetPath();
    if (path.empty()) {
        state.SkipWithError("no preset under examples/presets");
        return;
    }
    quality::SilenceOutput quiet(true);
    for (auto _ : state) {
        Hdr10Lut store;  // construction (its log line and dumps) is not timed
        auto start = std::chrono::steady_clock::now();
        bool ok = store.load(path.c_str());
        auto end = std::chrono::steady_clock::now();
        if (!ok) {
            state.SkipWithError("load failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.SetLabel(path.substr(path.find_last_of('/') + 1));
}
BENCHMARK(BM_Hdr10Lut_LoadLargestExamplePreset)->UseManualTime()->Unit(benchmark::kMicrosecond);

bool prepareStore(benchmark::State& state) {
    quality::SilenceOutput quiet(true);
    std::string why;
    if (bench::loadExamplePresetIntoGlobalStore(&why)) return true;
    state.SkipWithError(why.c_str());
    return false;
}

void BM_Hdr10Lut_GetEotf(benchmark::State& state) {
    if (!prepareStore(state)) return;
    if (gHdr10Lut.getEotf(quality::kPqBt2020, 4000) == gHdr10Lut.eotfNoMatch()) {
        state.SkipWithError("the example preset has no PQ EOTF");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(gHdr10Lut.getEotf(quality::kPqBt2020, 4000));
    }
}
BENCHMARK(BM_Hdr10Lut_GetEotf);

void BM_Hdr10Lut_GetOetfRoot(benchmark::State& state) {
    if (!prepareStore(state)) return;
    if (gHdr10Lut.getOetfRoot(quality::kSrgbBt709, 500) == gHdr10Lut.oetfNoMatch()) {
        state.SkipWithError("the example preset has no sRGB OETF");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(gHdr10Lut.getOetfRoot(quality::kSrgbBt709, 500));
    }
}
BENCHMARK(BM_Hdr10Lut_GetOetfRoot);

void BM_Hdr10Lut_GetOetf(benchmark::State& state) {
    if (!prepareStore(state)) return;
    Hdr10Lut::OetfRootPosition root = gHdr10Lut.getOetfRoot(quality::kSrgbBt709, 500);
    if (root == gHdr10Lut.oetfNoMatch()) {
        state.SkipWithError("the example preset has no sRGB OETF");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(gHdr10Lut.getOetf(root, 4000));
    }
}
BENCHMARK(BM_Hdr10Lut_GetOetf);

void BM_Hdr10Lut_GetGamutMapping(benchmark::State& state) {
    if (!prepareStore(state)) return;
    if (gHdr10Lut.getGamutMapping(quality::kPqBt2020, quality::kSrgbBt709) ==
        gHdr10Lut.gamutNoMatch()) {
        state.SkipWithError("the example preset has no bt2020 -> bt709 matrix");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            gHdr10Lut.getGamutMapping(quality::kPqBt2020, quality::kSrgbBt709));
    }
}
BENCHMARK(BM_Hdr10Lut_GetGamutMapping);

}  // namespace
