// SPDX-License-Identifier: Apache-2.0
// Fills the library's global preset store directly (its members are public)
// with small recognisable tables, and empties it again after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "plugin/global_store.h"

namespace kestrel_test {

// Dataspaces: standard | transfer | range.
constexpr int kBt2020Pq = 0x60000 | 0x1C00000 | 0x8000000;
constexpr int kBt2020Hlg = 0x60000 | 0x2000000 | 0x8000000;
constexpr int kP3Pq = 0xA0000 | 0x1C00000 | 0x8000000;
constexpr int kBt709Srgb = 0x10000 | 0x800000 | 0x8000000;
constexpr int kBt709Gamma22 = 0x10000 | 0x1000000 | 0x8000000;
constexpr int kBt2020Srgb = 0x60000 | 0x800000 | 0x8000000;
constexpr int kSrgbTransfer = 0x800000;

inline LutEntry makeEntry(unsigned luminance, unsigned words, unsigned base) {
    LutEntry e{luminance, {}};
    for (unsigned i = 0; i < words; i++) e.values.push_back(base + i);
    return e;
}

inline void clearStore(Hdr10Lut& store) {
    for (auto& t : store.eotfTables) t.clear();
    for (auto& t : store.oetfTables) t.clear();
    store.gamutMappings.clear();
}

class GlobalStoreTest : public testing::Test {
protected:
    void SetUp() override { clearStore(gHdr10Lut); }
    void TearDown() override { clearStore(gHdr10Lut); }

    // PQ EOTFs at 1000 and 4000 nits, HLG none; an sRGB OETF root at 500
    // nits with entries for 1000 and 4000; bt2020 -> bt709 matrix.
    void fillPqToSrgb() {
        gHdr10Lut.eotfTables[7].push_back(makeEntry(1000, 130, 10000));
        gHdr10Lut.eotfTables[7].push_back(makeEntry(4000, 130, 40000));
        OetfRoot root{500, {}};
        root.entries.push_back(makeEntry(1000, 66, 1100));
        root.entries.push_back(makeEntry(4000, 66, 4100));
        gHdr10Lut.oetfTables[2].push_back(root);
        addGamut(0x60000, 0x10000, 7);
    }
    void addGamut(unsigned source, unsigned target, int base) {
        GamutMappingEntry g{source, target, {}};
        for (int i = 0; i < 9; i++) g.matrix[i] = base * 100 - i;
        gHdr10Lut.gamutMappings.push_back(g);
    }
};

}  // namespace kestrel_test
