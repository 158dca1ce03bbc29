// SPDX-License-Identifier: Apache-2.0
// The payload parser and writer on every HDR10+ payload of the sample
// streams, and the values they give against the JSON written for the same
// streams by another tool.
#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "hdr10plus/internal/json_value.h"
#include "hdr10plus/payload.h"
#include "hdr10plus/sei_payloads.h"

namespace kestrel::hdr10plus {
namespace {

using test::hdr10PlusPayloads;
using test::realDataDir;

#define REQUIRE_REAL_DATA() \
    if (realDataDir().empty()) GTEST_SKIP() << "no HDR10+ samples in this build"

std::string stream(const std::string& name) { return realDataDir() + "/streams/" + name; }

Json::Value readJson(const std::string& name) {
    std::ifstream in(realDataDir() + "/" + name);
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::string errors;
    EXPECT_TRUE(Json::parseFromStream(builder, in, &root, &errors)) << name << errors;
    return root;
}

// A "SceneInfo" entry without the scene positions, which a payload lacks.
Json::Value withoutScene(Json::Value entry) {
    for (const char* key : {"SceneId", "SceneFrameIndex", "SequenceFrameIndex"}) {
        entry.removeMember(key);
    }
    return entry;
}

std::string compact(const Json::Value& v) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, v);
}

Frame parsedOk(const std::vector<uint8_t>& payload, const std::string& where) {
    Result<Frame> r = parsePayload(payload.data(), payload.size());
    EXPECT_TRUE(r.ok()) << where << ": " << r.status().message();
    return r.ok() ? *r : Frame();
}

std::vector<std::string> sampleStreams() {
    std::vector<std::string> names = {"regular.hevc",      "regular_start_code_4.hevc",
                                      "dhdr10-opt.hevc",   "single-frame.hevc",
                                      "multimsg-sei.hevc", "invalid-null-byte-seq.hevc"};
    for (int n = 1; n <= 31; n++) {
        char name[32];
        std::snprintf(name, sizeof name, "ToS-s%02d.h265", n);
        names.push_back(name);
    }
    return names;
}

TEST(RealPayloads, EveryPayloadRoundTripsByteForByteAndValueForValue) {
    REQUIRE_REAL_DATA();
    size_t total = 0;
    for (const std::string& name : sampleStreams()) {
        const auto payloads = hdr10PlusPayloads(stream(name));
        EXPECT_FALSE(payloads.empty()) << name;
        for (size_t i = 0; i < payloads.size(); i++) {
            const std::string where = name + " payload " + std::to_string(i);
            const Frame f = parsedOk(payloads[i], where);
            Result<std::vector<uint8_t>> w = writePayload(f);
            ASSERT_TRUE(w.ok()) << where << ": " << w.status().message();
            EXPECT_EQ(*w, payloads[i]) << where;
            EXPECT_EQ(*parsePayload(w->data(), w->size()), f) << where;
            // The same without the country code, as AV1 carries it.
            Result<Frame> omitted =
                parsePayload(payloads[i].data() + 1, payloads[i].size() - 1, CountryCode::Omitted);
            EXPECT_TRUE(omitted.ok() && *omitted == f) << where;
            total++;
        }
    }
    // 259 in each regular stream, 12 in dhdr10-opt, one in each of the three
    // single-picture ones, and 65 in the verification clips.
    EXPECT_EQ(total, 598u) << "payloads found in the samples";
}

TEST(RealPayloads, SingleFrameStreamsGiveTheirJsonEntry) {
    REQUIRE_REAL_DATA();
    const Json::Value expected =
        withoutScene(readJson("single-frame-metadata.json")["SceneInfo"][0]);
    for (const char* name : {"single-frame.hevc", "multimsg-sei.hevc"}) {
        const auto payloads = hdr10PlusPayloads(stream(name));
        ASSERT_FALSE(payloads.empty()) << name;
        EXPECT_EQ(writeJsonFrame(parsedOk(payloads[0], name)), expected)
            << name << "\n"
            << compact(writeJsonFrame(parsedOk(payloads[0], name)));
    }
}

TEST(RealPayloads, FirstPayloadOfEachVerificationClipIsItsEntry) {
    REQUIRE_REAL_DATA();
    const Json::Value clips = readJson("verification-clips.json")["SceneInfo"];
    for (int n = 1; n <= 31; n++) {
        char name[32];
        std::snprintf(name, sizeof name, "ToS-s%02d.h265", n);
        const auto payloads = hdr10PlusPayloads(stream(name));
        ASSERT_FALSE(payloads.empty()) << name;
        const Json::Value got = writeJsonFrame(parsedOk(payloads[0], name));
        EXPECT_EQ(got, withoutScene(clips[n - 1])) << name << "\n" << compact(got);
    }
}

TEST(RealPayloads, RegularStreamHoldsExactlyTheFramesOfItsJson) {
    REQUIRE_REAL_DATA();
    // The stream is in decode order and the JSON in display order; without
    // reordering pictures, the two must still hold the same frames.
    std::vector<std::string> fromStream, fromJson;
    for (const auto& p : hdr10PlusPayloads(stream("regular.hevc"))) {
        fromStream.push_back(compact(writeJsonFrame(parsedOk(p, "regular.hevc"))));
    }
    const Json::Value root = readJson("regular_metadata.json");
    for (const Json::Value& entry : root["SceneInfo"]) {
        fromJson.push_back(compact(withoutScene(entry)));
    }
    std::sort(fromStream.begin(), fromStream.end());
    std::sort(fromJson.begin(), fromJson.end());
    ASSERT_EQ(fromStream.size(), 259u);
    ASSERT_EQ(fromJson.size(), 259u);
    for (size_t i = 0; i < fromJson.size(); i++) ASSERT_EQ(fromStream[i], fromJson[i]) << i;
}

TEST(RealPayloads, StreamWithMetadataOnSomePicturesHoldsFramesOfItsJson) {
    REQUIRE_REAL_DATA();
    // The JSON repeats a picture's metadata on the pictures after it that
    // carry none; every payload is still one of its entries.
    const Json::Value root = readJson("metadata-dhdr10-opt.json");
    std::vector<std::string> fromJson;
    for (const Json::Value& entry : root["SceneInfo"])
        fromJson.push_back(compact(withoutScene(entry)));
    const auto payloads = hdr10PlusPayloads(stream("dhdr10-opt.hevc"));
    ASSERT_EQ(payloads.size(), 12u);
    for (size_t i = 0; i < payloads.size(); i++) {
        const std::string got = compact(writeJsonFrame(parsedOk(payloads[i], "dhdr10-opt.hevc")));
        EXPECT_NE(std::find(fromJson.begin(), fromJson.end(), got), fromJson.end())
            << "payload " << i << ": " << got;
    }
}

TEST(RealPayloads, DamagedStreamStillGivesItsFirstFrame) {
    REQUIRE_REAL_DATA();
    const auto payloads = hdr10PlusPayloads(stream("invalid-null-byte-seq.hevc"));
    ASSERT_FALSE(payloads.empty());
    const Frame f = parsedOk(payloads[0], "invalid-null-byte-seq.hevc");
    EXPECT_EQ(f.targeted_system_display_maximum_luminance, 500u);
    ASSERT_EQ(f.windows.size(), 1u);
    EXPECT_EQ(f.windows[0].maxscl, (std::array<uint32_t, 3>{0, 0, 0}));
    EXPECT_EQ(f.windows[0].distribution.size(), 9u);
}

}  // namespace
}  // namespace kestrel::hdr10plus
