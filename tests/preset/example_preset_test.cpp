// SPDX-License-Identifier: Apache-2.0
// The shipped example presets load cleanly and hold tables on the scales
// their README documents.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/capture.h"

#include "preset/Hdr10Lut.h"
#include "store_fill.h"

using kestrel_test::CapturedText;
using kestrel_test::captureText;

namespace {

const std::string kExamples = KESTREL_EXAMPLES_DIR;

std::unique_ptr<Hdr10Lut> loadedExample(const std::string& name) {
    std::unique_ptr<Hdr10Lut> store = quietStore();
    const std::string path = kExamples + "/" + name;
    CapturedText c = captureText([&] { EXPECT_TRUE(store->load(path.c_str())); });
    EXPECT_EQ(c.err, "") << name;
    EXPECT_EQ(c.out, "") << name;
    return store;
}

// Each point pair ascends: x strictly, y never falls; both span their scale.
void expectMonotonicTable(const LutEntry& e, size_t points, unsigned int xMax, unsigned int yMax) {
    ASSERT_EQ(e.values.size(), 2 * points);
    EXPECT_EQ(e.values[0], 0u);
    EXPECT_EQ(e.values[points - 1], xMax);
    EXPECT_EQ(e.values[points], 0u);
    EXPECT_EQ(e.values[2 * points - 1], yMax);
    for (size_t i = 1; i < points; i++) {
        EXPECT_LT(e.values[i - 1], e.values[i]) << "x " << i;
        EXPECT_LE(e.values[points + i - 1], e.values[points + i]) << "y " << i;
    }
}

TEST(ExamplePreset, DumpsEveryTableItShips) {
    auto store = loadedExample("example_preset.json");
    CapturedText c = captureText([&] {
        store->showEotf();
        store->showOetf();
        store->showGM();
    });
    // The matrices' corner coefficients are 1.660491 and 1.118730 (bt709),
    // 1.343578 and 1.016777 (dci-p3) in 16 fraction bits, each row's rounding
    // taken up by its diagonal so that the row sums to exactly 1.0.
    EXPECT_EQ(c.out,
              "showEotf(177)EOTF[st2084-pq]: 1000 nit, (0, 0) - (1023, 65535)\n"
              "showEotf(177)EOTF[st2084-pq]: 2000 nit, (0, 0) - (1023, 65535)\n"
              "showEotf(177)EOTF[st2084-pq]: 4000 nit, (0, 0) - (1023, 65535)\n"
              "showEotf(177)EOTF[st2084-pq]: 10000 nit, (0, 0) - (1023, 65535)\n"
              "showEotf(177)EOTF[hlg]: 1000 nit, (0, 0) - (1023, 65535)\n"
              "showEotf(177)EOTF[hlg]: 2000 nit, (0, 0) - (1023, 65535)\n"
              "showOetf(195)OETF[srgb]: 0 nit <- 0 nit, (0, 0) - (65535, 1023)\n"
              "showOetf(195)OETF[srgb]: 500 nit <- 1000 nit, (0, 0) - (65535, 1023)\n"
              "showOetf(195)OETF[srgb]: 500 nit <- 4000 nit, (0, 0) - (65535, 1023)\n"
              "showOetf(195)OETF[srgb]: 1000 nit <- 1000 nit, (0, 0) - (65535, 1023)\n"
              "showOetf(195)OETF[srgb]: 1000 nit <- 4000 nit, (0, 0) - (65535, 1023)\n"
              "showOetf(195)OETF[gamma2.2]: 500 nit <- 1000 nit, (0, 0) - (65535, 1023)\n"
              "showOetf(195)OETF[gamma2.2]: 500 nit <- 4000 nit, (0, 0) - (65535, 1023)\n"
              "showOetf(195)OETF[gamma2.2]: 1000 nit <- 1000 nit, (0, 0) - (65535, 1023)\n"
              "showOetf(195)OETF[gamma2.2]: 1000 nit <- 4000 nit, (0, 0) - (65535, 1023)\n"
              "showGM(211)GM[bt2020 -> bt709]:(108822, 73318)\n"
              "showGM(211)GM[bt2020 -> dci-p3]:(88053, 66635)\n");
}

TEST(ExamplePreset, TablesAscendOnTheirScalesAndMatricesKeepWhite) {
    for (const char* name : {"example_preset.json", "minimal_preset.json"}) {
        SCOPED_TRACE(name);
        auto store = loadedExample(name);
        for (const auto& table : store->eotfTables) {
            for (const LutEntry& e : table) expectMonotonicTable(e, 65, 1023, 65535);
        }
        for (const auto& table : store->oetfTables) {
            for (const OetfRoot& root : table) {
                for (const LutEntry& e : root.entries) expectMonotonicTable(e, 33, 65535, 1023);
            }
        }
        ASSERT_FALSE(store->gamutMappings.empty());
        for (const GamutMappingEntry& g : store->gamutMappings) {
            for (int row = 0; row < 3; row++) {
                const int* m = g.matrix + 3 * row;
                EXPECT_EQ(m[0] + m[1] + m[2], 65536) << "row " << row;
            }
        }
    }
}

TEST(ExamplePreset, PqTablesFollowTheTransferFunction) {
    auto store = loadedExample("example_preset.json");
    ASSERT_FALSE(store->eotfTables[7].empty());
    for (const LutEntry& e : store->eotfTables[7]) {
        for (size_t i = 0; i < 65; i++) {
            const double p = std::pow(e.values[i] / 1023.0, 32.0 / 2523);
            const double nits = 10000 * std::pow(std::fmax(p - 3424.0 / 4096, 0.0) /
                                                     (2413.0 / 128 - 2392.0 / 128 * p),
                                                 16384.0 / 2610);
            const double expected = std::fmin(65535 * nits / e.luminance, 65535);
            EXPECT_NEAR(e.values[65 + i], expected, 0.5 + 1e-6)
                << e.luminance << " nit, code " << e.values[i];
        }
    }
}

}  // namespace
