// SPDX-License-Identifier: Apache-2.0
// The command writer as the host sees it: setters and their diagnostic
// lines, the per-frame selection, the block's life, and getTM.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "plugin/IDPUHdr10CommandWriter.h"
#include "store_fixture.h"
#include "support/capture.h"

using kestrel_test::capture;
using namespace kestrel_test;

namespace {

std::unique_ptr<IDPUHdr10CommandWriter> newWriter() {
    return std::unique_ptr<IDPUHdr10CommandWriter>(IDPUHdr10CommandWriter::createInstance());
}

size_t countLinesStartingWith(const std::vector<std::string>& lines, const std::string& head) {
    size_t n = 0;
    for (const auto& l : lines) n += l.rfind(head, 0) == 0;
    return n;
}

}  // namespace

TEST(CommandWriter, NewWriterHasNothingToConvertAndNoBlock) {
    auto w = newWriter();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->getParams(), nullptr);
    hdrCoef dst;
    std::memset(&dst, 0xAB, sizeof dst);
    w->getTM(&dst);  // no block yet: nothing to copy
    const auto* bytes = reinterpret_cast<const unsigned char*>(&dst);
    for (size_t i = 0; i < sizeof dst; i++) ASSERT_EQ(bytes[i], 0xAB) << i;
    w->getTM(nullptr);
    w->putParams(nullptr);
}

TEST(CommandWriter, SettersPrintTheirLinesExactly) {
    auto w = newWriter();
    int record[78] = {};
    auto c = capture([&] {
        EXPECT_TRUE(w->setLayerStaticMetadata(3, 0x9C60000, 5, 1000));
        EXPECT_TRUE(w->setLayerStaticMetadata(4, -1, 0, 4294967295u));
        EXPECT_TRUE(w->setLayerOpaqueData(3, record, 312));
        EXPECT_TRUE(w->setLayerImageInfo(3, 77, true));
        EXPECT_TRUE(w->setLayerImageInfo(15, 0, false));
        EXPECT_TRUE(w->setTargetInfo(0x8810000, nullptr));
        w->setTargetDisplayLuminance(1, 600);
    });
    char pointerLine[128];
    std::snprintf(pointerLine, sizeof pointerLine, "setLayerOpaqueData(481)meta@@ : %p",
                  static_cast<void*>(record));
    std::vector<std::string> expected = {
        "setLayerStaticMetadata(466)index : 3, dataspace : 163971072, min_luminance : 5, "
        "max_luminance : 1000",
        "setLayerStaticMetadata(466)index : 4, dataspace : -1, min_luminance : 0, "
        "max_luminance : -1",
        pointerLine,
        "setLayerImageInfo(486)index : 3, alpha_premult : true",
        "setLayerImageInfo(486)index : 15, alpha_premult : false",
        "setTargetInfo(493)mTargetDataspace : 142671872",
        "setTargetDisplayLuminance(499)min_luminance : 1, max_luminance : 600",
    };
    EXPECT_EQ(c.out, expected);
    EXPECT_TRUE(c.err.empty());
}

TEST(CommandWriter, LayerIndexOutsideRangeChangesNothingAndPrintsNothing) {
    auto w = newWriter();
    unsigned char record[312] = {};
    auto c = capture([&] {
        for (int index : {-1, 16, 1 << 30}) {
            EXPECT_FALSE(w->setLayerStaticMetadata(index, kBt709Srgb, 0, 100));
            EXPECT_FALSE(w->setLayerOpaqueData(index, record, 312));
            EXPECT_FALSE(w->setLayerImageInfo(index, 0, true));
        }
    });
    EXPECT_TRUE(c.out.empty());
    EXPECT_EQ(w->getParams(), nullptr);  // nothing was selected
}

