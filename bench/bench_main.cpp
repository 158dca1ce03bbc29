// SPDX-License-Identifier: Apache-2.0
// kestrel_bench: Google Benchmark's own flags, plus
//   --kestrel_churn_frames=N   frames of the writer-churn run (default 100000;
//                              the smoke run in scripts/test.sh uses fewer)
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "bench_support.h"
#include "plugin/global_store.h"

namespace bench {

namespace {
long gChurnFrames = 100000;
}

long churnFrames() { return gChurnFrames; }
void setChurnFrames(long frames) { gChurnFrames = frames; }

std::string examplePresetPath() { return std::string(KESTREL_PRESET_DIR) + "/example_preset.json"; }

std::string largestExamplePresetPath() {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string best;
    std::uintmax_t bestSize = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(KESTREL_PRESET_DIR, ec)) {
        if (e.path().extension() != ".json") continue;
        std::uintmax_t size = e.file_size(ec);
        if (!ec && size > bestSize) {
            bestSize = size;
            best = e.path().string();
        }
    }
    return best;
}

bool loadExamplePresetIntoGlobalStore(std::string* why) {
    static bool loaded = false;
    if (loaded) return true;
    const std::string path = examplePresetPath();
    if (!gHdr10Lut.load(path.c_str())) {
        *why = "cannot load " + path;
        return false;
    }
    if (gHdr10Lut.gamutMappings.empty()) {
        *why = path + " gave no gamut mappings";
        return false;
    }
    loaded = true;
    return true;
}

}  // namespace bench

int main(int argc, char** argv) {
    // Take our own flag out before Google Benchmark sees the arguments.
    int kept = 1;
    const char kChurn[] = "--kestrel_churn_frames=";
    for (int i = 1; i < argc; i++) {
        if (std::strncmp(argv[i], kChurn, sizeof kChurn - 1) == 0) {
            bench::setChurnFrames(std::atol(argv[i] + sizeof kChurn - 1));
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
