// SPDX-License-Identifier: Apache-2.0
// Extraction throughput: the HEVC reader over a ~100 MB Annex B stream made
// by repeating the largest sample stream (each copy starts with its own
// parameter sets and IDR picture, so the result is a valid stream of many
// coded video sequences). The file is read from the page cache after the
// first run; the figure is bytes of stream per second, with every picture's
// HDR10+ payload parsed as the tool does.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "hdr10plus/payload.h"
#include "hevc/annexb.h"
#include "sample_stream.h"

namespace {

namespace fs = std::filesystem;

void BM_ExtractAnnexB_100MB(benchmark::State& state, std::string sample) {
    std::string path = bench::bigSampleStream(sample);
    if (path.empty()) {
        state.SkipWithError("cannot write the 100 MB stream");
        return;
    }
    uintmax_t size = fs::file_size(path);
    size_t pictures = 0;
    size_t parsed = 0;
    for (auto _ : state) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
        std::shared_ptr<const kestrel::hevc::T35Payload> last;
        auto error = kestrel::hevc::readAnnexB(
            file.get(),
            [&](kestrel::hevc::Picture&& picture) {
                ++pictures;
                if (picture.hdr10plus && picture.hdr10plus != last) {
                    last = picture.hdr10plus;
                    auto result =
                        kestrel::hdr10plus::parsePayload(last->bytes.data(), last->bytes.size());
                    parsed += result.ok();
                }
            },
            nullptr);
        if (!error.ok()) {
            state.SkipWithError(error.message().c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["pictures"] = static_cast<double>(pictures / state.iterations());
    state.counters["payloads"] = static_cast<double>(parsed / state.iterations());
}

// Registered only where the sample streams are, so that a machine without
// them runs the other benchmarks and reports no error.
const bool kRegistered = [] {
    std::string sample = bench::largestSampleStream();
    if (sample.empty()) return false;
    benchmark::RegisterBenchmark("BM_ExtractAnnexB_100MB", BM_ExtractAnnexB_100MB, sample)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

}  // namespace
