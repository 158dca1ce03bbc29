// SPDX-License-Identifier: Apache-2.0
// getParams() as the host calls it on every frame. The setters of a frame
// run outside the timed span (manual timing), so each case measures the
// conversion alone. Standard output and the log go to /dev/null, as on a
// device where nobody reads them; the "PipeDrained" cases send standard
// output into a pipe that another thread reads, as a host with a log reader.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "frame_fixtures.h"
#include "pipe_output.h"
#include "plugin/IDPUHdr10CommandWriter.h"

namespace {

struct Layer {
    int index;
    uint32_t dataspace;
    uint32_t maxLuminance;
    _VelmorHdrDynamicInfo* record;
};

enum class Stdout { kDevNull, kDrainedPipe };

void runFrames(benchmark::State& state, const std::vector<Layer>& layers, uint32_t targetPeak,
               Stdout output = Stdout::kDevNull) {
    quality::SilenceOutput quiet(true);
    std::unique_ptr<bench::PipeDrainedStdout> pipe;
    if (output == Stdout::kDrainedPipe) {
        pipe = std::make_unique<bench::PipeDrainedStdout>();
        if (!pipe->active()) {
            state.SkipWithError("cannot point standard output at a pipe");
            return;
        }
    }
    std::unique_ptr<IDPUHdr10CommandWriter> writer(IDPUHdr10CommandWriter::createInstance());
    writer->setTargetInfo(static_cast<int>(quality::kSrgbBt709), nullptr);
    writer->setTargetDisplayLuminance(0, targetPeak);
    for (const Layer& l : layers) {
        if (l.record != nullptr) writer->setLayerOpaqueData(l.index, l.record, 312);
    }
    for (auto _ : state) {
        for (const Layer& l : layers) {
            writer->setLayerStaticMetadata(l.index, static_cast<int>(l.dataspace), 0,
                                           l.maxLuminance);
        }
        auto start = std::chrono::steady_clock::now();
        hdrCoef* block = writer->getParams();
        auto end = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(block);
        if (block == nullptr) {
            state.SkipWithError("getParams() returned null");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}

void BM_GetParams_OneHdr10PlusLayer(benchmark::State& state) {
    _VelmorHdrDynamicInfo record = quality::sceneRecord(1);
    runFrames(state, {{0, quality::kPqBt2020, 4000, &record}}, 600);
}
BENCHMARK(BM_GetParams_OneHdr10PlusLayer)->UseManualTime()->Unit(benchmark::kMicrosecond);

void fourHdr10PlusLayers(benchmark::State& state, Stdout output) {
    // Guided OOTF (flag 1, nine and three anchors) and Basis OOTF (flag 0).
    _VelmorHdrDynamicInfo given = quality::sceneRecord(1);
    _VelmorHdrDynamicInfo generated = quality::sceneRecord(0);
    _VelmorHdrDynamicInfo dim = quality::dimSceneRecord();
    _VelmorHdrDynamicInfo second = quality::sceneRecord(1);
    runFrames(state,
              {{0, quality::kPqBt2020, 4000, &given},
               {1, quality::kPqBt2020, 4000, &generated},
               {2, quality::kPqBt2020, 1000, &dim},
               {3, quality::kPqBt2020, 4000, &second}},
              600, output);
}

void BM_GetParams_FourHdr10PlusLayers(benchmark::State& state) {
    fourHdr10PlusLayers(state, Stdout::kDevNull);
}
BENCHMARK(BM_GetParams_FourHdr10PlusLayers)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_GetParams_OneHdr10PlusLayer_PipeDrained(benchmark::State& state) {
    _VelmorHdrDynamicInfo record = quality::sceneRecord(1);
    runFrames(state, {{0, quality::kPqBt2020, 4000, &record}}, 600, Stdout::kDrainedPipe);
}
BENCHMARK(BM_GetParams_OneHdr10PlusLayer_PipeDrained)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_GetParams_FourHdr10PlusLayers_PipeDrained(benchmark::State& state) {
    fourHdr10PlusLayers(state, Stdout::kDrainedPipe);
}
BENCHMARK(BM_GetParams_FourHdr10PlusLayers_PipeDrained)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_GetParams_FourStaticHdr10Layers(benchmark::State& state) {
    std::string why;
    if (!bench::loadExamplePresetIntoGlobalStore(&why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    // Four different conversions with the example preset's tables: two PQ
    // mastering peaks, HLG, and a DCI-P3 source without a gamut matrix.
    const uint32_t pqP3 = quality::kStandardDciP3 | quality::kTransferPq | quality::kRangeFull;
    runFrames(state,
              {{0, quality::kPqBt2020, 1000, nullptr},
               {1, quality::kPqBt2020, 4000, nullptr},
               {2, quality::kHlgBt2020, 1000, nullptr},
               {3, pqP3, 1000, nullptr}},
              500);
}
BENCHMARK(BM_GetParams_FourStaticHdr10Layers)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_GetParams_SixteenPassThroughLayers(benchmark::State& state) {
    std::vector<Layer> layers;
    for (int i = 0; i < 16; i++) layers.push_back({i, quality::kSrgbBt709, 100, nullptr});
    runFrames(state, layers, 500);
}
BENCHMARK(BM_GetParams_SixteenPassThroughLayers)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
