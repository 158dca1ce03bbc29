// SPDX-License-Identifier: Apache-2.0
// Inputs for driving writers the way a host does: dataspaces, HDR10+
// records, a small preset store filled in place, and a guard that sends the
// plug-in's diagnostic lines to /dev/null while a test loops over frames.
// Shared by the quality tests, the fuzzers and the benchmarks.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "metadata/VelmorHdrDynamicInfo.h"
#include "preset/Hdr10Lut.h"
#include "support/records.h"

namespace quality {

// Android dataspaces: standard (bits 16..21) | transfer (22..26) | range (27..29).
constexpr uint32_t kStandardBt709 = 1u << 16;
constexpr uint32_t kStandardBt2020 = 6u << 16;
constexpr uint32_t kStandardDciP3 = 10u << 16;
constexpr uint32_t kTransferSrgb = 2u << 22;
constexpr uint32_t kTransferPq = 7u << 22;
constexpr uint32_t kTransferHlg = 8u << 22;
constexpr uint32_t kRangeFull = 1u << 27;

constexpr uint32_t kSrgbBt709 = kStandardBt709 | kTransferSrgb | kRangeFull;
constexpr uint32_t kPqBt2020 = kStandardBt2020 | kTransferPq | kRangeFull;
constexpr uint32_t kHlgBt2020 = kStandardBt2020 | kTransferHlg | kRangeFull;
constexpr uint32_t kSrgbDciP3 = kStandardDciP3 | kTransferSrgb | kRangeFull;

// A scene of a bright HDR10+ title (tests/support/records.h).
inline _VelmorHdrDynamicInfo sceneRecord(uint16_t toneMappingFlag) {
    return kestrel_test::brightSceneRecord(toneMappingFlag);
}

// A darker scene with a short curve of its own (three anchors).
inline _VelmorHdrDynamicInfo dimSceneRecord() {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof r);
    r.targeted_system_display_maximum_luminance = 600;
    r.maxscl[0] = 9000;
    r.maxscl[1] = 7000;
    r.maxscl[2] = 5000;
    r.num_distribution_maxrgb_percentiles = 4;
    const uint8_t percentages[] = {10, 50, 90, 99};
    const uint32_t percentiles[] = {30, 400, 2500, 6000};
    for (int i = 0; i < 4; i++) {
        r.distribution_maxrgb_percentages[i] = percentages[i];
        r.distribution_maxrgb_percentiles[i] = percentiles[i];
    }
    r.tone_mapping_flag = 1;
    r.knee_point_x = 900;
    r.knee_point_y = 1100;
    r.num_bezier_curve_anchors = 3;
    r.bezier_curve_anchors[0] = 400;
    r.bezier_curve_anchors[1] = 750;
    r.bezier_curve_anchors[2] = 950;
    return r;
}

// Words of a synthetic table: distinct per (seed, index) so that a copy from
// the wrong entry or at the wrong offset shows.
inline std::vector<unsigned int> syntheticWords(unsigned int seed, unsigned int count) {
    std::vector<unsigned int> words(count);
    for (unsigned int i = 0; i < count; i++) words[i] = seed * 1000u + i;
    return words;
}

// Fills a store in place (its members are public), in the sort orders that
// loading establishes: PQ and HLG EOTFs, sRGB OETFs under product peaks 0
// and 500, and bt2020 -> bt709 / dci-p3 matrices.
inline void fillSyntheticStore(Hdr10Lut& store) {
    store.eotfTables[7].push_back(LutEntry{1000, syntheticWords(1, 130)});
    store.eotfTables[7].push_back(LutEntry{4000, syntheticWords(2, 130)});
    store.eotfTables[8].push_back(LutEntry{1000, syntheticWords(3, 130)});
    store.oetfTables[2].push_back(OetfRoot{0, {LutEntry{0, syntheticWords(4, 66)}}});
    store.oetfTables[2].push_back(OetfRoot{
        500, {LutEntry{1000, syntheticWords(5, 66)}, LutEntry{4000, syntheticWords(6, 66)}}});
    store.gamutMappings.push_back(
        GamutMappingEntry{kStandardBt2020, kStandardBt709, {1, 2, 3, 4, 5, 6, 7, 8, 9}});
    store.gamutMappings.push_back(
        GamutMappingEntry{kStandardBt2020, kStandardDciP3, {-1, -2, -3, -4, -5, -6, -7, -8, -9}});
}

// Sends standard output (the plug-in's diagnostic lines) to /dev/null for its
// lifetime, as on a device where nobody reads them; with alsoStderr, the log
// stand-in's lines too. Tests keep standard error, where sanitizers report.
class SilenceOutput {
public:
    explicit SilenceOutput(bool alsoStderr = false) {
        std::fflush(stdout);
        std::fflush(stderr);
        int devNull = open("/dev/null", O_WRONLY);
        mSavedOut = redirect(STDOUT_FILENO, devNull);
        mSavedErr = alsoStderr ? redirect(STDERR_FILENO, devNull) : -1;
        if (devNull >= 0) close(devNull);
    }
    ~SilenceOutput() {
        std::fflush(stdout);
        std::fflush(stderr);
        restore(STDOUT_FILENO, mSavedOut);
        restore(STDERR_FILENO, mSavedErr);
    }
    SilenceOutput(const SilenceOutput&) = delete;
    SilenceOutput& operator=(const SilenceOutput&) = delete;

private:
    static int redirect(int fd, int devNull) {
        if (devNull < 0) return -1;
        int saved = dup(fd);
        if (saved >= 0) dup2(devNull, fd);
        return saved;
    }
    static void restore(int fd, int saved) {
        if (saved < 0) return;
        dup2(saved, fd);
        close(saved);
    }

    int mSavedOut;
    int mSavedErr;
};

}  // namespace quality
