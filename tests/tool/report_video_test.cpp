// SPDX-License-Identifier: Apache-2.0
// `kestrel report` on a video made in the test: the shots found in its
// pictures are the scenes of the jump check, so a change of metadata inside
// a shot is found on the stream (the metadata alone cannot place it), and
// the page shows bounded pictures of the frames either side of it.
#include <gtest/gtest.h>
#include <json/writer.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/synthetic_video.h"
#include "tool/cli_test_support.h"

namespace kestrel::tool::test {
namespace {

namespace fs = std::filesystem;
using kestrel::test::YuvPicture;

// A textured picture of its own for each `shot`, the same for every picture
// of it: the cut detector finds a cut exactly where the shot changes.
YuvPicture shotPicture(unsigned shot) {
    const unsigned w = 64, h = 48;
    YuvPicture p = kestrel::test::flatPicture(w, h, 0);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            p.y[size_t{y} * w + x] = static_cast<uint16_t>(
                200 + 150 * (1 + std::sin(x * 0.1 * (shot + 1) + shot)) *
                          (1 + std::cos(y * 0.13 * (shot + 2))));
    return p;
}

std::string pageData(const std::string& html) {
    const std::string opening = "<script type=\"application/json\" id=\"kestrel-data\">";
    const size_t start = html.find(opening) + opening.size();
    return html.substr(start, html.find("</script>", start) - start);
}

// Fourteen pictures, a cut at picture 8. Metadata without scene fields:
// records A (frames 0-2), B (3-7: a change inside shot 0), C (8-13, the
// cut), but frame 10 carries A (a one-frame glitch inside shot 1). The
// records are the planted-jump file's: B moves the outputs at 600 cd/m² by
// 20 to 72 PQ codes.
class ReportVideo : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<YuvPicture> pictures;
        for (unsigned i = 0; i < 14; ++i) pictures.push_back(shotPicture(i < 8 ? 0 : 1));
        std::string error;
        const std::vector<uint8_t> bytes = kestrel::test::encodeHevc(pictures, {}, error);
        ASSERT_FALSE(bytes.empty()) << error;
        const std::string plain = dir.write("plain.hevc", std::string(bytes.begin(), bytes.end()));

        const Json::Value planted =
            parseJson(readFile(std::string(KESTREL_TEST_DATA) + "/planted_jump.json"))["SceneInfo"];
        Json::Value doc;
        for (unsigned i = 0; i < 14; ++i) {
            const unsigned from = i < 3 || i == 10 ? 0 : i < 8 ? 3 : 6;
            Json::Value e = planted[from];
            e.removeMember("SceneId");
            e.removeMember("SceneFrameIndex");
            e["SequenceFrameIndex"] = i;
            doc["SceneInfo"].append(e);
        }
        metadata = dir.write("meta.json", Json::writeString(Json::StreamWriterBuilder(), doc));
        stream = dir.path("clip.hevc");
        ToolRun inject = runTool({"inject", plain, "--metadata", metadata, "-o", stream});
        ASSERT_EQ(inject.status, 0) << inject.err;
    }

    static std::set<unsigned> jumpFrames(const Json::Value& target) {
        std::set<unsigned> frames;
        for (const Json::Value& f : target["flagged"]["frame"]) frames.insert(f.asUInt());
        return frames;
    }

    TempDir dir;
    std::string metadata, stream;
};

