// SPDX-License-Identifier: Apache-2.0
// `kestrel analyze` against decoding alone: the same sample stream decoded
// to nothing (libavcodec with frame threads, as analyze decodes), and decoded
// and measured (signature for the shot cuts, statistics of every picture).
// The 4K case is the one-picture 3840x2160 sample, the other the largest
// film sample (1950x816, the nearest to 1080p there is). Figures are pictures
// per second; analyze should stay within 1.3 times the decoding time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "measure/frame_statistics.h"
#include "measure/luminance_statistics.h"
#include "measure/signal_code.h"
#include "picture/video_decoder.h"
#include "picture/yuv_to_rgb.h"
#include "tools/kestrel/analyze/clip_measurement.h"

namespace {

using namespace kestrel;

std::string sample(const char* name) {
    return std::string(KESTREL_HDR10PLUS_DIR) + "/streams/" + name;
}

// CPU time of the whole process (every decoder and measuring thread), s.
double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The process's CPU time per picture, ms: on a shared machine the figure to
// compare, as the wall-clock time depends on what else runs.
void reportCpu(benchmark::State& state, double cpuSeconds, size_t pictures) {
    if (pictures > 0)
        state.counters["cpu_ms_per_picture"] = cpuSeconds * 1e3 / static_cast<double>(pictures);
}

// A sample by name, or with KESTREL_BENCH_LONG_STREAM set, the name "long"
// for the stream it names (a longer one than the samples hold).
std::string streamPath(const char* name) {
    if (std::string(name) == "long") {
        const char* path = std::getenv("KESTREL_BENCH_LONG_STREAM");
        return path != nullptr ? path : "";
    }
    return sample(name);
}

void BM_DecodeOnly(benchmark::State& state, const char* name) {
    const std::string path = streamPath(name);
    if (path.empty()) {
        state.SkipWithError("KESTREL_BENCH_LONG_STREAM names no stream");
        return;
    }
    size_t pictures = 0;
    const double cpu = processCpuSeconds();
    for (auto _ : state) {
        auto decoder = picture::VideoDecoder::open(path);
        if (!decoder) {
            state.SkipWithError(decoder.status().message().c_str());
            return;
        }
        picture::YuvFrame frame;
        for (;;) {
            auto got = (*decoder)->next(frame);
            if (!got || !*got) break;
            ++pictures;
        }
    }
    reportCpu(state, processCpuSeconds() - cpu, pictures);
    state.SetItemsProcessed(static_cast<int64_t>(pictures));
}

// `keyFrames`: only the key frames measured (analyze --keyframes).
void measureBenchmark(benchmark::State& state, const char* name, bool keyFrames) {
    const std::string path = streamPath(name);
    if (path.empty()) {
        state.SkipWithError("KESTREL_BENCH_LONG_STREAM names no stream");
        return;
    }
    tool::MeasureOptions options;
    options.keyFramesOnly = keyFrames;
    size_t pictures = 0;
    const double cpu = processCpuSeconds();
    for (auto _ : state) {
        auto clip = tool::measureClip(path, options, nullptr);
        if (!clip) {
            state.SkipWithError(clip.status().message().c_str());
            return;
        }
        pictures += clip->pictures.size();
    }
    reportCpu(state, processCpuSeconds() - cpu, pictures);
    state.SetItemsProcessed(static_cast<int64_t>(pictures));
}

void BM_DecodeAndMeasure(benchmark::State& state, const char* name) {
    measureBenchmark(state, name, false);
}
void BM_DecodeAndMeasureKeyFrames(benchmark::State& state, const char* name) {
    measureBenchmark(state, name, true);
}

BENCHMARK_CAPTURE(BM_DecodeOnly, 4k, "multimsg-sei.hevc")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_DecodeAndMeasure, 4k, "multimsg-sei.hevc")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_DecodeOnly, film, "ToS-s01.h265")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_DecodeAndMeasure, film, "ToS-s01.h265")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// A longer stream where one is named (scripts may make one by concatenating
// the film samples); not registered otherwise, so that a run without one
// (the CI's smoke run) reports no error.
const bool kLongStreamCases = [] {
    const char* path = std::getenv("KESTREL_BENCH_LONG_STREAM");
    if (path == nullptr || *path == '\0') return false;
    benchmark::RegisterBenchmark("BM_DecodeOnly/long", BM_DecodeOnly, "long")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_DecodeAndMeasure/long", BM_DecodeAndMeasure, "long")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_DecodeAndMeasureKeyFrames/long",
                                 BM_DecodeAndMeasureKeyFrames, "long")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

}  // namespace

