// SPDX-License-Identifier: Apache-2.0
// The conversion writer: which conversion a layer needs, how conversions are
// numbered within one call, the limit of four, and what reaches the block.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugin/HDRMatrixWriter.h"
#include "store_fixture.h"
#include "support/capture.h"
#include "support/knee_example.h"

using namespace kestrel_test;

namespace {

constexpr uint32_t kNotWritten = 0xDEADBEEF;
constexpr uint32_t kPq = 0x1C00000;
constexpr uint32_t kHlg = 0x2000000;
constexpr uint32_t kBt2020 = 0x60000;
constexpr uint32_t kBt709 = 0x10000;
constexpr uint32_t kP3 = 0xA0000;

class ConversionWriter : public GlobalStoreTest {
protected:
    void SetUp() override {
        GlobalStoreTest::SetUp();
        std::memset(&block, 0, sizeof block);
    }

    // Runs one static configure and returns {result, conversion number}.
    std::pair<uint32_t, uint32_t> convert(HDRMatrixWriter& w, uint32_t dataspace,
                                          uint32_t maxLuminance, uint32_t targetPeak = 500) {
        uint32_t index = kNotWritten;
        uint32_t result = w.configure(dataspace, maxLuminance, targetPeak, &index);
        return {result, index};
    }

    hdrCoef block;
};

using Result = std::pair<uint32_t, uint32_t>;

}  // namespace

