// SPDX-License-Identifier: Apache-2.0
// Lookups by dataspace and luminance on a store filled by hand, and the
// messages of the lookups that find nothing.
#include <gtest/gtest.h>

#include <climits>

#include "support/capture.h"

#include "preset/Hdr10Lut.h"
#include "store_fill.h"

using kestrel_test::CapturedText;
using kestrel_test::captureText;

namespace {

class StoreLookup : public testing::Test {
protected:
    void SetUp() override {
        // Quiet the constructor's notice so it does not reach the next capture.
        captureText([&] { store = std::make_unique<Hdr10Lut>(); });
    }
    std::unique_ptr<Hdr10Lut> store;
};

TEST_F(StoreLookup, EotfTakesSmallestKeyNotBelowRequestElseGreatest) {
    store->eotfTables[7] = {makeEntry(1000, 65, 1), makeEntry(4000, 65, 2)};
    const auto k1000 = store->eotfTables[7].begin();
    const auto k4000 = k1000 + 1;

    CapturedText c = captureText([&] {
        EXPECT_EQ(store->getEotf(kPq, 0), k1000);
        EXPECT_EQ(store->getEotf(kPq, 1000), k1000);
        EXPECT_EQ(store->getEotf(kPq, 1001), k4000);
        EXPECT_EQ(store->getEotf(kPq, 4000), k4000);
        EXPECT_EQ(store->getEotf(kPq, 10000), k4000);
        EXPECT_EQ(store->getEotf(kPq, UINT_MAX), k4000);
        // Standard and range bits do not select the table.
        EXPECT_EQ(store->getEotf(kPq | kBt2020 | kRangeFull, 1000), k1000);
    });
    EXPECT_EQ(c.err, "");
    EXPECT_EQ(c.out, "");
}

TEST_F(StoreLookup, EotfAmongEqualKeysTakesFirstInTableOrder) {
    store->eotfTables[8] = {makeEntry(1000, 65, 1), makeEntry(1000, 65, 2)};
    EXPECT_EQ(store->getEotf(kHlg, 500), store->eotfTables[8].begin());
}

TEST_F(StoreLookup, TransferIndexNineOrMoreIsUnsupportedEvenWithTablesFilled) {
    for (auto& table : store->eotfTables) table = {makeEntry(1000, 65)};
    for (auto& table : store->oetfTables) table = {OetfRoot{500, {makeEntry(0, 33)}}};

    CapturedText c = captureText([&] {
        EXPECT_EQ(store->getEotf(0x2400000, 1000), store->eotfNoMatch());       // index 9
        EXPECT_EQ(store->getOetfRoot(0x3fc60000, 1000), store->oetfNoMatch());  // index 31
    });
    EXPECT_EQ(c.err,
              "E/liborrin: dataspace 0x2400000 is not supported for EOTF\n"
              "E/liborrin: dataspace 0x3fc60000 is not supported for OETF\n");
}

TEST_F(StoreLookup, EmptyTableNamesTheTransfer) {
    CapturedText c = captureText([&] {
        EXPECT_EQ(store->getEotf(kPq | kBt2020, 1000), store->eotfNoMatch());
        EXPECT_EQ(store->getOetfRoot(kSrgb, 100), store->oetfNoMatch());
        EXPECT_EQ(store->getEotf(0, 0), store->eotfNoMatch());
    });
    EXPECT_EQ(c.err,
              "E/liborrin: no EOTF is defined for st2084-pq\n"
              "E/liborrin: no OETF is defined for srgb\n"
              "E/liborrin: no EOTF is defined for unspecified\n");
}

TEST_F(StoreLookup, OetfRootTakesSmallestPeakNotBelowRequestElseGreatest) {
    store->oetfTables[2] = {OetfRoot{0, {makeEntry(0, 33)}}, OetfRoot{500, {makeEntry(0, 33)}},
                            OetfRoot{1000, {makeEntry(0, 33)}}};
    const auto roots = store->oetfTables[2].begin();

    CapturedText c = captureText([&] {
        EXPECT_EQ(store->getOetfRoot(kSrgb, 0), roots);
        EXPECT_EQ(store->getOetfRoot(kSrgb, 1), roots + 1);
        EXPECT_EQ(store->getOetfRoot(kSrgb | kBt709, 500), roots + 1);
        EXPECT_EQ(store->getOetfRoot(kSrgb, 501), roots + 2);
        EXPECT_EQ(store->getOetfRoot(kSrgb, 5000), roots + 2);
    });
    EXPECT_EQ(c.err, "");
}

TEST_F(StoreLookup, OetfEntryWithinRootByLuminance) {
    store->oetfTables[2] = {
        OetfRoot{500, {makeEntry(0, 33, 1), makeEntry(1000, 33, 2), makeEntry(4000, 33, 3)}}};
    auto root = store->oetfTables[2].begin();
    const auto entries = root->entries.begin();

    EXPECT_EQ(store->getOetf(root, 0), entries);
    EXPECT_EQ(store->getOetf(root, 1), entries + 1);
    EXPECT_EQ(store->getOetf(root, 1000), entries + 1);
    EXPECT_EQ(store->getOetf(root, 1001), entries + 2);
    EXPECT_EQ(store->getOetf(root, 40000), entries + 2);
}

TEST_F(StoreLookup, RootWithOnlyALuminanceZeroEntryAlwaysYieldsIt) {
    store->oetfTables[4] = {OetfRoot{0, {makeEntry(0, 33)}}};
    auto root = store->oetfTables[4].begin();
    for (unsigned int luminance : {0u, 1u, 1000u, UINT_MAX}) {
        EXPECT_EQ(store->getOetf(root, luminance), root->entries.begin()) << luminance;
    }
}

TEST_F(StoreLookup, GamutMatchesStandardsOnlyAndFirstOfDuplicates) {
    store->gamutMappings = {
        GamutMappingEntry{kBt709, kBt2020, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        GamutMappingEntry{kBt2020, kBt709, {2, 0, 0, 0, 2, 0, 0, 0, 2}},
        GamutMappingEntry{kBt2020, kBt709, {3, 0, 0, 0, 3, 0, 0, 0, 3}},
        GamutMappingEntry{kBt2020, kDciP3, {4, 0, 0, 0, 4, 0, 0, 0, 4}},
    };
    const auto first = store->gamutMappings.begin();

    CapturedText c = captureText([&] {
        // Any transfer and range on either side; the stored pair is ordered.
        EXPECT_EQ(store->getGamutMapping(kBt2020 | kPq | kRangeFull, kBt709 | kSrgb), first + 1);
        EXPECT_EQ(store->getGamutMapping(kBt709, kBt2020 | kHlg), first);
        EXPECT_EQ(store->getGamutMapping(kBt2020, kDciP3), first + 3);
        EXPECT_EQ(store->getGamutMapping(kDciP3, kBt2020), store->gamutNoMatch());
        EXPECT_EQ(store->getGamutMapping(kBt2020, kBt2020), store->gamutNoMatch());
    });
    EXPECT_EQ(c.err, "");  // a gamut miss is not an error
}

TEST(StoreConstruction, EmptyStoreLogsNoPresetFilePrintsNothingAndFindsNothing) {
    std::unique_ptr<Hdr10Lut> store;
    CapturedText built = captureText([&] { store = std::make_unique<Hdr10Lut>(); });
    EXPECT_EQ(built.err, "D/liborrin: Loading HDR10 preset from no hdr10 preset file\n");
    EXPECT_EQ(built.out, "");

    CapturedText dumped = captureText([&] {
        store->showEotf();
        store->showOetf();
        store->showGM();
    });
    EXPECT_EQ(dumped.out, "");

    captureText([&] {
        for (unsigned int t = 0; t < 9; t++) {
            EXPECT_EQ(store->getEotf(t << 22, 1000), store->eotfNoMatch());
            EXPECT_EQ(store->getOetfRoot(t << 22, 1000), store->oetfNoMatch());
        }
    });
    EXPECT_EQ(store->getGamutMapping(kBt2020, kBt709), store->gamutNoMatch());
}

}  // namespace
