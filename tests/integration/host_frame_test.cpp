// SPDX-License-Identifier: Apache-2.0
// Frames driven through the loaded plug-in's virtual interface, the way the
// display-composition host drives it.
#include <gtest/gtest.h>

#include <cstring>

#include "metadata/VelmorHdrDynamicInfo.h"
#include "plugin_host.h"
#include "support/capture.h"
#include "support/knee_example.h"

using namespace kestrel_test;

namespace {
constexpr int kBt709Srgb = 0x10000 | 0x800000 | 0x8000000;
constexpr int kBt2020Pq = 0x60000 | 0x1C00000 | 0x8000000;
}  // namespace

TEST(HostFrame, PassThroughFrameThroughTheVirtualInterface) {
    LoadedPlugin plugin(KESTREL_PLUGIN_PATH);
    ASSERT_TRUE(plugin.ok()) << plugin.error();
    auto writer = plugin.newWriter();
    ASSERT_NE(writer, nullptr);

    hdrCoef* block = nullptr;
    Captured c = capture([&] {
        EXPECT_TRUE(writer->setTargetInfo(kBt709Srgb, nullptr));
        writer->setTargetDisplayLuminance(0, 500);
        EXPECT_TRUE(writer->setLayerStaticMetadata(0, kBt709Srgb, 0, 100));
        EXPECT_TRUE(writer->setLayerImageInfo(0, 0, true));
        block = writer->getParams();
    });
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(c.out.size(), 4u);
    EXPECT_EQ(block->coefFlag, 1u);
    EXPECT_EQ(block->oetfFlag, 1u);
    EXPECT_EQ(block->eotfFlag, 1u);
    EXPECT_EQ(block->gamutFlag, 1u);
    EXPECT_EQ(block->toneFlag, 1u);
    writer->putParams(block);
}

TEST(HostFrame, StaticHdr10LayerFailsWithTheEmptyDefaultStore) {
    LoadedPlugin plugin(KESTREL_PLUGIN_PATH);
    ASSERT_TRUE(plugin.ok()) << plugin.error();
    auto writer = plugin.newWriter();
    Captured c = capture([&] {
        writer->setLayerStaticMetadata(0, kBt2020Pq, 0, 1000);
        EXPECT_EQ(writer->getParams(), nullptr);
    });
    EXPECT_EQ(c.err, std::vector<std::string>{"E/liborrin: no EOTF is defined for st2084-pq"});
}

TEST(HostFrame, Hdr10PlusLayerGetsItsToneTableAndLeavesStaticSectionsAlone) {
    LoadedPlugin plugin(KESTREL_PLUGIN_PATH);
    ASSERT_TRUE(plugin.ok()) << plugin.error();
    auto writer = plugin.newWriter();
    _VelmorHdrDynamicInfo record = kneeExampleRecord();
    const _VelmorHdrDynamicInfo original = record;

    hdrCoef* block = nullptr;
    Captured c = capture([&] {
        writer->setTargetInfo(kBt709Srgb, nullptr);
        // The layer's peak differs from the target's, which alone decides
        // the curve: with the two swapped the table would be made for 4000.
        writer->setTargetDisplayLuminance(0, 1000);
        writer->setLayerStaticMetadata(0, kBt2020Pq, 0, 4000);
        writer->setLayerOpaqueData(0, &record, sizeof record);
        writer->setLayerStaticMetadata(1, kBt709Srgb, 0, 100);
        block = writer->getParams();
    });
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(c.err.empty());

    uint32_t x[33], y[33];
    expectedKneeExampleTable(x, y);
    for (int i = 0; i < 33; i++) {
        EXPECT_EQ(block->toneX[i], x[i]) << i;
        EXPECT_EQ(block->toneY[i], y[i]) << i;
    }
    std::vector<std::string> writes;
    for (const auto& line : c.out)
        if (line.rfind("write(376)", 0) == 0) writes.push_back(line);
    ASSERT_EQ(writes.size(), 66u);
    for (int i = 0; i < 33; i++) {
        const std::string head = "write(376)coef_regs[" + std::to_string(i) + "] : ";
        EXPECT_EQ(writes[i], head + std::to_string(static_cast<int32_t>(x[i])));
        EXPECT_EQ(writes[33 + i], head + std::to_string(static_cast<int32_t>(y[i])));
    }
    EXPECT_EQ(writes[65], "write(376)coef_regs[32] : -56933");

    // The block was zero-filled when it was made; nothing static was written.
    for (uint32_t w : block->oetfTable) ASSERT_EQ(w, 0u);
    for (uint32_t w : block->eotfTable) ASSERT_EQ(w, 0u);
    for (int32_t w : block->gamutMatrix) ASSERT_EQ(w, 0);
    // The host's record is read, never written.
    EXPECT_EQ(std::memcmp(&record, &original, sizeof record), 0);

    hdrCoef hostBlock{};
    writer->getTM(&hostBlock);
    EXPECT_EQ(std::memcmp(hostBlock.toneX, x, sizeof x), 0);
    EXPECT_EQ(std::memcmp(hostBlock.toneY, y, sizeof y), 0);
    EXPECT_EQ(hostBlock.toneFlag, 0u);
}

TEST(HostFrame, FourHdr10PlusLayersFitAndAFifthLayerFails) {
    LoadedPlugin plugin(KESTREL_PLUGIN_PATH);
    ASSERT_TRUE(plugin.ok()) << plugin.error();
    auto writer = plugin.newWriter();
    _VelmorHdrDynamicInfo records[4] = {kneeExampleRecord(), kneeExampleRecord(),
                                        kneeExampleRecord(), kneeExampleRecord()};
    Captured c = capture([&] {
        writer->setTargetDisplayLuminance(0, 1000);
        for (int i = 0; i < 4; i++) {
            writer->setLayerStaticMetadata(i, kBt2020Pq, 0, 1000);
            writer->setLayerOpaqueData(i, &records[i], sizeof records[i]);
        }
        EXPECT_NE(writer->getParams(), nullptr);
    });
    EXPECT_TRUE(c.err.empty());

    c = capture([&] {
        for (int i = 0; i < 4; i++) writer->setLayerStaticMetadata(i, kBt2020Pq, 0, 1000);
        writer->setLayerStaticMetadata(9, kBt709Srgb, 0, 100);  // would pass through
        EXPECT_EQ(writer->getParams(), nullptr);
    });
    EXPECT_EQ(c.err, std::vector<std::string>{"E/liborrin: Too many HDR conversion required"});
}

TEST(HostFrame, LoadingTheLibraryBuildsTheEmptyGlobalStore) {
    std::unique_ptr<LoadedPlugin> plugin;
    Captured c = capture([&] { plugin = std::make_unique<LoadedPlugin>(KESTREL_PLUGIN_PATH); });
    ASSERT_TRUE(plugin->ok()) << plugin->error();
    EXPECT_EQ(c.err, std::vector<std::string>{
                         "D/liborrin: Loading HDR10 preset from no hdr10 preset file"});
    EXPECT_TRUE(c.out.empty());  // the dumps of an empty store print nothing
}