TEST_F(ConversionWriter, GammaLayersOnGammaTargetsPassThroughWithoutTheStore) {
    // The store is empty: a lookup would fail, so these never look anything up.
    for (uint32_t target : {0x800000u, 0xC00000u, 0x1000000u}) {
        HDRMatrixWriter w(target | kBt709, &block);
        Captured c = capture([&] {
            EXPECT_EQ(convert(w, 0x800000 | kBt709, 100), Result(1, 0));
            EXPECT_EQ(convert(w, 0xC00000 | kBt2020, 100), Result(1, 0));
            EXPECT_EQ(convert(w, 0x1000000, 100), Result(1, 0));
        });
        EXPECT_TRUE(c.err.empty());
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(&block);
    for (size_t i = 0; i < sizeof block; i++) ASSERT_EQ(bytes[i], 0) << i;
}

TEST_F(ConversionWriter, PassThroughLayersShareTheNumberOfTheFirst) {
    fillPqToSrgb();
    HDRMatrixWriter w(kBt709Srgb, &block);
    capture([&] {
        EXPECT_EQ(convert(w, kBt709Srgb, 100), Result(1, 0));
        EXPECT_EQ(convert(w, kBt2020 | kPq, 1000), Result(2, 1));
        EXPECT_EQ(convert(w, kBt709Gamma22, 100), Result(1, 0));
        EXPECT_EQ(convert(w, kBt709Srgb, 100), Result(1, 0));
        // Two numbers are out, so two more new conversions fit.
        EXPECT_EQ(convert(w, kBt2020 | kPq, 4000), Result(2, 2));
    });
}

TEST_F(ConversionWriter, FifthNumberIsRefusedEvenForAPassThroughLayer) {
    fillPqToSrgb();
    gHdr10Lut.eotfTables[8].push_back(makeEntry(1000, 130, 80000));  // HLG
    addGamut(kP3, kBt709, 9);
    HDRMatrixWriter w(kBt709Srgb, &block);
    Captured c = capture([&] {
        EXPECT_EQ(convert(w, kBt2020 | kPq, 1000), Result(2, 0));
        EXPECT_EQ(convert(w, kBt2020 | kPq, 4000), Result(2, 1));
        EXPECT_EQ(convert(w, kBt2020 | kHlg, 1000), Result(2, 2));
        EXPECT_EQ(convert(w, kP3 | kPq, 1000), Result(2, 3));
        EXPECT_EQ(convert(w, kBt709Srgb, 100), Result(0, kNotWritten));
        // Even a repeat of a conversion that already has a number fails now.
        EXPECT_EQ(convert(w, kBt2020 | kPq, 1000), Result(0, kNotWritten));
    });
    std::vector<std::string> expected(2, "E/liborrin: Too many HDR conversion required");
    EXPECT_EQ(c.err, expected);
}

TEST_F(ConversionWriter, DynamicLayersTakeNewNumbersUntilFourAreOut) {
    HDRMatrixWriter w(kBt709Srgb, &block);
    unsigned char record[312] = {};
    auto* meta = reinterpret_cast<_VelmorHdrDynamicInfo*>(record);
    Captured c = capture([&] {
        for (uint32_t expected = 0; expected < 4; expected++) {
            uint32_t index = kNotWritten;
            EXPECT_EQ(w.configure(kBt2020 | kPq, meta, 500, 1000, &index), 2u);
            EXPECT_EQ(index, expected);
        }
        uint32_t index = kNotWritten;
        EXPECT_EQ(w.configure(kBt2020 | kPq, meta, 500, 1000, &index), 0u);
        EXPECT_EQ(index, kNotWritten);
        EXPECT_EQ(convert(w, kBt709Srgb, 100), Result(0, kNotWritten));
    });
    std::vector<std::string> expected(2, "E/liborrin: Too many HDR conversion required");
    EXPECT_EQ(c.err, expected);
}

TEST_F(ConversionWriter, DynamicLayerPrintsBothTablesAsItWritesThem) {
    HDRMatrixWriter w(kBt709Srgb, &block);
    _VelmorHdrDynamicInfo record = kneeExampleRecord();
    std::memset(block.eotfTable, 0x5A, sizeof block.eotfTable);
    Captured c = capture([&] {
        uint32_t index = kNotWritten;
        EXPECT_EQ(w.configure(kBt2020 | kPq, &record, 1000, 1000, &index), 2u);
    });
    uint32_t x[33], y[33];
    expectedKneeExampleTable(x, y);
    std::vector<std::string> writes;
    for (const auto& line : c.out)
        if (line.rfind("write(", 0) == 0) writes.push_back(line);
    ASSERT_EQ(writes.size(), 66u);
    for (int i = 0; i < 33; i++) {
        const std::string head = "write(376)coef_regs[" + std::to_string(i) + "] : ";
        EXPECT_EQ(writes[i], head + std::to_string(static_cast<int32_t>(x[i])));
        EXPECT_EQ(writes[33 + i], head + std::to_string(static_cast<int32_t>(y[i])));
        EXPECT_EQ(block.toneX[i], x[i]);
        EXPECT_EQ(block.toneY[i], y[i]);
    }
    EXPECT_EQ(writes[32], "write(376)coef_regs[32] : 33554432");
    EXPECT_EQ(writes[65], "write(376)coef_regs[32] : -56933");
    // The static sections are not the dynamic path's business.
    const auto* eotf = reinterpret_cast<const unsigned char*>(block.eotfTable);
    for (size_t i = 0; i < sizeof block.eotfTable; i++) ASSERT_EQ(eotf[i], 0x5A);
}

TEST_F(ConversionWriter, EmptyOetfRootFailsBeforeWriting) {
    gHdr10Lut.eotfTables[7].push_back(makeEntry(1000, 130, 10000));
    gHdr10Lut.oetfTables[2].push_back(OetfRoot{500, {}});  // only a hand-filled store has this
    HDRMatrixWriter w(kBt709Srgb, &block);
    capture([&] { EXPECT_EQ(convert(w, kBt2020 | kPq, 1000), Result(0, kNotWritten)); });
    for (uint32_t word : block.eotfTable) ASSERT_EQ(word, 0u);
}

TEST_F(ConversionWriter, StaticConversionCopiesEotfMatrixAndOetf) {
    fillPqToSrgb();
    std::memset(block.reserved1, 0x77, sizeof block.reserved1);
    HDRMatrixWriter w(kBt709Srgb, &block);
    capture([&] { EXPECT_EQ(convert(w, kBt2020 | kPq, 1000), Result(2, 0)); });
    for (uint32_t i = 0; i < 130; i++) EXPECT_EQ(block.eotfTable[i], 10000 + i);
    for (int i = 0; i < 9; i++) EXPECT_EQ(block.gamutMatrix[i], 700 - i);
    for (uint32_t i = 0; i < 66; i++) EXPECT_EQ(block.oetfTable[i], 1100 + i);
    // Words 69 to 132 lie beyond the OETF table and are never touched.
    for (uint32_t word : block.reserved1) EXPECT_EQ(word, 0x77777777u);
}

TEST_F(ConversionWriter, RepeatedConversionSharesItsNumberAndWritesNothing) {
    fillPqToSrgb();
    HDRMatrixWriter w(kBt709Srgb, &block);
    capture([&] {
        EXPECT_EQ(convert(w, kBt2020 | kPq, 1000), Result(2, 0));  // A
        EXPECT_EQ(convert(w, kBt2020 | kPq, 4000), Result(2, 1));  // B
        EXPECT_EQ(convert(w, kBt2020 | kPq, 600), Result(2, 0));   // C: A's entries
    });
    EXPECT_EQ(block.eotfTable[0], 40000u);  // B's tables stay
    EXPECT_EQ(block.oetfTable[0], 4100u);
}

TEST_F(ConversionWriter, GamutMissKeepsTheEarlierMatrix) {
    fillPqToSrgb();
    gHdr10Lut.eotfTables[7].push_back(makeEntry(10000, 130, 90000));
    HDRMatrixWriter w(kBt709Srgb, &block);
    capture([&] {
        EXPECT_EQ(convert(w, kBt2020 | kPq, 1000), Result(2, 0));
        // dci-p3 -> bt709 has no matrix; the transfers differ, so it converts.
        EXPECT_EQ(convert(w, kP3 | kPq, 10000), Result(2, 1));
    });
    EXPECT_EQ(block.eotfTable[0], 90000u);
    EXPECT_EQ(block.oetfTable[0], 4100u);  // last entry: 10000 nits is above every key
    EXPECT_EQ(block.gamutMatrix[0], 700);  // still the first layer's matrix
}

TEST_F(ConversionWriter, SameTransferWithoutMatrixPassesThroughOnlyWithAnEotf) {
    HDRMatrixWriter w(kBt709 | kPq, &block);
    Captured c = capture([&] {
        EXPECT_EQ(convert(w, kBt2020 | kPq, 1000), Result(0, kNotWritten));
    });
    EXPECT_EQ(c.err, std::vector<std::string>{"E/liborrin: no EOTF is defined for st2084-pq"});

    gHdr10Lut.eotfTables[7].push_back(makeEntry(1000, 130, 10000));
    HDRMatrixWriter again(kBt709 | kPq, &block);
    capture([&] { EXPECT_EQ(convert(again, kP3 | kPq, 1000), Result(1, 0)); });
    EXPECT_EQ(block.eotfTable[0], 0u);
}

TEST_F(ConversionWriter, UnsupportedTransferOrMissingOetfFailsBeforeWriting) {
    fillPqToSrgb();
    HDRMatrixWriter w(kBt709Srgb, &block);
    Captured c = capture([&] {
        EXPECT_EQ(convert(w, 0x2400000 | kBt2020, 1000), Result(0, kNotWritten));
    });
    EXPECT_EQ(c.err,
              std::vector<std::string>{"E/liborrin: dataspace 0x2460000 is not supported for EOTF"});

    HDRMatrixWriter toGamma26(0x1400000 | kBt709, &block);  // no gamma 2.6 OETF
    c = capture([&] { EXPECT_EQ(convert(toGamma26, kBt2020 | kPq, 1000), Result(0, kNotWritten)); });
    EXPECT_EQ(c.err, std::vector<std::string>{"E/liborrin: no OETF is defined for gamma2.6"});
    const auto* bytes = reinterpret_cast<const unsigned char*>(&block);
    for (size_t i = 0; i < sizeof block; i++) ASSERT_EQ(bytes[i], 0) << i;
}
