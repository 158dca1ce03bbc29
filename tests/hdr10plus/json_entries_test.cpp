// SPDX-License-Identifier: Apache-2.0
// A document read entry by entry (each entry's tree on its own) must be the
// document read whole: the same frames, the same errors in the same words,
// and for text that is not a plain document, the whole reader's verdict.
#include <gtest/gtest.h>

#include <exception>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "hdr10plus/internal/json_entries.h"
#include "hdr10plus/internal/json_value.h"
#include "support/json_text.h"

namespace kestrel::hdr10plus {
namespace {

std::string describe(const Result<JsonDocument>& r) {
    if (!r.ok()) return "document: " + r.status().message();
    std::string text = std::to_string(r->frameCount) + " entries;";
    for (const JsonFrame& f : r->frames)
        text += " " + std::to_string(f.index) + "=" + writeJsonFrame(f.frame).toStyledString();
    for (const Status& e : r->errors) text += " " + entryMessage(e);
    return text;
}

// What the reader of parsed values gives for `text`, or the parse failure.
std::string whole(const std::string& text) {
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::istringstream in(text);
    std::string errors;
    try {
        if (!Json::parseFromStream(builder, in, &root, &errors)) return "not JSON";
    } catch (const std::exception&) {
        return "not JSON";  // nested deeper than the parser's stack limit
    }
    return describe(readJsonDocument(root));
}

std::string entryByEntry(const std::string& text) {
    Result<JsonDocument> r = readJsonDocument(text.data(), text.size());
    if (!r.ok() && r.status().message().rfind("not valid JSON", 0) == 0) return "not JSON";
    return describe(r);
}

const char* kGood = R"({"TargetedSystemDisplayMaximumLuminance": 400, "SceneId": 3,
  "LuminanceParameters": {"MaxScl": [1, 2, 3], "AverageRGB": 2}})";
const char* kBad = R"({"TargetedSystemDisplayMaximumLuminance": -4,
  "LuminanceParameters": {"MaxScl": [1, 2, 3]}})";

TEST(JsonEntries, FoundWhereTheyAreEvenWithBracesInStringsAndComments) {
    const std::string text = R"({"A": {"SceneInfo": 1}, "SceneInfo": [ {"k": "}{"} /* ] */, {},],
      "ToolInfo": []})";
    const auto entries = sceneInfoEntries(text.data(), text.size());
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ(text.substr((*entries)[0].first, (*entries)[0].second - (*entries)[0].first),
              R"({"k": "}{"})");
    EXPECT_EQ(text.substr((*entries)[1].first, (*entries)[1].second - (*entries)[1].first), "{}");
    // Not plain documents: left to the whole reader.
    for (const std::string& odd : std::vector<std::string>{"[]", R"({"SceneInfo": {}})", R"({"SceneInfo": [1]})",
                                  R"({"SceneInfo": [], "SceneInfo": [{}]})", R"({"SceneInfo": [{)",
                                  R"({"Other": [])", std::string(2000, '[')})
        EXPECT_FALSE(sceneInfoEntries(odd.data(), odd.size()).has_value()) << odd;
}

TEST(JsonEntries, EntryByEntryIsTheWholeDocument) {
    const std::string good = kGood, bad = kBad;
    std::vector<std::string> documents{
        "{\"SceneInfo\": [" + good + "," + bad + "," + good + "]}",
        "{\"SceneInfo\": []}",
        "{\"SceneInfo\": [" + good + "]} text after the document",
        "{\"SceneInfo\": [" + good + ", 5, \"x\"]}",
        "{\"SceneInfo\": [" + good + "], \"SceneInfo\": [" + bad + "]}",
        "{\"SceneInfo\": {\"a\": 1}}",
        "{\"SceneInfo\": [" + good + ",]}",
        "{\"SceneInfo\": [" + good + "] // comment\n}",
        "{\"SceneInfo\": [" + std::string(1100, '[') + std::string(1100, ']') + "]}",
        "{\"SceneInfo\": [" + good + "]",
        "[]",
        "",
    };
    const std::string dir = KESTREL_HDR10PLUS_DIR;
    for (const char* name : {"regular_metadata.json", "metadata-dhdr10-opt.json",
                             "verification-clips.json"}) {
        if (dir.empty()) break;
        std::ifstream in(dir + "/" + name, std::ios::binary);
        documents.push_back(std::string(std::istreambuf_iterator<char>(in), {}));
        ASSERT_GT(documents.back().size(), 100u) << name;
    }
    for (const std::string& text : documents)
        EXPECT_EQ(entryByEntry(text), whole(text)) << text.substr(0, 200);
}

}  // namespace
}  // namespace kestrel::hdr10plus