// The measuring alone, on a 4K picture of PQ signal (the table of signal
// thresholds built before the first iteration).
namespace {

void BM_MeasureSignal4K(benchmark::State& state) {
    kestrel::picture::RgbImage signal;
    signal.width = 3840;
    signal.height = 2160;
    const size_t n = size_t{3840} * 2160;
    uint32_t x = 1;
    auto next = [&] {
        x = x * 1664525u + 1013904223u;  // a fixed sequence: the same picture every run
        return static_cast<float>(x >> 8) / 16777216.0f * 0.8f;
    };
    for (size_t i = 0; i < n; ++i) {
        signal.r.push_back(next());
        signal.g.push_back(next());
        signal.b.push_back(next());
    }
    kestrel::measure::codeOfSignal(0.5f);
    for (auto _ : state) {
        kestrel::measure::StatisticsCollector c;
        benchmark::DoNotOptimize(c.addSignal(signal, 1));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_MeasureSignal4K)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// The measuring alone on the film sample's decoded pictures, on one thread:
// the CPU a picture costs analyze on top of decoding it, apart from the
// decoder's own time (the pictures are decoded before the first iteration).
namespace {

void BM_MeasureFilmPictures(benchmark::State& state) {
    auto decoder = kestrel::picture::VideoDecoder::open(sample("ToS-s01.h265"));
    if (!decoder) {
        state.SkipWithError("the film sample does not open");
        return;
    }
    std::vector<kestrel::picture::YuvFrame> frames;
    for (;;) {
        kestrel::picture::YuvFrame frame;
        auto got = (*decoder)->next(frame);
        if (!got || !*got) break;
        frames.push_back(std::move(frame));
    }
    if (frames.empty()) {
        state.SkipWithError("the film sample holds no pictures");
        return;
    }
    kestrel::measure::FrameMeasurer measurer(1);
    kestrel::measure::StatisticsCollector collector;
    const double cpu = processCpuSeconds();
    for (auto _ : state) {
        for (const auto& frame : frames) {
            benchmark::DoNotOptimize(measurer.add(frame, collector));
            collector.clear();
        }
    }
    reportCpu(state, processCpuSeconds() - cpu, state.iterations() * frames.size());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * frames.size()));
}
BENCHMARK(BM_MeasureFilmPictures)->Unit(benchmark::kMillisecond);

// The floor of any exact count: the film sample's pixels with each one's
// maxRGB code already known (found before the first iteration), only counted,
// one 8-bit count a code and a carry list as RowCounter counts, in rows of the
// picture's width. Whatever finds the codes, counting them costs at least this.
void BM_CountKnownCodes(benchmark::State& state) {
    auto decoder = kestrel::picture::VideoDecoder::open(sample("ToS-s01.h265"));
    if (!decoder) {
        state.SkipWithError("the film sample does not open");
        return;
    }
    std::vector<uint32_t> codes;
    size_t width = 0;
    for (;;) {
        kestrel::picture::YuvFrame frame;
        auto got = (*decoder)->next(frame);
        if (!got || !*got) break;
        const kestrel::picture::RgbImage signal = kestrel::picture::toSignal(frame);
        width = signal.width;
        for (size_t i = 0; i < signal.r.size(); ++i)
            codes.push_back(kestrel::measure::codeOfSignal(
                std::max(signal.r[i], std::max(signal.g[i], signal.b[i]))));
    }
    if (codes.empty()) {
        state.SkipWithError("the film sample holds no pictures");
        return;
    }
    std::vector<uint8_t> counts(kestrel::measure::MaxRgbHistogram::kBins, 0);
    std::vector<uint32_t> carries;
    std::vector<uint32_t> row(width);
    for (auto _ : state) {
        for (size_t from = 0; from + width <= codes.size(); from += width) {
            std::copy(codes.begin() + from, codes.begin() + from + width, row.begin());
            for (uint32_t c : row)
                if (++counts[c] == 0) carries.push_back(c);
        }
        benchmark::DoNotOptimize(counts.data());
        carries.clear();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * codes.size()));
}
BENCHMARK(BM_CountKnownCodes)->Unit(benchmark::kMillisecond);

}  // namespace
