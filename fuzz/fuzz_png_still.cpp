// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes as a 16-bit PQ still (picture/png_still.h).
//
// Invariants:
//  - nothing reads outside the input (the sanitizers watch) and libpng's
//    errors come back as a refusal, never as a crash or an abort;
//  - a still that is read has width x height samples in each plane, within
//    the size limits, and every sample is light PQ can carry: 0 to 10000
//    cd/m², never NaN.
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "picture/png_still.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrel;
    using namespace kestrel::picture;
    Result<Still> still = readPngStill(data, size);
    if (!still.ok()) {
        FUZZ_CHECK(!still.status().message().empty());
        return 0;
    }
    const RgbImage& light = still->light;
    const uint64_t pixels = static_cast<uint64_t>(light.width) * light.height;
    FUZZ_CHECK(pixels <= kMaxStillPixels);
    FUZZ_CHECK(light.r.size() == pixels && light.g.size() == pixels && light.b.size() == pixels);
    for (const std::vector<float>* plane : {&light.r, &light.g, &light.b}) {
        for (float v : *plane) FUZZ_CHECK(v >= 0.0f && v <= 10000.0f);
    }
    return 0;
}
