// SPDX-License-Identifier: Apache-2.0
// The piecewise JSON writer against the JSON library's own indented writer
// (prettyJson): every value and every way of building a document must give
// the same bytes, since stored outputs and scripts compare them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "clip/json_file.h"
#include "clip/styled_json.h"
#include "hdr10plus/internal/json_layout.h"
#include "hdr10plus/internal/json_value.h"

namespace kestrel::clip {
namespace {

std::string styled(const Json::Value& value) {
    std::string out;
    StyledJsonWriter writer(out);
    writer.value(value);
    writer.finish();
    return out;
}

TEST(StyledJson, ScalarsAsTheLibraryWritesThem) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Json::Value> values{
        Json::Value(),
        Json::Value(true),
        Json::Value(false),
        Json::Value(0),
        Json::Value(-1),
        Json::Value(static_cast<Json::Int64>(INT64_MIN)),
        Json::Value(static_cast<Json::UInt64>(UINT64_MAX)),
        Json::Value(static_cast<Json::UInt>(4294967295u)),
        Json::Value(0.0),
        Json::Value(-0.0),
        Json::Value(1.0),  // a whole double keeps ".0"
        Json::Value(600.0),
        Json::Value(0.1),
        Json::Value(1e21),  // exponent, no ".0"
        Json::Value(1e300),
        Json::Value(5e-324),
        Json::Value(123456789012345678.0),
        Json::Value(std::nan("")),
        Json::Value(inf),
        Json::Value(-inf),
        Json::Value(""),
        Json::Value("frame 7: /path/a b.json"),
        Json::Value("quote \" backslash \\ tab \t newline \n"),
        Json::Value("control \x01\x1f del \x7f"),
        Json::Value("17.8 times (33.7 -> 600 cd/m\xc2\xb2)"),
        Json::Value("not UTF-8 \xff\xfe end"),
        Json::Value("astral \xf0\x9f\x8e\xac"),
        Json::Value(std::string("nul \0 inside", 12)),
    };
    for (const Json::Value& v : values) EXPECT_EQ(styled(v), prettyJson(v)) << prettyJson(v);
}

Json::Value sampleDocument() {
    Json::Value root;
    root["b"]["empty_object"] = Json::Value(Json::objectValue);
    root["b"]["empty_array"] = Json::Value(Json::arrayValue);
    root["a"] = Json::Value(Json::arrayValue);
    root["a"].append(1);
    root["a"].append(Json::Value(Json::arrayValue));
    root["a"].append(Json::Value(Json::objectValue));
    root["a"][3]["x"] = 2.5;
    root["a"][4].append("s");
    root["key \"quoted\" \xc2\xb2"] = "v";
    root["Z"] = Json::Value();  // upper case sorts before lower case
    root["ab"] = 1;              // a prefix sorts first
    return root;
}

TEST(StyledJson, NestedAndEmptyContainersInEveryPlace) {
    EXPECT_EQ(styled(sampleDocument()), prettyJson(sampleDocument()));
    EXPECT_EQ(styled(Json::Value(Json::objectValue)), "{}\n");
    EXPECT_EQ(styled(Json::Value(Json::arrayValue)), "[]\n");
}

// Trees of every shape up to a few levels: the writer and the library agree
// whatever the nesting.
Json::Value randomValue(std::mt19937& random, int depth) {
    const int kind = static_cast<int>(random() % (depth > 3 ? 5 : 8));
    switch (kind) {
        case 0: return Json::Value(static_cast<Json::Int64>(random()) - 0x7fffffff);
        case 1: return Json::Value(std::ldexp(static_cast<double>(random()), -16) - 3e4);
        case 2: return Json::Value(random() % 2 == 0);
        case 3: return Json::Value();
        case 4: return Json::Value(std::string(random() % 4, static_cast<char>('a' + random() % 26)));
        case 5:
        case 6: {
            Json::Value array(Json::arrayValue);
            for (unsigned n = random() % 4; n > 0; n--) array.append(randomValue(random, depth + 1));
            return array;
        }
        default: {
            Json::Value object(Json::objectValue);
            for (unsigned n = random() % 4; n > 0; n--)
                object[std::string(1, static_cast<char>('A' + random() % 40))] =
                    randomValue(random, depth + 1);
            return object;
        }
    }
}

TEST(StyledJson, RandomTreesMatchTheLibrary) {
    std::mt19937 random(7);
    for (int i = 0; i < 500; i++) {
        const Json::Value v = randomValue(random, 0);
        ASSERT_EQ(styled(v), prettyJson(v)) << "tree " << i;
    }
}

// The document of sampleDocument() built member by member, with array "a"
// streamed as separately formatted elements in two runs.
TEST(StyledJson, StreamedDocumentEqualsTheTree) {
    const Json::Value tree = sampleDocument();
    std::string out;
    StyledJsonWriter writer(out);
    writer.beginObject();
    writer.key("Z");
    writer.value(tree["Z"]);
    writer.key("a");
    writer.beginArray();
    std::string first, rest;
    appendStyledElement(first, tree["a"][0], writer.elementDepth(), writer.elementCount() == 0);
    appendStyledElement(first, tree["a"][1], writer.elementDepth(), false);
    writer.elements(first, 2);
    for (Json::ArrayIndex i = 2; i < tree["a"].size(); i++)
        appendStyledElement(rest, tree["a"][i], writer.elementDepth(), writer.elementCount() == 0);
    writer.elements(rest, tree["a"].size() - 2);
    writer.endArray();
    writer.key("ab");
    writer.value(1);
    writer.key("b");
    writer.beginObject();
    writer.key("empty_array");
    writer.beginArray();  // nothing goes in: "[]" on the key's line
    writer.endArray();
    writer.key("empty_object");
    writer.beginObject();
    writer.endObject();
    writer.endObject();
    writer.key("key \"quoted\" \xc2\xb2");
    writer.value("v");
    writer.endObject();
    writer.finish();
    EXPECT_EQ(out, prettyJson(tree));
}

TEST(StyledJson, StreamedArraysOfObjectsAndEmptyRuns) {
    Json::Value tree(Json::arrayValue);
    tree.append(Json::Value(Json::objectValue));
    tree[0]["k"] = Json::Value(Json::arrayValue);
    tree[0]["k"].append(Json::Value(Json::objectValue));
    std::string out;
    StyledJsonWriter writer(out);
    writer.beginArray();
    writer.elements("", 0);  // an empty run leaves the array unopened
    writer.beginObject();
    writer.key("k");
    writer.beginArray();
    writer.beginObject();
    writer.endObject();
    writer.endArray();
    writer.endObject();
    writer.endArray();
    writer.finish();
    EXPECT_EQ(out, prettyJson(tree));
}

// Entries written from the frame, member by member, are the bytes of the
// frame's tree written as an element: for every optional part present or
// not, at the ends of the values, first in the array or after others.
TEST(StyledJson, EntriesFromTheFrameAreTheTreesElements) {
    using namespace hdr10plus;
    Frame full;
    full.targeted_system_display_maximum_luminance = UINT32_MAX;
    full.scene_id = 7;
    full.scene_frame_index = 0;
    full.sequence_frame_index = 123456;
    full.windows.resize(2);  // the layout writes window 0 only
    full.windows[0].maxscl = {1, 20, 300};
    full.windows[0].average_maxrgb = 4000;
    full.windows[0].distribution = {{1, 5}, {50, 60}, {100, UINT32_MAX}};
    full.windows[0].tone_curve = ToneCurve{4095, 0, {1023, 0, 512}};
    std::vector<Frame> frames{full, Frame{}};
    Frame bare = full;
    bare.scene_id.reset();
    bare.sequence_frame_index.reset();
    bare.windows.resize(1);
    bare.windows[0].distribution.clear();
    bare.windows[0].tone_curve->bezier_curve_anchors.clear();
    frames.push_back(bare);
    bare.scene_frame_index.reset();
    bare.scene_id = 0;
    bare.windows[0].tone_curve.reset();
    frames.push_back(bare);

    for (unsigned depth : {1u, 2u, 5u}) {
        for (size_t before : {size_t{0}, size_t{3}}) {
            std::string tree, direct;
            StyledJsonWriter writer(direct, depth, before);
            for (size_t i = 0; i < frames.size(); i++) {
                appendStyledElement(tree, writeJsonFrame(frames[i]), depth, before + i == 0);
                writeJsonEntry(frames[i], writer);
            }
            EXPECT_EQ(direct, tree) << depth << " " << before;
        }
    }

    // One of them in full, as the layout has always been written.
    std::string one;
    StyledJsonWriter writer(one, 1, 0);
    writeJsonEntry(frames[3], writer);
    EXPECT_EQ(one, R"(
  {
    "LuminanceParameters" : 
    {
      "AverageRGB" : 4000,
      "LuminanceDistributions" : 
      {
        "DistributionIndex" : [],
        "DistributionValues" : []
      },
      "MaxScl" : 
      [
        1,
        20,
        300
      ]
    },
    "NumberOfWindows" : 1,
    "SceneId" : 0,
    "TargetedSystemDisplayMaximumLuminance" : 4294967295
  })");
}

}  // namespace
}  // namespace kestrel::clip
