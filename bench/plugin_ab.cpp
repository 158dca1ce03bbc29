// SPDX-License-Identifier: Apache-2.0
// Two builds of the plug-in in one process, timed against each other: the
// host's entry points of each run in alternating blocks of a few
// thousand calls, and every pair of blocks gives one ratio of CPU time
// (second / first). On a shared machine the load of the moment hits both
// sides of a pair alike, which runs of whole processes one after the other
// do not manage; the medians of the ratios are what docs/performance.md
// records. The cases:
//   - meta2lut_dtm and meta2lut_eotf with one record, and a frame of one
//     HDR10+ layer through the writer (the setter, then getParams), as on
//     every frame of a scene;
//   - the frame with the records of two scenes in turn, as when two HDR10+
//     layers are composed (a build that keeps a few tables keeps both);
//   - meta2lut_dtm with kColdTurns targets in turn, and the frame with
//     kColdTurns records in turn: every call adapts to a curve none of the
//     last few calls had, more than any build keeps, so every table is
//     chosen anew, as on the first frame of a scene.
//
//   kestrel_plugin_ab FIRST.so SECOND.so [PAIRS]
//
// Both libraries are loaded with RTLD_LOCAL, so each keeps its own symbols,
// store and diagnostics. Standard output goes to /dev/null, as on a device.
#include <dlfcn.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame_fixtures.h"
#include "plugin/IDPUHdr10CommandWriter.h"

namespace {

using Meta2LutDtm = void (*)(unsigned, unsigned, void*, unsigned*, unsigned*, unsigned);
using Meta2LutEotf = void (*)(unsigned, void*, unsigned*, unsigned*, unsigned);
using CreateWriter = IDPUHdr10CommandWriter* (*)();

struct Plugin {
    Meta2LutDtm dtm = nullptr;
    Meta2LutEotf eotf = nullptr;
    IDPUHdr10CommandWriter* writer = nullptr;
};

Plugin load(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "kestrel_plugin_ab: %s\n", dlerror());
        std::exit(2);
    }
    Plugin p;
    p.dtm = reinterpret_cast<Meta2LutDtm>(dlsym(handle, "_Z12meta2lut_dtmjjPvPjS0_j"));
    p.eotf = reinterpret_cast<Meta2LutEotf>(dlsym(handle, "_Z13meta2lut_eotfjPvPjS0_j"));
    auto create = reinterpret_cast<CreateWriter>(
        dlsym(handle, "_ZN22IDPUHdr10CommandWriter14createInstanceEv"));
    if (p.dtm == nullptr || p.eotf == nullptr || create == nullptr) {
        std::fprintf(stderr, "kestrel_plugin_ab: %s lacks an entry point\n", path);
        std::exit(2);
    }
    p.writer = create();
    p.writer->setTargetInfo(static_cast<int>(quality::kSrgbBt709), nullptr);
    p.writer->setTargetDisplayLuminance(0, 600);
    return p;
}

double threadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// The cold cases turn through this many curves, all different (checked
// before timing, through meta2lut_dtm at the frame's target of 600 cd/m2).
constexpr int kColdTurns = 12;
unsigned gColdTargets[kColdTurns];
_VelmorHdrDynamicInfo gColdRecords[kColdTurns];

// Records of the case whose frames alternate between two scenes.
_VelmorHdrDynamicInfo gTurnRecords[2];

