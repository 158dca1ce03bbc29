// SPDX-License-Identifier: Apache-2.0
// A host built with a plain compiler line from `pkg-config --cflags --libs
// kestrel`. It links the installed plug-in, converts a pass-through frame
// through a writer, and fills a preset store from the installed example
// preset with the exported `load`, then looks up what a static HDR10 frame
// (bt2020 PQ content at 1000 cd/m² on a 500 cd/m² sRGB display) takes from it.
//
//   pkgconfig_consumer <prefix>/share/kestrel/presets/example_preset.json
#include <cstdint>
#include <cstdio>

#include <kestrel/plugin/IDPUHdr10CommandWriter.h>
#include <kestrel/preset/Hdr10Lut.h>

namespace {

constexpr int kBt709Srgb = 0x10000 | 0x800000 | 0x8000000;
constexpr int kBt2020Pq = 0x60000 | 0x1C00000 | 0x8000000;
constexpr unsigned kBt2020 = 0x60000;
constexpr unsigned kBt709 = 0x10000;

int failures = 0;

void check(bool ok, const char* what, long long got) {
    if (!ok) {
        std::fprintf(stderr, "pkgconfig_consumer: %s (got %lld)\n", what, got);
        failures++;
    }
}

// Two sRGB layers on an sRGB target: the writer passes them through and
// returns its block with its five flags set.
void passThroughFrame() {
    IDPUHdr10CommandWriter* writer = IDPUHdr10CommandWriter::createInstance();
    check(writer != nullptr, "createInstance returned null", 0);
    if (writer == nullptr) return;
    writer->setTargetInfo(kBt709Srgb, nullptr);
    writer->setTargetDisplayLuminance(0, 500);
    writer->setLayerStaticMetadata(0, kBt709Srgb, 0, 100);
    writer->setLayerStaticMetadata(2, kBt709Srgb, 0, 200);
    const hdrCoef* block = writer->getParams();
    check(block != nullptr, "getParams returned null for a pass-through frame", 0);
    if (block != nullptr) {
        check(block->coefFlag == 1 && block->eotfFlag == 1 && block->gamutFlag == 1 &&
                  block->oetfFlag == 1 && block->toneFlag == 1,
              "a flag word of the block is not 1", block->coefFlag);
    }
    delete writer;
}

// The tables a static HDR10 layer takes from the store. The example preset's
// PQ EOTF at 1000 cd/m² runs from code 0 to 1023 onto 0 to 65535, its
// bt2020 -> bt709 matrix starts with 108822 and ends with 73318, and its
// sRGB OETF for a 500-nit panel runs from 0 to 65535 onto 0 to 1023.
void staticHdr10Frame(const char* presetPath) {
    Hdr10Lut store;
    check(store.load(presetPath), "load failed on the installed example preset", 0);

    Hdr10Lut::EotfPosition eotf = store.getEotf(kBt2020Pq, 1000);
    check(eotf != store.eotfNoMatch(), "no EOTF for bt2020 PQ at 1000 nits", 0);
    if (eotf != store.eotfNoMatch()) {
        check(eotf->luminance == 1000, "the EOTF found is not the 1000-nit one", eotf->luminance);
        check(eotf->values.size() == 130, "the EOTF does not hold 65 + 65 words",
              static_cast<long long>(eotf->values.size()));
        if (eotf->values.size() == 130) {
            check(eotf->values[64] == 1023, "last EOTF code", eotf->values[64]);
            check(eotf->values[129] == 65535, "last EOTF light", eotf->values[129]);
        }
    }

    Hdr10Lut::GamutPosition gamut = store.getGamutMapping(kBt2020, kBt709);
    check(gamut != store.gamutNoMatch(), "no bt2020 -> bt709 matrix", 0);
    if (gamut != store.gamutNoMatch()) {
        check(gamut->matrix[0] == 108822, "first matrix word", gamut->matrix[0]);
        check(gamut->matrix[8] == 73318, "last matrix word", gamut->matrix[8]);
    }

    Hdr10Lut::OetfRootPosition root = store.getOetfRoot(kBt709Srgb, 500);
    check(root != store.oetfNoMatch(), "no sRGB OETF for a 500-nit panel", 0);
    if (root != store.oetfNoMatch()) {
        check(root->productPeak == 500, "OETF panel peak", root->productPeak);
        Hdr10Lut::EotfPosition oetf = store.getOetf(root, 1000);
        check(oetf != root->entries.end(), "no OETF entry for 1000-nit content", 0);
        if (oetf != root->entries.end() && oetf->values.size() == 66) {
            check(oetf->values[32] == 65535, "last OETF light", oetf->values[32]);
            check(oetf->values[65] == 1023, "last OETF code", oetf->values[65]);
        } else {
            check(false, "the OETF does not hold 33 + 33 words", 0);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pkgconfig_consumer <example_preset.json>\n");
        return 2;
    }
    passThroughFrame();
    staticHdr10Frame(argv[1]);
    if (failures != 0) return 1;
    std::printf("pkgconfig_consumer: pass-through frame and static HDR10 tables as expected\n");
    return 0;
}