TEST(CommandWriter, OpaqueDataIsKeptOnlyAtTheRecordSize) {
    auto w = newWriter();
    unsigned char record[313] = {};
    auto c = capture([&] {
        EXPECT_FALSE(w->setLayerOpaqueData(0, record, 311));
        EXPECT_FALSE(w->setLayerOpaqueData(0, record, 313));
        EXPECT_FALSE(w->setLayerOpaqueData(0, record, 0));
    });
    EXPECT_TRUE(c.out.empty());

    // A refused size clears a record registered earlier: the layer then goes
    // the static way (an sRGB layer on the sRGB target passes through) and
    // no tone-mapping table is written.
    capture([&] { EXPECT_TRUE(w->setLayerOpaqueData(0, record, 312)); });
    capture([&] { EXPECT_FALSE(w->setLayerOpaqueData(0, record, 311)); });
    c = capture([&] {
        w->setLayerStaticMetadata(0, kBt709Srgb, 0, 100);
        EXPECT_NE(w->getParams(), nullptr);
    });
    EXPECT_EQ(countLinesStartingWith(c.out, "write(376)"), 0u);
}

TEST(CommandWriter, ImageInfoOrOpaqueDataAloneSelectNoLayer) {
    auto w = newWriter();
    unsigned char record[312] = {};
    capture([&] {
        w->setLayerImageInfo(0, 0, true);
        w->setLayerOpaqueData(1, record, 312);
    });
    EXPECT_EQ(w->getParams(), nullptr);
}

TEST(CommandWriter, PassThroughFrameReturnsZeroFilledBlockWithFlagsSet) {
    auto w = newWriter();
    hdrCoef* block = nullptr;
    auto c = capture([&] {
        w->setLayerStaticMetadata(0, kBt709Srgb, 0, 100);  // default target is sRGB
        block = w->getParams();
    });
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(c.err.empty());
    const uint32_t* words = reinterpret_cast<const uint32_t*>(block);
    for (int i = 0; i < 354; i++) {
        bool flag = i == 0 || i == 2 || i == 133 || i == 267 || i == 280;
        EXPECT_EQ(words[i], flag ? 1u : 0u) << "word " << i;
    }
}

TEST(CommandWriter, SelectionLastsOneFrameAndBlockKeepsItsAddress) {
    auto w = newWriter();
    hdrCoef* first = nullptr;
    capture([&] {
        w->setLayerStaticMetadata(0, kBt709Srgb, 0, 100);
        first = w->getParams();
    });
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(w->getParams(), nullptr);  // selection cleared by the first call

    // A failing frame clears it too: a PQ layer with an empty store fails.
    capture([&] {
        w->setLayerStaticMetadata(1, kBt2020Pq, 0, 1000);
        EXPECT_EQ(w->getParams(), nullptr);
    });
    EXPECT_EQ(w->getParams(), nullptr);

    hdrCoef* later = nullptr;
    capture([&] {
        w->setLayerStaticMetadata(2, kBt709Gamma22, 0, 100);
        later = w->getParams();
    });
    EXPECT_EQ(later, first);
}

TEST(CommandWriter, GetTMCopiesOnlyTheToneMappingWords) {
    auto w = newWriter();
    hdrCoef* block = nullptr;
    capture([&] {
        w->setLayerStaticMetadata(0, kBt709Srgb, 0, 100);
        block = w->getParams();
    });
    ASSERT_NE(block, nullptr);
    // Give every word of the writer's block a distinct value.
    auto* src = reinterpret_cast<uint32_t*>(block);
    for (uint32_t i = 0; i < 354; i++) src[i] = 0x10000 + i;

    hdrCoef dst;
    std::memset(&dst, 0xAB, sizeof dst);
    w->getTM(&dst);
    const auto* d = reinterpret_cast<const unsigned char*>(&dst);
    const auto* s = reinterpret_cast<const unsigned char*>(block);
    for (size_t i = 0; i < sizeof dst; i++) {
        if (i >= 1124 && i <= 1387) {
            ASSERT_EQ(d[i], s[i]) << "byte " << i;
        } else {
            ASSERT_EQ(d[i], 0xAB) << "byte " << i;
        }
    }
}