TEST_F(ReportVideo, PictureCutsFindTheChangeInsideAShotThatMetadataAloneCannot) {
    ToolRun run = runTool({"report", stream, "--target-nits", "600", "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    Json::Value doc = parseJson(run.out);
    EXPECT_EQ(doc["scene_source"].asString(), "picture cuts");
    EXPECT_EQ(doc["scene_first_frames"], parseJson("[0, 8]"));
    EXPECT_TRUE(doc["jump_check"]["jumps_inside_scenes"].asBool());
    // The change at 3 and both edges of the glitch, inside their shots; the
    // cut at 8 is no jump.
    EXPECT_EQ(jumpFrames(doc["targets"][0]), (std::set<unsigned>{3, 10, 11}));
    EXPECT_EQ(doc["targets"][0]["badge"]["kind"].asString(), "bad");
    const Json::Value& video = doc["video"];
    EXPECT_EQ(video["pictures"].asUInt(), 14u);
    EXPECT_EQ(video["shot_first_frames"], parseJson("[0, 8]"));
    EXPECT_EQ(video["measured"]["source_peak_nits"].size(), 14u);
    EXPECT_FALSE(video.isMember("pictured"));  // pictures are the page's

    // The same metadata as JSON: scenes from its changes, inside which no
    // change can be; the glitch is still found as a short run.
    ToolRun alone = runTool({"report", metadata, "--target-nits", "600", "--format", "json"});
    Json::Value fromMetadata = parseJson(alone.out);
    EXPECT_EQ(fromMetadata["scene_source"].asString(), "metadata changes");
    EXPECT_FALSE(fromMetadata.isMember("video"));
    EXPECT_TRUE(jumpFrames(fromMetadata["targets"][0]).empty());
    const Json::Value glitches = rowsOfColumns(fromMetadata["targets"][0]["glitches"]);
    ASSERT_EQ(glitches.size(), 1u);
    EXPECT_EQ(glitches[0]["first_frame"].asUInt(), 10u);

    // --scenes still wins over the pictures.
    const std::string list = dir.write("scenes.txt", "0\n3\n8\n");
    Json::Value listed = parseJson(
        runTool({"report", stream, "--target-nits", "600", "--format", "json", "--scenes", list})
            .out);
    EXPECT_EQ(listed["scene_source"].asString(), "scene list");
    EXPECT_EQ(jumpFrames(listed["targets"][0]), (std::set<unsigned>{10, 11}));
}

TEST_F(ReportVideo, ThePageShowsBoundedPicturesEitherSideOfAChange) {
    const std::string page = dir.path("page.html");
    ToolRun run = runTool({"report", stream, "--target-nits", "400,1000", "-o", page});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string html = readFile(page);
    const Json::Value video = parseJson(pageData(html))["video"];
    const Json::Value& pictured = video["pictured"];
    std::vector<unsigned> frames;
    for (const Json::Value& f : pictured["frame"]) frames.push_back(f.asUInt());
    auto at = [&](unsigned frame) {
        for (size_t k = 0; k < frames.size(); k++)
            if (frames[k] == frame) return static_cast<int>(k);
        return -1;
    };
    // Frame 0, each change with the frame before it, and the shot's start.
    for (unsigned f : {0u, 2u, 3u, 7u, 8u, 9u, 10u, 11u}) ASSERT_GE(at(f), 0) << f;
    EXPECT_TRUE(pictured["shot_start"][at(8)].asBool());
    EXPECT_FALSE(pictured["shot_start"][at(9)].asBool());
    // Frames 2 and 3 show one picture through two tables: they differ; one
    // picture through one record (frames 0 and 2) does not.
    for (unsigned t = 0; t < 2; t++) {
        const std::string before = pictured["table"][at(2)][t].asString();
        EXPECT_EQ(before.rfind("data:image/jpeg;base64,/9j/", 0), 0u);  // a JPEG's SOI
        EXPECT_NE(before, pictured["table"][at(3)][t].asString()) << t;
        EXPECT_EQ(before, pictured["table"][at(0)][t].asString()) << t;
        EXPECT_NE(pictured["table"][at(3)][t].asString(), pictured["curve"][at(3)][t].asString());
    }
    // The bound: the pictures' text is what the document says, within its
    // budget, and the page within 15 MB.
    size_t text = 0;
    for (const char* key : {"table", "curve"})
        for (const Json::Value& row : pictured[key])
            for (const Json::Value& url : row) text += url.asString().size();
    for (const Json::Value& url : pictured["thumbnail"]) text += url.asString().size();
    EXPECT_EQ(text, video["picture_bytes"].asUInt64());
    EXPECT_LE(text, video["picture_budget_bytes"].asUInt64());
    EXPECT_EQ(video["picture_budget_bytes"].asUInt64(), 4u << 20);
    EXPECT_LE(html.size(), 15'000'000u);

    ToolRun none = runTool({"report", stream, "--target-nits", "400", "--pictures", "0", "-o", page});
    ASSERT_EQ(none.status, 0) << none.err;
    const Json::Value without = parseJson(pageData(readFile(page)));
    EXPECT_EQ(without["video"]["pictured"]["frame"].size(), 0u);
    EXPECT_EQ(without["scene_source"].asString(), "picture cuts");
}

// The measured 50 % and 99 % entries of each picture are those `analyze`
// measures in it (its CSV's p50 and p99, 0.1 cd/m² written exactly).
TEST_F(ReportVideo, MeasuredPercentilesAreThePicturesOwn) {
    ToolRun run = runTool({"report", stream, "--target-nits", "600", "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Json::Value measured = parseJson(run.out)["video"]["measured"];
    ToolRun analyzed = runTool({"analyze", stream, "--format", "csv"});
    ASSERT_EQ(analyzed.status, 0) << analyzed.err;
    std::istringstream lines(analyzed.out);
    std::string line;
    std::getline(lines, line);
    std::vector<std::string> header;
    for (std::istringstream cells(line); std::getline(cells, line, ',');) header.push_back(line);
    const auto column = [&](const std::string& name) {
        return static_cast<size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    };
    const size_t p50 = column("p50"), p99 = column("p99");
    ASSERT_LT(p99, header.size());
    std::set<double> distinct99;
    Json::ArrayIndex picture = 0;
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        for (std::istringstream in(line); std::getline(in, line, ',');) cells.push_back(line);
        ASSERT_LT(picture, measured["percentile_99_nits"].size());
        EXPECT_DOUBLE_EQ(measured["percentile_50_nits"][picture].asDouble(), std::stod(cells[p50]))
            << picture;
        EXPECT_DOUBLE_EQ(measured["percentile_99_nits"][picture].asDouble(), std::stod(cells[p99]))
            << picture;
        EXPECT_LT(measured["percentile_50_nits"][picture].asDouble(),
                  measured["percentile_99_nits"][picture].asDouble());
        distinct99.insert(measured["percentile_99_nits"][picture].asDouble());
        picture++;
    }
    EXPECT_EQ(picture, 14u);
    EXPECT_FALSE(measured.isMember("percentile_99_pq_codes"));  // not drawn: no codes
    EXPECT_EQ(distinct99.size(), 2u);  // one per shot
}

// --metadata-only decodes no picture: the scenes are the metadata's (here
// its changes), the document has no "video" and says why, and standard
// error says where the scenes came from. It cannot be combined with
// --pictures, which it would silently ignore.
TEST_F(ReportVideo, MetadataOnlyReadsNoPictureAndSaysSo) {
    ToolRun run = runTool({"report", stream, "--target-nits", "600", "--format", "json",
                           "--metadata-only"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Json::Value doc = parseJson(run.out);
    EXPECT_FALSE(doc.isMember("video"));
    EXPECT_EQ(doc["video_unused"].asString(),
              "not decoded (--metadata-only): no shots, measured statistics or pictures");
    EXPECT_EQ(doc["scene_source"].asString(), "metadata changes");
    EXPECT_EQ(doc["frame_count"].asUInt(), 14u);
    // The glitch at frame 10 is still found as a short run, as from the JSON.
    const Json::Value glitches = rowsOfColumns(doc["targets"][0]["glitches"]);
    ASSERT_EQ(glitches.size(), 1u);
    EXPECT_EQ(glitches[0]["first_frame"].asUInt(), 10u);
    EXPECT_EQ(run.err,
              "kestrel report: " + stream +
                  ": metadata only (--metadata-only): no picture decoded; scenes from the "
                  "metadata changes\n"
                  "kestrel report: every scene (from the metadata changes) is one run of "
                  "identical metadata: only short runs of 4 frames or fewer were checked, not "
                  "jumps inside scenes; give the cuts with --scenes FILE\n");

    const std::string list = dir.write("scenes.txt", "0\n8\n");
    ToolRun listed = runTool({"report", stream, "--target-nits", "600", "--format", "json",
                              "--metadata-only", "--scenes", list});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(parseJson(listed.out)["scene_source"].asString(), "scene list");
    EXPECT_EQ(listed.err, "kestrel report: " + stream +
                              ": metadata only (--metadata-only): no picture decoded; scenes "
                              "from the --scenes list\n");

    ToolRun both = runTool({"report", stream, "--metadata-only", "--pictures", "3", "--format",
                            "json"});
    EXPECT_NE(both.status, 0);
    EXPECT_EQ(both.err.rfind("kestrel report: --pictures excludes --metadata-only\n", 0), 0u)
        << both.err;
    EXPECT_EQ(both.out, "");
}

TEST(ReportVideoHostile, PicturesThatAreNotPqLeaveTheReportToItsMetadataAndSaySo) {
    TempDir dir;
    std::vector<YuvPicture> pictures(3, shotPicture(0));
    kestrel::test::EncodeOptions hlg;
    hlg.transfer = kestrel::test::Transfer::Hlg;
    std::string error;
    const std::vector<uint8_t> bytes = kestrel::test::encodeHevc(pictures, hlg, error);
    ASSERT_FALSE(bytes.empty()) << error;
    const std::string plain = dir.write("hlg.hevc", std::string(bytes.begin(), bytes.end()));
    const Json::Value planted =
        parseJson(readFile(std::string(KESTREL_TEST_DATA) + "/planted_jump.json"))["SceneInfo"];
    Json::Value doc;
    for (unsigned i = 0; i < 3; ++i) doc["SceneInfo"].append(planted[i]);
    const std::string meta =
        dir.write("m.json", Json::writeString(Json::StreamWriterBuilder(), doc));
    ASSERT_EQ(runTool({"inject", plain, "--metadata", meta, "-o", dir.path("hlg-meta.hevc")}).status, 0);
    ToolRun run = runTool({"report", dir.path("hlg-meta.hevc"), "--target-nits", "600",
                           "--format", "json"});
    EXPECT_EQ(run.status, 0) << run.err;
    const Json::Value data = parseJson(run.out);
    EXPECT_FALSE(data.isMember("video"));
    EXPECT_NE(data["video_unused"].asString().find("HLG"), std::string::npos) << data["video_unused"];
    EXPECT_EQ(data["scene_source"].asString(), "metadata changes");
    EXPECT_NE(run.err.find("kestrel report: the pictures are not used: "), std::string::npos) << run.err;
}

}  // namespace
}  // namespace kestrel::tool::test