// The six cases, each a block of `calls` calls; returns CPU seconds.
double runBlock(const Plugin& p, int which, _VelmorHdrDynamicInfo* record, int calls) {
    unsigned lutX[33];
    unsigned lutY[33];
    const double start = threadSeconds();
    for (int i = 0; i < calls; i++) {
        if (which == 0) {
            p.dtm(600, 4000, record, lutX, lutY, 33);
        } else if (which == 3) {
            p.dtm(gColdTargets[i % kColdTurns], 4000, record, lutX, lutY, 33);
        } else if (which == 1) {
            p.eotf(1000, record, lutX, lutY, 33);
        } else if (which == 4 || which == 5) {
            _VelmorHdrDynamicInfo& r =
                which == 4 ? gTurnRecords[i & 1] : gColdRecords[i % kColdTurns];
            p.writer->setLayerOpaqueData(0, &r, sizeof r);
            p.writer->setLayerStaticMetadata(0, static_cast<int>(quality::kPqBt2020), 0, 4000);
            if (p.writer->getParams() == nullptr) std::abort();
        } else {
            // A frame as the host makes it: the layer's setter, then getParams.
            p.writer->setLayerStaticMetadata(0, static_cast<int>(quality::kPqBt2020), 0, 4000);
            if (p.writer->getParams() == nullptr) std::abort();
        }
    }
    return threadSeconds() - start;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FIRST.so SECOND.so [PAIRS]\n", argv[0]);
        return 2;
    }
    const int pairs = argc > 3 ? std::atoi(argv[3]) : 200;
    _VelmorHdrDynamicInfo record = quality::sceneRecord(1);
    gTurnRecords[0] = record;
    gTurnRecords[1] = quality::dimSceneRecord();
    for (int k = 0; k < kColdTurns; k++) {
        gColdTargets[k] = 600 + static_cast<unsigned>(k);
        // Bright and dim scenes in turn, each with a curve of its own.
        gColdRecords[k] = k % 2 == 0 ? quality::sceneRecord(1) : quality::dimSceneRecord();
        gColdRecords[k].bezier_curve_anchors[1] =
            static_cast<uint16_t>(gColdRecords[k].bezier_curve_anchors[1] + 8 * k);
    }
    Plugin first = load(argv[1]);
    Plugin second = load(argv[2]);
    std::string report;
    char sameTable[128] = "";  // the check's failure, printed once stderr is back
    {
        quality::SilenceOutput quiet(true);
        first.writer->setLayerOpaqueData(0, &record, sizeof record);
        second.writer->setLayerOpaqueData(0, &record, sizeof record);

        // Every pair of the cold cases' curves must give different tables,
        // or a build that keeps tables would find some of them kept.
        unsigned x[2 * kColdTurns][33], y[2 * kColdTurns][33];
        for (int k = 0; k < kColdTurns; k++) {
            first.dtm(gColdTargets[k], 4000, &record, x[k], y[k], 33);
            first.dtm(600, 4000, &gColdRecords[k], x[kColdTurns + k], y[kColdTurns + k], 33);
        }
        for (int k = 0; k < 2 * kColdTurns; k++) {
            // Targets against targets, records against records.
            for (int j = k < kColdTurns ? 0 : kColdTurns; j < k; j++) {
                if (std::equal(y[j], y[j] + 33, y[k]) && std::equal(x[j], x[j] + 33, x[k])) {
                    std::snprintf(sameTable, sizeof sameTable,
                                  "kestrel_plugin_ab: cold curves %d and %d give one table\n", j, k);
                }
            }
        }
        const char* names[] = {"meta2lut_dtm, 33 points", "meta2lut_eotf, 33 points",
                               "frame of one HDR10+ layer (setter + getParams)",
                               "meta2lut_dtm, 33 points, 12 targets in turn",
                               "frame, records of two scenes in turn",
                               "frame, records of 12 scenes in turn"};
        const int calls[] = {2000, 4000, 1000, 2000, 1000, 1000};
        for (int which = 0; which < 6 && sameTable[0] == '\0'; which++) {
            std::vector<double> ratios, a, b;
            runBlock(first, which, &record, calls[which]);  // warm both
            runBlock(second, which, &record, calls[which]);
            for (int k = 0; k < pairs; k++) {
                // Alternate which side goes first, so that neither always follows
                // the other's effect on the caches.
                const bool swap = k % 2 == 1;
                const double x = runBlock(swap ? second : first, which, &record, calls[which]);
                const double y = runBlock(swap ? first : second, which, &record, calls[which]);
                const double tFirst = swap ? y : x, tSecond = swap ? x : y;
                ratios.push_back(tSecond / tFirst);
                a.push_back(tFirst / calls[which] * 1e6);
                b.push_back(tSecond / calls[which] * 1e6);
            }
            std::sort(ratios.begin(), ratios.end());
            char line[256];
            std::snprintf(line, sizeof line, "%-48s %8.3f %8.3f %7.3f %7.3f %7.3f\n", names[which],
                          median(a), median(b), median(ratios), ratios[ratios.size() / 10],
                          ratios[ratios.size() * 9 / 10]);
            report += line;
        }
    }
    if (sameTable[0] != '\0') {
        std::fputs(sameTable, stderr);
        return 2;
    }
    std::fprintf(
        stderr, "CPU µs per call (medians of %d pairs of blocks); ratio = second / first\n", pairs);
    std::fprintf(stderr, "%-48s %8s %8s %7s %7s %7s\n", "case", "first", "second", "ratio", "p10",
                 "p90");
    std::fputs(report.c_str(), stderr);
    return 0;
}
