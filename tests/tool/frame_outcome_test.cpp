// SPDX-License-Identifier: Apache-2.0
// `kestrel frame` says what the plug-in did with each layer (the block's
// flag words are always 1 and cannot), --require-block fails a layer that
// needed tables and got none, and the block comes as JSON and as a C array.
#include <gtest/gtest.h>

#include <string>

#include "tool/cli_test_support.h"

namespace kestrel::tool::test {
namespace {

// The test plug-in's preset: EOTF st2084-pq at 1000 and 4000 nit, one sRGB
// OETF for a 500 nit product from 1000 nit, a bt2020 -> bt709 matrix.
const std::string kPlugin = KESTREL_TEST_PRESET_PLUGIN;

std::string layer(int index, const char* dataspace, unsigned nits) {
    return R"({"index": )" + std::to_string(index) + R"(, "dataspace": ")" + dataspace +
           R"(", "max_luminance": )" + std::to_string(nits) + "}";
}

// Every kind of outcome on a bt709 sRGB target of 600 nit, then a PQ layer
// on a PQ target, below and above its peak, then a transfer with no table.
std::string outcomeScript(const TempDir& dir) {
    return dir.write(
        "outcomes.json",
        R"({"target": {"dataspace": "bt709 srgb", "max_luminance": 600}, "frames": [
          {"layers": [)" +
            layer(0, "bt2020 st2084-pq", 900) + ", " + layer(1, "bt2020 st2084-pq", 5000) + ", " +
            layer(2, "bt2020 st2084-pq", 1000) + ", " + layer(3, "bt709 srgb", 100) + R"(]},
          {"target": {"dataspace": "bt2020 st2084-pq", "max_luminance": 800},
           "layers": [)" +
            layer(0, "bt2020 st2084-pq", 800) + ", " + layer(1, "bt2020 st2084-pq", 4000) + R"(]},
          {"layers": [)" +
            layer(0, "bt2020 hlg", 1000) + ", " + layer(1, "bt2020 st2084-pq", 1000) + R"(]}
        ]})");
}

bool has(const std::string& text, const std::string& line) {
    return text.find(line) != std::string::npos;
}

TEST(FrameOutcome, EachLayerSaysWhatWasDoneAndWithWhichEntries) {
    TempDir dir;
    ToolRun run = runTool({"frame", outcomeScript(dir), "--plugin", kPlugin, "--quiet"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char* line : {
             // 900 nit takes the 1000 nit EOTF; the 600 nit target the 500 nit product.
             "  outcome of layer 0: converted (conversion 0): EOTF[st2084-pq] 1000 nit (nearest "
             "above the layer's 900 nit), GM bt2020 -> bt709, OETF[srgb] 500 nit <- 1000 nit (the "
             "largest product peak, below the target's 600 nit; nearest above the layer's 900 "
             "nit)\n",
             "  outcome of layer 1: converted (conversion 1): EOTF[st2084-pq] 4000 nit (the "
             "largest, below the layer's 5000 nit), GM bt2020 -> bt709, OETF[srgb] 500 nit <- "
             "1000 nit (the largest product peak, below the target's 600 nit; the largest, below "
             "the layer's 5000 nit)\n",
             // The same EOTF and gamut entries as layer 0: its number again.
             "  outcome of layer 2: repeated conversion 0 of layer 0: EOTF[st2084-pq] 1000 nit, "
             "GM bt2020 -> bt709\n",
             "  outcome of layer 3: pass-through (conversion 2): a gamma layer on a gamma target\n",
             // 800 nit on an 800 nit target needs nothing; 4000 nit does.
             "  outcome of layer 0: pass-through (conversion 0): the target's transfer, and no GM "
             "bt2020 -> bt2020 in the preset\n",
             "  outcome of layer 1: pass-through (conversion 0): the target's transfer, and no GM "
             "bt2020 -> bt2020 in the preset; the layer's 4000 nit are above the target's 800 "
             "nit: it needed tables and got none\n",
             "  outcome of layer 0: failed: no EOTF table for hlg in the preset, so getParams() "
             "returns null\n",
             "  outcome of layer 1: not reached: getParams() stopped at an earlier layer\n",
             "3 frames, 1 without a block\n"
             "1 layer passed through that needed tables (brighter than the target)\n",
         }) {
        EXPECT_TRUE(has(run.out, line)) << line << "\nin:\n" << run.out;
    }
}

TEST(FrameOutcome, RequireBlockFailsALayerThatNeededTables) {
    TempDir dir;
    // Only the PQ-on-PQ frame: every frame gets a block, yet a layer got no tables.
    const std::string script = dir.write(
        "pq.json", R"({"target": {"dataspace": "bt2020 st2084-pq", "max_luminance": 800},
          "frames": [{"layers": [)" + layer(0, "bt2020 st2084-pq", 4000) + "]}]}");
    ToolRun plain = runTool({"frame", script, "--plugin", kPlugin, "--quiet"});
    EXPECT_EQ(plain.status, 0) << plain.err;
    // One frame and one layer are counted in the singular.
    EXPECT_TRUE(has(plain.out,
                    "\n1 frame, 0 without a block\n1 layer passed through that needed tables "
                    "(brighter than the target)\n"))
        << plain.out;
    ToolRun run = runTool({"frame", script, "--plugin", kPlugin, "--quiet", "--require-block"});
    EXPECT_EQ(run.status, 3) << run.out;
    EXPECT_EQ(run.err,
              "kestrel frame: --require-block: 0 frames without a block, 1 layer passed "
              "through that needed tables\n");

    // At the target's peak exactly, a pass-through is what the layer needs.
    const std::string equal = dir.write(
        "equal.json", R"({"target": {"dataspace": "bt2020 st2084-pq", "max_luminance": 800},
          "frames": [{"layers": [)" + layer(0, "bt2020 st2084-pq", 800) + "]}]}");
    ToolRun atPeak = runTool({"frame", equal, "--plugin", kPlugin, "--quiet", "--require-block"});
    EXPECT_EQ(atPeak.status, 0) << atPeak.out << atPeak.err;
}

