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

// Every sentence about a bad entry, read from text, where plain entries no
// longer pass through a tree: the words and kinds of the tree reader, frame
// by frame. And the odd values the tree reader takes, taken the same.
TEST(JsonEntries, BadEntriesFromTextKeepEveryMessage) {
    const std::string entry = R"({"TargetedSystemDisplayMaximumLuminance": 400, "SceneId": 2,
      "LuminanceParameters": {"AverageRGB": 263, "MaxScl": [7768, 6589, 6912],
        "LuminanceDistributions": {"DistributionIndex": [1, 50, 99],
                                   "DistributionValues": [7, 6080, 5843]}},
      "BezierCurveData": {"KneePointX": 164, "KneePointY": 240, "Anchors": [143, 298, 447]}})";
    auto with = [&](const std::string& from, const std::string& to) {
        std::string text = entry;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const std::string sixteen = "[0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15]";
    struct Case {
        std::string entry;
        ErrorKind kind;
        std::string message;
    };
    const std::vector<Case> cases{
        {with(": 400", ": 400.5"), ErrorKind::Invalid,
         "TargetedSystemDisplayMaximumLuminance is not a whole number (400.5)"},
        {with(": 400", ": \"400\""), ErrorKind::Invalid,
         "TargetedSystemDisplayMaximumLuminance is not a number (\"400\")"},
        {with("\"TargetedSystemDisplayMaximumLuminance\"", "\"Peak\""), ErrorKind::Invalid,
         "TargetedSystemDisplayMaximumLuminance is missing"},
        {with("\"SceneId\": 2", "\"SceneId\": -2"), ErrorKind::OutOfRange,
         "SceneId is negative (-2)"},
        {with("\"SceneId\": 2", "\"SceneId\": null"), ErrorKind::Invalid,
         "SceneId is not a number (null)"},
        {with("\"SceneId\": 2", "\"SceneId\": 4294967296"), ErrorKind::OutOfRange,
         "SceneId is 4294967296, above the largest allowed value 4294967295"},
        {with("\"LuminanceParameters\": {", "\"LuminanceParameters\": 5, \"X\": {"),
         ErrorKind::Invalid, "LuminanceParameters is not an object (5)"},
        {with("\"LuminanceParameters\"", "\"Luminance\""), ErrorKind::Invalid,
         "LuminanceParameters is missing"},
        {with("[7768, 6589, 6912]", "{\"r\": 1}"), ErrorKind::Invalid,
         "LuminanceParameters.MaxScl is not an array ({\"r\":1})"},
        {with("[7768, 6589, 6912]", "[1, 2]"), ErrorKind::Invalid,
         "LuminanceParameters.MaxScl has 2 entries, expected 3"},
        {with("[7768, 6589, 6912]", "[1, 2, 3, 4]"), ErrorKind::OutOfRange,
         "LuminanceParameters.MaxScl has 4 entries, more than 3"},
        {with("[7768, 6589, 6912]", "[1, 4294967296, 3]"), ErrorKind::OutOfRange,
         "LuminanceParameters.MaxScl[1] is 4294967296, above the largest allowed value "
         "4294967295"},
        {with("\"AverageRGB\": 263", "\"AverageRGB\": true"), ErrorKind::Invalid,
         "LuminanceParameters.AverageRGB is not a number (true)"},
        {with("\"LuminanceDistributions\": {", "\"LuminanceDistributions\": [], \"X\": {"),
         ErrorKind::Invalid, "LuminanceParameters.LuminanceDistributions is not an object ([])"},
        {with("[1, 50, 99]", "[1, 50]"), ErrorKind::Invalid,
         "LuminanceParameters.LuminanceDistributions has 2 DistributionIndex entries but 3 "
         "DistributionValues"},
        {with("[1, 50, 99]", "[1, 50, 49]"), ErrorKind::OutOfRange,
         "LuminanceParameters.LuminanceDistributions.DistributionIndex[2] is 49, below the "
         "entry before it (50)"},
        {with("[1, 50, 99]", "[1, 50, 101]"), ErrorKind::OutOfRange,
         "LuminanceParameters.LuminanceDistributions.DistributionIndex[2] is 101, above the "
         "largest allowed value 100"},
        {with("\"DistributionValues\"", "\"Values\""), ErrorKind::Invalid,
         "LuminanceParameters.LuminanceDistributions.DistributionValues is missing"},
        {with("\"BezierCurveData\": {", "\"BezierCurveData\": null, \"X\": {"),
         ErrorKind::Invalid, "BezierCurveData is not an object (null)"},
        {with("\"KneePointX\": 164", "\"KneePointX\": 4095.5"), ErrorKind::OutOfRange,
         "BezierCurveData.KneePointX is 4095.5, above the largest allowed value 4095"},
        {with("\"KneePointY\": 240", "\"KneePointY\": 4096"), ErrorKind::OutOfRange,
         "BezierCurveData.KneePointY is 4096, above the largest allowed value 4095"},
        {with("\"KneePointY\"", "\"KneeY\""), ErrorKind::Invalid,
         "BezierCurveData.KneePointY is missing"},
        {with("[143, 298, 447]", "[143, 1024]"), ErrorKind::OutOfRange,
         "BezierCurveData.Anchors[1] is 1024, above the largest allowed value 1023"},
        {with("[143, 298, 447]", sixteen), ErrorKind::OutOfRange,
         "BezierCurveData.Anchors has 16 entries, more than 15"},
    };
    std::string text = "{\"SceneInfo\": [" + entry;
    for (const Case& c : cases) text += ",\n" + c.entry;
    text += "]}";
    const Result<JsonDocument> read = readJsonDocument(text.data(), text.size());
    ASSERT_TRUE(read.ok()) << read.status().message();
    ASSERT_EQ(read->frameCount, cases.size() + 1);
    ASSERT_EQ(read->errors.size(), cases.size());
    for (size_t i = 0; i < cases.size(); i++) {
        const Status& e = read->errors[i];
        EXPECT_EQ(e.where().frame, i + 1);
        EXPECT_EQ(e.kind(), cases[i].kind) << cases[i].message;
        EXPECT_EQ(e.message(), cases[i].message);
    }
    EXPECT_EQ(entryByEntry(text), whole(text));

    // Taken by the tree reader: whole numbers written as reals, minus zero,
    // and of a key given twice, the last.
    const std::string odd = "{\"SceneInfo\": [" + with(": 400", ": 4e2") + "," +
                            with("\"SceneId\": 2", "\"SceneId\": -0") + "," +
                            with("\"SceneId\": 2", "\"SceneId\": 2, \"SceneId\": 5") + "," +
                            with("\"KneePointX\": 164", "\"KneePointX\": 165.0") + "]}";
    const Result<JsonDocument> taken = readJsonDocument(odd.data(), odd.size());
    ASSERT_TRUE(taken.ok());
    ASSERT_EQ(taken->frames.size(), 4u) << entryMessage(taken->errors.at(0));
    EXPECT_EQ(taken->frames[0].frame.targeted_system_display_maximum_luminance, 400u);
    EXPECT_EQ(taken->frames[1].frame.scene_id, 0u);
    EXPECT_EQ(taken->frames[2].frame.scene_id, 5u);
    EXPECT_EQ(taken->frames[3].frame.windows.at(0).tone_curve->knee_point_x, 165u);
    EXPECT_EQ(entryByEntry(odd), whole(odd));
}

}  // namespace
}  // namespace kestrel::hdr10plus
