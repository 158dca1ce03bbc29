// SPDX-License-Identifier: Apache-2.0
// A plug-in built with a preset file converts static HDR10 layers with the
// file's own numbers: the block's EOTF, gamut and OETF words are the words
// the file gives for the entries the layer and target select.
#include <gtest/gtest.h>
#include <json/json.h>

#include <fstream>
#include <string>

#include "plugin_host.h"
#include "support/capture.h"

using namespace kestrel_test;

namespace {

constexpr int kBt2020Pq = 0x60000 | 0x1C00000 | 0x8000000;
constexpr int kBt2020Hlg = 0x60000 | 0x2000000 | 0x8000000;
constexpr int kBt709Srgb = 0x10000 | 0x800000 | 0x8000000;
constexpr int kP3Srgb = 0xA0000 | 0x800000 | 0x8000000;

Json::Value readPreset() {
    std::ifstream in(KESTREL_PRESET_PATH);
    Json::Value root;
    in >> root;
    return root;
}

// The file's entry with these exact keys (the test picks layers and targets
// whose keys the file has, so no lookup rule is involved).
const Json::Value& findEntry(const Json::Value& section, const std::string& function,
                             unsigned productPeak, unsigned maxLuminance) {
    for (const auto& e : section) {
        if (e["function"].asString() == function && e.get("product_peak", 0).asUInt() == productPeak &&
            e["max_luminance"].asUInt() == maxLuminance)
            return e;
    }
    ADD_FAILURE() << "no " << function << " entry " << productPeak << "/" << maxLuminance;
    static const Json::Value none;
    return none;
}

const Json::Value& findGamut(const Json::Value& section, const std::string& source,
                             const std::string& target) {
    for (const auto& e : section)
        if (e["source"].asString() == source && e["target"].asString() == target) return e;
    ADD_FAILURE() << "no gamut entry " << source << " -> " << target;
    static const Json::Value none;
    return none;
}

void expectTable(const uint32_t* words, const Json::Value& entry, unsigned points) {
    ASSERT_EQ(entry["x-values"].size(), points);
    for (unsigned i = 0; i < points; i++) {
        EXPECT_EQ(words[i], entry["x-values"][i].asUInt()) << "x " << i;
        EXPECT_EQ(words[points + i], entry["y-values"][i].asUInt()) << "y " << i;
    }
}

void expectMatrix(const int32_t* words, const Json::Value& entry) {
    ASSERT_EQ(entry["values"].size(), 9u);
    for (unsigned i = 0; i < 9; i++) EXPECT_EQ(words[i], entry["values"][i].asInt()) << i;
}

}  // namespace

TEST(PresetPlugin, StaticLayersTakeTheFilesWords) {
    std::unique_ptr<LoadedPlugin> plugin;
    Captured load = capture([&] { plugin = std::make_unique<LoadedPlugin>(KESTREL_PLUGIN_PATH); });
    ASSERT_TRUE(plugin->ok()) << plugin->error();
    ASSERT_FALSE(load.err.empty());
    EXPECT_EQ(load.err[0], std::string("D/liborrin: Loading HDR10 preset from ") + KESTREL_PRESET_PATH);
    EXPECT_FALSE(load.out.empty());  // the dumps of what was loaded

    const Json::Value preset = readPreset();
    auto writer = plugin->newWriter();

    // PQ 1000-nit content on a 1000-nit bt709 sRGB panel.
    hdrCoef* block = nullptr;
    Captured c = capture([&] {
        writer->setTargetInfo(kBt709Srgb, nullptr);
        writer->setTargetDisplayLuminance(0, 1000);
        writer->setLayerStaticMetadata(0, kBt2020Pq, 0, 1000);
        block = writer->getParams();
    });
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(c.err.empty());
    expectTable(block->eotfTable, findEntry(preset["eotf"], "st2084-pq", 0, 1000), 65);
    expectMatrix(block->gamutMatrix, findGamut(preset["gamut_mapping"], "bt2020", "bt709"));
    expectTable(block->oetfTable, findEntry(preset["oetf"], "srgb", 1000, 1000), 33);

    // HLG 2000-nit content on a 500-nit dci-p3 panel: the panel's root takes
    // the first entry for content of at least 2000 nits, its 4000-nit one.
    c = capture([&] {
        writer->setTargetInfo(kP3Srgb, nullptr);
        writer->setTargetDisplayLuminance(0, 500);
        writer->setLayerStaticMetadata(3, kBt2020Hlg, 0, 2000);
        block = writer->getParams();
    });
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(c.err.empty());
    expectTable(block->eotfTable, findEntry(preset["eotf"], "hlg", 0, 2000), 65);
    expectMatrix(block->gamutMatrix, findGamut(preset["gamut_mapping"], "bt2020", "dci-p3"));
    expectTable(block->oetfTable, findEntry(preset["oetf"], "srgb", 500, 4000), 33);
}