class CommandWriterWithStore : public GlobalStoreTest {};

TEST_F(CommandWriterWithStore, LayersAreConvertedInIndexOrderWhateverTheSetOrder) {
    fillPqToSrgb();
    auto w = newWriter();
    hdrCoef* block = nullptr;
    capture([&] {
        w->setTargetInfo(kBt709Srgb, nullptr);
        w->setLayerStaticMetadata(5, kBt2020Pq, 0, 4000);
        w->setLayerStaticMetadata(2, kBt2020Pq, 0, 1000);
        block = w->getParams();
    });
    ASSERT_NE(block, nullptr);
    // Layer 5 comes last and leaves its tables: the 4000-nit EOTF and the
    // 4000-nit OETF entry.
    EXPECT_EQ(block->eotfTable[0], 40000u);
    EXPECT_EQ(block->eotfTable[129], 40129u);
    EXPECT_EQ(block->oetfTable[0], 4100u);
    EXPECT_EQ(block->gamutMatrix[0], 700);
}

TEST_F(CommandWriterWithStore, FailingLayerEndsTheWalkAndKeepsEarlierTables) {
    fillPqToSrgb();
    auto w = newWriter();
    Captured c = capture([&] {
        w->setLayerStaticMetadata(2, kBt2020Pq, 0, 1000);
        w->setLayerStaticMetadata(5, kBt2020Hlg, 0, 1000);  // no HLG EOTF in the store
        w->setLayerStaticMetadata(7, kBt2020Pq, 0, 4000);   // never looked at
        EXPECT_EQ(w->getParams(), nullptr);
    });
    EXPECT_EQ(c.err, std::vector<std::string>{"E/liborrin: no EOTF is defined for hlg"});

    // The block is only reachable through a successful call: a pass-through
    // frame shows what the failed call left in it.
    hdrCoef* block = nullptr;
    capture([&] {
        w->setLayerStaticMetadata(0, kBt709Srgb, 0, 100);
        block = w->getParams();
    });
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->eotfTable[0], 10000u);  // layer 2's, not layer 7's
    EXPECT_EQ(block->oetfTable[65], 1165u);
}

TEST_F(CommandWriterWithStore, TargetPeakDefaultsTo100AndFollowsTheSetter) {
    fillPqToSrgb();
    OetfRoot dim{100, {makeEntry(0, 66, 900)}};
    gHdr10Lut.oetfTables[2].insert(gHdr10Lut.oetfTables[2].begin(), dim);
    auto w = newWriter();
    hdrCoef* block = nullptr;
    capture([&] {
        w->setLayerStaticMetadata(0, kBt2020Pq, 0, 1000);
        block = w->getParams();
    });
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->oetfTable[0], 900u);  // root for 100 nits

    capture([&] {
        w->setTargetDisplayLuminance(0, 400);
        w->setLayerStaticMetadata(0, kBt2020Pq, 0, 1000);
        block = w->getParams();
    });
    EXPECT_EQ(block->oetfTable[0], 1100u);  // root for 500 nits, 1000-nit entry
}

TEST_F(CommandWriterWithStore, RegisteredRecordPersistsAcrossFrames) {
    auto w = newWriter();
    unsigned char record[312] = {};
    capture([&] { w->setLayerOpaqueData(1, record, 312); });
    for (int frame = 0; frame < 2; frame++) {
        Captured c = capture([&] {
            // A PQ layer with dynamic metadata does not need the (empty) store.
            w->setLayerStaticMetadata(1, kBt2020Pq, 0, 1000);
            EXPECT_NE(w->getParams(), nullptr);
        });
        EXPECT_EQ(countLinesStartingWith(c.out, "write(376)coef_regs["), 66u) << frame;
    }
}
