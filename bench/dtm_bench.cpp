// SPDX-License-Identifier: Apache-2.0
// The numerical entry points of one HDR10+ layer: the curve adaptation
// alone, and the two metadata-to-table functions at the 33 points the
// hardware takes.
#include <benchmark/benchmark.h>

#include <vector>

#include "dtm/curve_samplers.h"
#include "dtm/knee_point_extractor.h"
#include "dtm/meta2lut.h"
#include "frame_fixtures.h"
#include "metadata/tone_curve_adaptation.h"
#include "pipe_output.h"

namespace {

// One real scene's record adapted from 4000 to 600 cd/m² and reduced to 33
// points, wherever standard output currently goes.
void timeMeta2LutDtm(benchmark::State& state) {
    _VelmorHdrDynamicInfo record = quality::sceneRecord(1);
    unsigned int lutX[33];
    unsigned int lutY[33];
    for (auto _ : state) {
        meta2lut_dtm(600, 4000, &record, lutX, lutY, 33);
        benchmark::DoNotOptimize(lutX);
        benchmark::DoNotOptimize(lutY);
    }
}

void BM_Meta2Lut_Dtm_33Points(benchmark::State& state) {
    quality::SilenceOutput quiet(true);
    timeMeta2LutDtm(state);
}
BENCHMARK(BM_Meta2Lut_Dtm_33Points)->Unit(benchmark::kMicrosecond);

// The same with standard output drained through a pipe by another thread.
void BM_Meta2Lut_Dtm_33Points_PipeDrained(benchmark::State& state) {
    quality::SilenceOutput quiet(true);
    bench::PipeDrainedStdout pipe;
    if (!pipe.active()) {
        state.SkipWithError("cannot point standard output at a pipe");
        return;
    }
    timeMeta2LutDtm(state);
}
BENCHMARK(BM_Meta2Lut_Dtm_33Points_PipeDrained)->Unit(benchmark::kMicrosecond);

// Twelve targets in turn: every call adapts to a curve none of the last
// eleven calls had (more than the thread keeps tables for), so no kept table
// serves and the points are chosen anew, as on the first frame of a scene.
void BM_Meta2Lut_Dtm_33Points_NewCurveEachCall(benchmark::State& state) {
    quality::SilenceOutput quiet(true);
    _VelmorHdrDynamicInfo record = quality::sceneRecord(1);
    unsigned int lutX[33];
    unsigned int lutY[33];
    unsigned turn = 0;
    for (auto _ : state) {
        meta2lut_dtm(600 + turn, 4000, &record, lutX, lutY, 33);
        turn = turn == 11 ? 0 : turn + 1;
        benchmark::DoNotOptimize(lutX);
        benchmark::DoNotOptimize(lutY);
    }
}
BENCHMARK(BM_Meta2Lut_Dtm_33Points_NewCurveEachCall)->Unit(benchmark::kMicrosecond);

void BM_Meta2Lut_Eotf_33Points(benchmark::State& state) {
    quality::SilenceOutput quiet(true);
    _VelmorHdrDynamicInfo record = quality::sceneRecord(1);
    unsigned int lutX[33];
    unsigned int lutY[33];
    for (auto _ : state) {
        meta2lut_eotf(1000, &record, lutX, lutY, 33);
        benchmark::DoNotOptimize(lutX);
        benchmark::DoNotOptimize(lutY);
    }
}
BENCHMARK(BM_Meta2Lut_Eotf_33Points)->Unit(benchmark::kMicrosecond);

void BM_Meta2Meta(benchmark::State& state) {
    quality::SilenceOutput quiet(true);
    const _VelmorHdrDynamicInfo original = quality::sceneRecord(1);
    for (auto _ : state) {
        // A fresh copy each time: meta2meta rewrites the curve in place.
        _VelmorHdrDynamicInfo record = original;
        meta2meta(600, 4000, record);
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(BM_Meta2Meta)->Unit(benchmark::kMicrosecond);

// The record of the cases above as meta2lut_dtm samples it: adapted to 600 cd/m².
_VelmorHdrDynamicInfo adaptedSceneRecord() {
    quality::SilenceOutput quiet(true);
    _VelmorHdrDynamicInfo record = quality::sceneRecord(1);
    meta2meta(600, 4000, record);
    return record;
}

// The choice of 31 points alone, over the gain curve: what meta2lut_dtm
// spends beyond the adaptation and its lines.
void BM_KneePointExtractor_GainCurve_31Points(benchmark::State& state) {
    const OETFCurveData curve(adaptedSceneRecord());
    for (auto _ : state) {
        kneePointExtractor extractor(curve);
        extractor.select_from_candidate(31);
        benchmark::DoNotOptimize(extractor.nodes[16].y);
    }
}
BENCHMARK(BM_KneePointExtractor_GainCurve_31Points)->Unit(benchmark::kMicrosecond);

// The same 63 samples of the gain curve computed one after another without
// waiting for each other: the floor under the choice above, which must wait
// for the samples of one point before it can choose the next.
void BM_GainCurve_63IndependentSamples(benchmark::State& state) {
    const OETFCurveData curve(adaptedSceneRecord());
    kneePointExtractor extractor(curve);
    extractor.select_from_candidate(31);
    std::vector<int> xs;
    for (const Node& n : extractor.nodes) xs.push_back(n.x);
    for (const Node& c : extractor.candidates) xs.push_back(c.x);
    const curveData& sampler = curve;
    for (auto _ : state) {
        int32_t sum = 0;
        for (int x : xs) sum ^= sampler.getY(x);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["samples"] = static_cast<double>(xs.size());
}
BENCHMARK(BM_GainCurve_63IndependentSamples)->Unit(benchmark::kMicrosecond);

}  // namespace
