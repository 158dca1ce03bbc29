// SPDX-License-Identifier: Apache-2.0
// A document read entry by entry (each entry's tree on its own) must be the
// document read whole: the same frames, the same errors in the same words,
// and for text that is not a plain document, the whole reader's verdict.
#include <gtest/gtest.h>

#include <cstdint>
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

// Read on several threads, a document is the one read on the caller's: bad
// entries on either side of where the parts meet keep their numbers and
// words, and an entry that does not parse alone in the last part still
// sends the whole document to the whole reader.
TEST(JsonEntries, ThreadsGiveTheDocumentOfOneThread) {
    const std::string good = kGood, bad = kBad;
    auto document = [&](size_t count, size_t odd, const std::string& oddEntry) {
        std::string text = "{\"SceneInfo\": [";
        for (size_t i = 0; i < count; i++) {
            const bool isBad = i % 97 == 5 || i == 1032 || i == 1033;
            text += (i > 0 ? "," : "") + (i == odd ? oddEntry : isBad ? bad : good);
        }
        return text + "]}";
    };
    // 2066 entries: two parts of 1033 on two threads, four parts of 516 or
    // 517 (never fewer than 512 an entry) on eight.
    std::vector<std::string> documents{
        document(2066, SIZE_MAX, ""),
        document(2066, 2060, std::string(1100, '[') + std::string(1100, ']')),
        document(3, SIZE_MAX, ""),
        document(0, SIZE_MAX, ""),
    };
    for (const std::string& text : documents) {
        const std::string one = describe(readJsonDocument(text.data(), text.size(), 1));
        EXPECT_EQ(one, describe(readJsonDocument(text.data(), text.size())));
        for (unsigned threads : {0u, 2u, 3u, 8u})
            EXPECT_EQ(describe(readJsonDocument(text.data(), text.size(), threads)), one)
                << threads << " threads, " << text.size() << " bytes";
    }
    const std::string first = documents[0];
    const Result<JsonDocument> read = readJsonDocument(first.data(), first.size(), 8);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read->frameCount, 2066u);
    ASSERT_NE(read->errorOf(1033), nullptr);
    EXPECT_EQ(entryMessage(*read->errorOf(1033)),
              "frame 1033: TargetedSystemDisplayMaximumLuminance is negative (-4)");
    EXPECT_EQ(read->errorOf(1034), nullptr);
    // Too deep for the parser: the whole reader's verdict, on any thread count.
    const Result<JsonDocument> deep = readJsonDocument(documents[1].data(), documents[1].size(), 8);
    ASSERT_FALSE(deep.ok());
    EXPECT_EQ(deep.status().message().rfind("not valid JSON: ", 0), 0u) << deep.status().message();
}

}  // namespace
}  // namespace kestrel::hdr10plus
