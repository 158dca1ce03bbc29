// SPDX-License-Identifier: Apache-2.0
// The picture path of `kestrel preview`: Y'CbCr to light for a 4K frame,
// the tone stage per pixel (table and exact curve, one target), and the
// decoding of the 4K sample stream. Figures are pixels per second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "picture/video_decoder.h"
#include "picture/yuv_to_rgb.h"
#ifdef KESTREL_BENCH_TONE_STAGE
#include "clip/clip_reader.h"
#include "hdr10plus/record.h"
#include "tools/kestrel/preview/tone_stage.h"
#endif

namespace {

using namespace kestrel;

picture::YuvFrame frame4k() {
    picture::YuvFrame f;
    f.width = 3840;
    f.height = 2160;
    f.bitDepth = 10;
    f.chromaShiftX = f.chromaShiftY = 1;
    f.colour.transfer = picture::Transfer::Pq;
    f.colour.matrix = picture::Matrix::Bt2020Ncl;
    std::srand(1);
    f.y.resize(static_cast<size_t>(f.width) * f.height);
    for (auto& v : f.y) v = static_cast<uint16_t>(64 + std::rand() % 877);
    f.cb.resize(static_cast<size_t>(f.chromaWidth()) * f.chromaHeight());
    f.cr.resize(f.cb.size());
    for (auto& v : f.cb) v = static_cast<uint16_t>(412 + std::rand() % 201);
    for (auto& v : f.cr) v = static_cast<uint16_t>(412 + std::rand() % 201);
    return f;
}

void BM_YuvToLinear4K(benchmark::State& state) {
    const picture::YuvFrame f = frame4k();
    for (auto _ : state) {
        auto light = picture::toLinear(f, static_cast<unsigned>(state.range(0)));
        benchmark::DoNotOptimize(light);
    }
    state.SetItemsProcessed(state.iterations() * f.width * f.height);
}
BENCHMARK(BM_YuvToLinear4K)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef KESTREL_BENCH_TONE_STAGE
// A real frame with a tone curve, at 600 cd/m².
tool::ToneStage stage() {
    const clip::Clip doc =
        clip::openClip(std::string(KESTREL_HDR10PLUS_DIR) + "/single-frame-metadata.json").value();
    return std::move(
        *tool::makeToneStage(hdr10plus::toRecord(*doc.frames.at(0).metadata), 600, 1000));
}

void BM_ToneStage(benchmark::State& state, tool::TonePath path) {
    const tool::ToneStage s = stage();
    auto light = picture::toLinear(frame4k(), 0);
    picture::RgbImage small;  // a 960x540 corner: what the preview maps by default
    small.width = 960;
    small.height = 540;
    for (unsigned y = 0; y < 540; y++)
        for (unsigned x = 0; x < 960; x++) {
            const size_t i = static_cast<size_t>(y) * 3840 + x;
            small.r.push_back(light->r[i]);
            small.g.push_back(light->g[i]);
            small.b.push_back(light->b[i]);
        }
    for (auto _ : state) {
        auto out = tool::applyToneStage(s, path, small, 1);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * 960 * 540);
}
BENCHMARK_CAPTURE(BM_ToneStage, table, tool::TonePath::Table)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ToneStage, curve, tool::TonePath::Curve)->Unit(benchmark::kMillisecond);
#endif

void BM_Decode4KSample(benchmark::State& state) {
    const std::string path = std::string(KESTREL_HDR10PLUS_DIR) + "/streams/multimsg-sei.hevc";
    for (auto _ : state) {
        auto decoder = picture::VideoDecoder::open(path);
        if (!decoder) {
            state.SkipWithError("no 4K sample stream");
            return;
        }
        auto frame = (*decoder)->seekForward(0);
        benchmark::DoNotOptimize(frame);
    }
    state.SetItemsProcessed(state.iterations() * 3840 * 2160);
}
BENCHMARK(BM_Decode4KSample)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
