// SPDX-License-Identifier: Apache-2.0
// Links the installed plug-in, creates a writer and converts one HDR10+
// frame: the first frame of examples/metadata/single-frame-metadata.json,
// transcribed into the host's record, on a display of the frame's own
// targeted peak (400 cd/m²), where the plug-in keeps the frame's curve as it
// is. Exit status 0 when the tone table has the shape the library promises.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <kestrel/common/version.h>
#include <kestrel/metadata/VelmorHdrDynamicInfo.h>
#include <kestrel/plugin/IDPUHdr10CommandWriter.h>

namespace {

constexpr int kBt709Srgb = 0x10000 | 0x800000 | 0x8000000;
constexpr int kBt2020Pq = 0x60000 | 0x1C00000 | 0x8000000;
constexpr uint32_t kKneeX = 164;
constexpr uint32_t kKneeY = 240;

_VelmorHdrDynamicInfo exampleFrame() {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof r);
    r.targeted_system_display_maximum_luminance = 400;
    r.maxscl[0] = 7768;
    r.maxscl[1] = 6589;
    r.maxscl[2] = 6912;
    const uint8_t percentages[9] = {1, 5, 10, 25, 50, 75, 90, 95, 99};
    const uint32_t values[9] = {0, 6080, 92, 1, 4, 107, 726, 1784, 5843};
    r.num_distribution_maxrgb_percentiles = 9;
    for (int i = 0; i < 9; i++) {
        r.distribution_maxrgb_percentages[i] = percentages[i];
        r.distribution_maxrgb_percentiles[i] = values[i];
    }
    r.tone_mapping_flag = 1;
    r.knee_point_x = kKneeX;
    r.knee_point_y = kKneeY;
    const uint16_t anchors[9] = {143, 298, 447, 592, 731, 864, 891, 917, 938};
    r.num_bezier_curve_anchors = 9;
    for (int i = 0; i < 9; i++) r.bezier_curve_anchors[i] = anchors[i];
    return r;
}

int failures = 0;

void check(bool ok, const char* what, long long got) {
    if (!ok) {
        std::fprintf(stderr, "cmake_consumer: %s (got %lld)\n", what, got);
        failures++;
    }
}

}  // namespace

int main() {
    std::printf("cmake_consumer: Kestrel %s\n", KESTREL_VERSION);
    IDPUHdr10CommandWriter* writer = IDPUHdr10CommandWriter::createInstance();
    if (writer == nullptr) {
        std::fprintf(stderr, "cmake_consumer: createInstance returned null\n");
        return 1;
    }
    _VelmorHdrDynamicInfo record = exampleFrame();
    writer->setTargetInfo(kBt709Srgb, nullptr);
    writer->setTargetDisplayLuminance(0, 400);
    writer->setLayerStaticMetadata(0, kBt2020Pq, 0, 1000);
    writer->setLayerOpaqueData(0, &record, sizeof record);
    const hdrCoef* block = writer->getParams();
    if (block == nullptr) {
        std::fprintf(stderr, "cmake_consumer: getParams returned null for the HDR10+ frame\n");
        delete writer;
        return 1;
    }

    // The table starts at the origin; its last pair is the width of the last
    // segment up to the sampler's end, 2^27.
    check(block->toneX[0] == 0 && block->toneY[0] == 0, "the table does not start at (0, 0)",
          block->toneY[0]);
    check(block->toneX[31] + block->toneX[32] == 134217728u, "the last width does not reach 2^27",
          block->toneX[31] + block->toneX[32]);
    // Below the knee the curve is a straight line through the origin: one
    // gain, knee y / knee x in units of 1/1048575, at every point there.
    const double gain = 1048575.0 * kKneeY / kKneeX;  // 1534500.0
    const uint32_t kneeAbscissa = static_cast<uint32_t>(134217728.0 * kKneeX / 4095);
    int straight = 0;
    for (int i = 1; i < 32 && block->toneX[i] < kneeAbscissa; i++) {
        straight++;
        check(block->toneY[i] + 2.0 >= gain && block->toneY[i] <= gain + 2.0,
              "a point below the knee is off the straight segment's gain", block->toneY[i]);
    }
    check(straight >= 20, "too few points below the knee", straight);
    const unsigned firstGain = block->toneY[1];

    delete writer;  // frees the block too
    if (failures != 0) return 1;
    std::printf("cmake_consumer: HDR10+ frame converted, gain %u at %d points below the knee\n",
                firstGain, straight);
    return 0;
}
