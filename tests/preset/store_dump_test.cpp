// SPDX-License-Identifier: Apache-2.0
// The dumps print one line per stored table with its first and last point,
// masked to the field widths of the hardware words.
#include <gtest/gtest.h>

#include "support/capture.h"

#include "preset/Hdr10Lut.h"
#include "store_fill.h"

using kestrel_test::CapturedText;
using kestrel_test::captureText;

namespace {

TEST(StoreDump, EotfLinesByTransferIndexWithTenAndSixteenBitFields) {
    auto store = quietStore();
    LutEntry pq = makeEntry(1000, 65);
    pq.values[0] = 0x7c00 | 3;   // x first: 10-bit field 3
    pq.values[65] = 0xabcd0001;  // y first: 16-bit field 1
    pq.values[64] = 0xfffffbff;  // x last: 1023
    pq.values[129] = 0x1ffff;    // y last: 65535
    store->eotfTables[7] = {pq, makeEntry(4000, 65)};
    store->eotfTables[8] = {makeEntry(1000, 65)};
    store->eotfTables[1] = {makeEntry(0xffffffff, 65)};

    CapturedText c = captureText([&] { store->showEotf(); });
    EXPECT_EQ(c.out,
              "showEotf(177)EOTF[linear]: -1 nit, (0, 65) - (64, 129)\n"
              "showEotf(177)EOTF[st2084-pq]: 1000 nit, (3, 1) - (1023, 65535)\n"
              "showEotf(177)EOTF[st2084-pq]: 4000 nit, (0, 65) - (64, 129)\n"
              "showEotf(177)EOTF[hlg]: 1000 nit, (0, 65) - (64, 129)\n");
    EXPECT_EQ(c.err, "");
}

TEST(StoreDump, OetfLinesPerEntryWithSixteenAndTenBitFields) {
    auto store = quietStore();
    LutEntry srgb = makeEntry(1000, 33);
    srgb.values[0] = 0x10005;  // x first: 16-bit field 5
    srgb.values[33] = 0x7ff;   // y first: 10-bit field 1023
    srgb.values[32] = 0xffff;  // x last
    srgb.values[65] = 0x400;   // y last: 10-bit field 0
    store->oetfTables[2] = {OetfRoot{0, {makeEntry(0, 33)}},
                            OetfRoot{500, {makeEntry(0, 33), srgb}}};
    store->oetfTables[4] = {OetfRoot{1000, {makeEntry(4000, 33)}}};

    CapturedText c = captureText([&] { store->showOetf(); });
    EXPECT_EQ(c.out,
              "showOetf(195)OETF[srgb]: 0 nit <- 0 nit, (0, 33) - (32, 65)\n"
              "showOetf(195)OETF[srgb]: 500 nit <- 0 nit, (0, 33) - (32, 65)\n"
              "showOetf(195)OETF[srgb]: 500 nit <- 1000 nit, (5, 1023) - (65535, 0)\n"
              "showOetf(195)OETF[gamma2.2]: 1000 nit <- 4000 nit, (0, 33) - (32, 65)\n");
}

TEST(StoreDump, GamutLinesInLoadOrderWithFirstAndLastCoefficient) {
    auto store = quietStore();
    store->gamutMappings = {
        GamutMappingEntry{kBt2020, kBt709, {108824, 2, 3, 4, 5, 6, 7, 8, -73317}},
        GamutMappingEntry{0xb0000, 0x30000, {-1, 0, 0, 0, 0, 0, 0, 0, 2147483647}},
        GamutMappingEntry{kBt2020, kDciP3, {9, 0, 0, 0, 0, 0, 0, 0, 10}},
    };

    CapturedText c = captureText([&] { store->showGM(); });
    EXPECT_EQ(c.out,
              "showGM(211)GM[bt2020 -> bt709]:(108824, -73317)\n"
              "showGM(211)GM[adobe rgb -> bt601-625 unadjusted]:(-1, 2147483647)\n"
              "showGM(211)GM[bt2020 -> dci-p3]:(9, 10)\n");
}

TEST(StoreDump, ShortHandFilledEntriesDoNotReadPastTheirWords) {
    auto store = quietStore();
    store->eotfTables[7] = {LutEntry{1000, {7, 8}}};
    store->oetfTables[2] = {OetfRoot{0, {LutEntry{0, {}}}}};
    store->gamutMappings = {GamutMappingEntry{0x3f0000, kBt709, {1, 0, 0, 0, 0, 0, 0, 0, 1}}};

    CapturedText c = captureText([&] {
        store->showEotf();
        store->showOetf();
        store->showGM();
    });
    EXPECT_EQ(c.out,
              "showEotf(177)EOTF[st2084-pq]: 1000 nit, (7, 0) - (0, 0)\n"
              "showOetf(195)OETF[srgb]: 0 nit <- 0 nit, (0, 0) - (0, 0)\n"
              "showGM(211)GM[unknown -> bt709]:(1, 1)\n");
}

}  // namespace
