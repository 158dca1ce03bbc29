// SPDX-License-Identifier: Apache-2.0
// Injection throughput against a plain copy of the same file: the ~100 MB
// stream of sample_stream.h, every shown picture given a frame of its own
// (a different payload each, as per-frame metadata is), written beside the
// benchmark. Both passes count: the scan (reading the whole stream) and the
// writing (reading it again and writing it out). The figure is bytes of
// input per second; the copy is what "at the speed of copying" means here.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "authoring/inject.h"
#include "sample_stream.h"

namespace {

namespace fs = std::filesystem;
constexpr size_t kCopyChunk = size_t{4} << 20;

// Beside the benchmark, or in KESTREL_BENCH_OUTPUT_DIR (a tmpfs such as
// /dev/shm takes the disk out of the figure).
std::string outputPath() {
    const char* dir = std::getenv("KESTREL_BENCH_OUTPUT_DIR");
    return std::string(dir != nullptr ? dir : KESTREL_BENCH_WORK_DIR) + "/inject-out.hevc";
}

void BM_CopyFile_100MB(benchmark::State& state, std::string sample) {
    std::string path = bench::bigSampleStream(sample);
    if (path.empty()) {
        state.SkipWithError("cannot write the 100 MB stream");
        return;
    }
    std::vector<char> buffer(kCopyChunk);
    for (auto _ : state) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"),
                                                           &std::fclose);
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(outputPath().c_str(), "wb"),
                                                            &std::fclose);
        size_t got;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0)
            std::fwrite(buffer.data(), 1, got, out.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(path)));
    fs::remove(outputPath());
}

void BM_InjectAnnexB_100MB(benchmark::State& state, std::string sample) {
    std::string path = bench::bigSampleStream(sample);
    if (path.empty()) {
        state.SkipWithError("cannot write the 100 MB stream");
        return;
    }
    auto layout = kestrel::authoring::scanStream(path, nullptr);
    if (!layout) {
        state.SkipWithError(layout.status().message().c_str());
        return;
    }
    std::vector<kestrel::hdr10plus::Frame> frames(layout->shownPictures);
    for (size_t i = 0; i < frames.size(); ++i) {
        kestrel::hdr10plus::Window w;
        uint32_t peak = static_cast<uint32_t>(1000 + i);
        w.maxscl = {peak, peak, peak};
        w.average_maxrgb = peak / 8;
        w.distribution = {{1, 1},   {5, 3},    {10, 6},   {25, 20},  {50, 60},
                          {75, 120}, {90, 300}, {95, 500}, {99, peak}};
        frames[i].targeted_system_display_maximum_luminance = 1000;
        frames[i].windows.push_back(w);
    }
    for (auto _ : state) {
        auto scanned = kestrel::authoring::scanStream(path, nullptr);
        auto done = kestrel::authoring::injectHdr10Plus(path, *scanned, frames, outputPath(), {},
                                                        nullptr);
        if (!done) {
            state.SkipWithError(done.status().message().c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(path)));
    state.counters["pictures"] = static_cast<double>(frames.size());
    fs::remove(outputPath());
}

const bool kRegistered = [] {
    std::string sample = bench::largestSampleStream();
    if (sample.empty()) return false;
    benchmark::RegisterBenchmark("BM_CopyFile_100MB", BM_CopyFile_100MB, sample)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_InjectAnnexB_100MB", BM_InjectAnnexB_100MB, sample)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

}  // namespace
