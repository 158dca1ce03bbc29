// Frames driven through the loaded plug-in's virtual interface, the way the
// display-composition host drives it.
#include <gtest/gtest.h>

#include "plugin_host.h"
#include "support/capture.h"

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
