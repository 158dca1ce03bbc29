// SPDX-License-Identifier: Apache-2.0
// A long run as a host process sees it: writers created and destroyed while
// frames with HDR10+ and static layers go on. Reports resident memory and the
// heap in use before and after; both must end where they started (up to the
// allocator's page granularity for resident memory).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench_support.h"
#include "frame_fixtures.h"
#include "plugin/IDPUHdr10CommandWriter.h"

namespace {

double residentKiB() {
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

double heapInUseKiB() { return static_cast<double>(mallinfo2().uordblks) / 1024.0; }

void BM_WriterChurn_Frames(benchmark::State& state) {
    std::string why;
    {
        quality::SilenceOutput quiet(true);
        if (!bench::loadExamplePresetIntoGlobalStore(&why)) {
            state.SkipWithError(why.c_str());
            return;
        }
    }
    _VelmorHdrDynamicInfo given = quality::sceneRecord(1);
    _VelmorHdrDynamicInfo generated = quality::sceneRecord(0);
    const long frames = bench::churnFrames();
    constexpr long kFramesPerWriter = 100;
    quality::SilenceOutput quiet(true);

    double rssBefore = 0;
    double heapBefore = 0;
    for (auto _ : state) {
        rssBefore = residentKiB();
        heapBefore = heapInUseKiB();
        IDPUHdr10CommandWriter* writer = nullptr;
        for (long frame = 0; frame < frames; frame++) {
            if (frame % kFramesPerWriter == 0) {
                delete writer;
                writer = IDPUHdr10CommandWriter::createInstance();
                writer->setTargetDisplayLuminance(0, 500);
                writer->setLayerOpaqueData(0, &given, 312);
                writer->setLayerOpaqueData(1, &generated, 312);
            }
            writer->setLayerStaticMetadata(0, static_cast<int>(quality::kPqBt2020), 0, 1000);
            writer->setLayerStaticMetadata(1, static_cast<int>(quality::kPqBt2020), 0, 4000);
            writer->setLayerStaticMetadata(2, static_cast<int>(quality::kPqBt2020), 0, 1000);
            writer->setLayerStaticMetadata(3, static_cast<int>(quality::kHlgBt2020), 0, 1000);
            if (writer->getParams() == nullptr) {
                state.SkipWithError("getParams() returned null");
                break;
            }
        }
        delete writer;
    }
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["rss_before_KiB"] = rssBefore;
    state.counters["rss_after_KiB"] = residentKiB();
    state.counters["heap_before_KiB"] = heapBefore;
    state.counters["heap_after_KiB"] = heapInUseKiB();
}
BENCHMARK(BM_WriterChurn_Frames)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