TEST(FrameOutcome, JsonCarriesTheOutcomesAndTheBlock) {
    TempDir dir;
    ToolRun run = runTool({"frame", outcomeScript(dir), "--plugin", kPlugin, "--format", "json",
                           "--require-block"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 3);
    Json::Value doc = parseJson(run.out);
    ASSERT_TRUE(doc.isObject()) << run.out;
    EXPECT_EQ(doc["version"].asInt(), 1);
    EXPECT_EQ(doc["frames_without_block"].asInt(), 1);
    EXPECT_EQ(doc["layers_needing_tables"].asInt(), 1);
    ASSERT_EQ(doc["frames"].size(), 3u);

    const Json::Value& first = doc["frames"][0];
    EXPECT_TRUE(first["block_returned"].asBool());
    const Json::Value& l0 = first["layers"][0];
    EXPECT_EQ(l0["layer"].asInt(), 0);
    EXPECT_EQ(l0["outcome"].asString(), "converted");
    EXPECT_EQ(l0["conversion"].asInt(), 0);
    EXPECT_EQ(l0["eotf"]["transfer"].asString(), "st2084-pq");
    EXPECT_EQ(l0["eotf"]["luminance"].asInt(), 1000);
    EXPECT_EQ(l0["eotf"]["requested"].asInt(), 900);
    EXPECT_EQ(l0["eotf"]["choice"].asString(), "nearest-above");
    EXPECT_EQ(l0["gamut"]["source"].asString(), "bt2020");
    EXPECT_EQ(l0["gamut"]["target"].asString(), "bt709");
    EXPECT_EQ(l0["oetf"]["product_peak"].asInt(), 500);
    EXPECT_EQ(l0["oetf"]["requested_peak"].asInt(), 600);
    EXPECT_EQ(l0["oetf"]["luminance"].asInt(), 1000);
    EXPECT_FALSE(l0["oetf"]["default"].asBool());
    EXPECT_FALSE(l0["needed_tables"].asBool());
    EXPECT_EQ(first["layers"][1]["eotf"]["choice"].asString(), "largest");
    EXPECT_EQ(first["layers"][2]["outcome"].asString(), "repeated");
    EXPECT_EQ(first["layers"][3]["outcome"].asString(), "pass-through");
    // The last layer converted wrote the block: the 4000 nit EOTF (y = 5000 + i).
    EXPECT_EQ(first["block"]["eotf"]["y"][0].asInt(), 5000);
    EXPECT_EQ(first["block"]["eotf"]["x"][64].asInt(), 1023);
    EXPECT_EQ(first["block"]["gamut"]["matrix"][8].asInt(), -9);
    EXPECT_EQ(first["block"]["oetf"]["y"][1].asInt(), 31);
    EXPECT_EQ(first["block"]["eotf"]["flag"].asInt(), 1);

    EXPECT_TRUE(doc["frames"][1]["layers"][1]["needed_tables"].asBool());
    const Json::Value& third = doc["frames"][2];
    EXPECT_FALSE(third["block_returned"].asBool());
    EXPECT_TRUE(third["block"].isNull());
    EXPECT_EQ(third["layers"][0]["outcome"].asString(), "failed");
    EXPECT_EQ(third["layers"][0]["reason"].asString(), "no EOTF table for hlg in the preset");
    EXPECT_EQ(third["layers"][1]["outcome"].asString(), "not-reached");
}

TEST(FrameOutcome, CArrayHoldsEveryWordOfTheBlock) {
    TempDir dir;
    const std::string script = dir.write(
        "one.json", R"({"target": {"dataspace": "bt709 srgb", "max_luminance": 500},
          "frames": [{"layers": [)" + layer(0, "bt2020 st2084-pq", 1000) + R"(]},
                     {"layers": [)" + layer(0, "bt2020 hlg", 1000) + "]}]}");
    ToolRun run = runTool({"frame", script, "--plugin", kPlugin, "--format", "c"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.err;
    // Nothing but C: no plug-in lines, no report.
    EXPECT_EQ(run.out.find("| "), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("getParams(): returned"), std::string::npos) << run.out;
    for (const char* text : {
             "#include <stdint.h>\n",
             "\n/* frame 0 */\nstatic const uint32_t kestrel_frame0_block[354] = {\n"
             "    /* 0: coefFlag */\n    0x00000001u,\n    /* 1: reserved0 */\n    0x00000000u,\n"
             "    /* 2: oetfFlag */\n    0x00000001u,\n    /* 3: oetfTable: 33 x, then 33 y */\n"
             "    0x00000000u, 0x000007ffu, 0x00000ffeu,",
             // 4000 nit is not asked for: y = 1000 + i.
             "    /* 134: eotfTable: 65 x, then 65 y */\n",
             "    /* 268: gamutMatrix, row-major (int32_t words) */\n    0x00000001u, 0x00000002u, "
             "0x00000003u, 0x00000004u, 0x00000005u, 0x00000006u, 0x00000007u, 0x00000008u,\n"
             "    0xfffffff7u,\n",
             "    /* 347: reserved4 */\n",
             "\n/* frame 1: getParams() returned null */\n",
         }) {
        EXPECT_TRUE(has(run.out, text)) << text << "\nin:\n" << run.out;
    }
    // 354 words, each once.
    const size_t from = run.out.find("kestrel_frame0_block");
    const size_t to = run.out.find("};", from);
    size_t words = 0;
    for (size_t at = run.out.find("0x", from); at < to; at = run.out.find("0x", at + 1)) words++;
    EXPECT_EQ(words, 354u);
}

}  // namespace
}  // namespace kestrel::tool::test
