// SPDX-License-Identifier: Apache-2.0
// `kestrel report` run as a user runs it: the data behind the page, the
// exit status a CI gate reads, the page as one file, and the messages.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>

#include <json/writer.h>

#include "tool/cli_test_support.h"

namespace kestrel::tool::test {
namespace {

const std::string kRegular = std::string(KESTREL_EXAMPLES) + "/metadata/regular_metadata.json";
const std::string kPlanted = std::string(KESTREL_TEST_DATA) + "/planted_jump.json";

// Output through a frame's table at `level` cd/m², from `kestrel lut`'s
// points alone: the gain (output / input) is linear in the input between
// two points, as the display interpolates it; above the source peak, the
// last point.
double lutOutputAt(const Json::Value& lut, double level) {
    const Json::Value& p = lut["points"];
    for (Json::ArrayIndex i = 2; i < p.size(); i++) {
        const double x0 = p[i - 1]["input_nits"].asDouble(), x1 = p[i]["input_nits"].asDouble();
        if (level > x1) continue;
        const double g0 = p[i - 1]["output_nits"].asDouble() / x0;
        const double g1 = p[i]["output_nits"].asDouble() / x1;
        return (g0 + (g1 - g0) * (level - x0) / (x1 - x0)) * level;
    }
    return p[p.size() - 1]["output_nits"].asDouble();
}

// Target `t`'s analysis of the record frame `frame` points at.
const Json::Value& analysisOf(const Json::Value& report, size_t t, unsigned frame) {
    const Json::Value& frames = report["frames"];
    for (Json::ArrayIndex i = 0; i < frames["frame"].size(); i++)
        if (frames["frame"][i].asUInt() == frame)
            return report["targets"][static_cast<Json::ArrayIndex>(t)]["analyses"]
                         [frames["record"][i].asUInt()];
    static const Json::Value kNone;
    ADD_FAILURE() << "no frame " << frame;
    return kNone;
}

TEST(ReportCommand, OutputAtEachLevelIsWhatTheLutTableGives) {
    ToolRun run = runTool({"report", kRegular, "--target-nits", "600", "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Json::Value report = parseJson(run.out);
    const Json::Value scenes = parseJson(readFile(kRegular))["SceneInfo"];
    EXPECT_EQ(report["schema_version"].asInt(), 4);
    ASSERT_EQ(report["targets"].size(), 1u);
    ASSERT_EQ(report["frames"]["frame"].size(), 259u);
    // Three scenes of one record each: three records, each analysed once.
    ASSERT_EQ(report["records"].size(), 3u);
    EXPECT_EQ(report["targets"][0]["analyses"].size(), 3u);
    unsigned counted = 0;
    for (const Json::Value& r : report["records"]) counted += r["frame_count"].asUInt();
    EXPECT_EQ(counted, 259u);
    // Frame 3's source peak is 314.5 cd/m²: its 1000 cd/m² level is the peak's output.
    for (unsigned frame : {0u, 3u, 100u}) {
        ToolRun lutRun = runTool({"lut", kRegular, "--frame", std::to_string(frame),
                                  "--target-nits", "600", "--format", "json"});
        ASSERT_EQ(lutRun.status, 0) << lutRun.err;
        const Json::Value lut = parseJson(lutRun.out);
        const Json::Value& analysis = analysisOf(report, 0, frame);
        const Json::Value& shown = analysis["output_nits"];
        const double average = scenes[frame]["LuminanceParameters"]["AverageRGB"].asDouble() / 10;
        const std::vector<std::pair<std::string, double>> levels{
            {"1", 1}, {"10", 10}, {"100", 100}, {"1000", 1000}, {"average", average}};
        for (const auto& [key, nits] : levels) {
            const double expected = lutOutputAt(lut, nits);
            EXPECT_NEAR(shown[key].asDouble(), expected, 1e-9 * expected)
                << "frame " << frame << " level " << key;
        }
        EXPECT_DOUBLE_EQ(analysis["max_interpolation_error"].asDouble(),
                         lut["max_interpolation_error"]["of_unit_gain"].asDouble());
        EXPECT_EQ(analysis["warnings"], Json::Value(Json::arrayValue));
    }
    EXPECT_EQ(report["scene_source"].asString(), "scene fields");
    EXPECT_EQ(report["scene_first_frames"], parseJson("[0, 3, 6]"));
    EXPECT_EQ(rowsOfColumns(report["targets"][0]["flagged"]), Json::Value(Json::arrayValue));
    EXPECT_EQ(report["targets"][0]["flagged"]["frame"], Json::Value(Json::arrayValue));
}

// A record's stated 50 % and 99 % entries are the file's DistributionValues
// (0.1 cd/m²) at DistributionIndex 50 and 99; a record whose distribution
// has no such entry states none (null), not 0.
TEST(ReportCommand, RecordsCarryTheStatedMedianAnd99PercentEntries) {
    TempDir dir;
    Json::Value doc = parseJson(readFile(kPlanted));
    // Frame 6's record loses its 50 % entry: the index is moved to 51.
    Json::Value& index = doc["SceneInfo"][6]["LuminanceParameters"]["LuminanceDistributions"]
                            ["DistributionIndex"];
    ASSERT_EQ(index[4].asUInt(), 50u);
    index[4] = 51;
    const std::string clip = dir.write("no-median.json", Json::writeString(Json::StreamWriterBuilder(), doc));
    ToolRun run = runTool({"report", clip, "--target-nits", "600", "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Json::Value report = parseJson(run.out);
    const Json::Value& frames = report["frames"];
    for (Json::ArrayIndex i = 0; i < frames["frame"].size(); i++) {
        const unsigned frame = frames["frame"][i].asUInt();
        const Json::Value& record = report["records"][frames["record"][i].asUInt()];
        const Json::Value& d =
            doc["SceneInfo"][frame]["LuminanceParameters"]["LuminanceDistributions"];
        ASSERT_EQ(d["DistributionIndex"][8].asUInt(), 99u);
        EXPECT_DOUBLE_EQ(record["percentile_99_nits"].asDouble(),
                         d["DistributionValues"][8].asDouble() / 10) << frame;
        if (frame == 6) {
            EXPECT_TRUE(record["percentile_50_nits"].isNull()) << record;
            EXPECT_TRUE(record["percentile_50_pq_code"].isNull()) << record;
        } else {
            EXPECT_DOUBLE_EQ(record["percentile_50_nits"].asDouble(),
                             d["DistributionValues"][4].asDouble() / 10) << frame;
            EXPECT_GT(record["percentile_50_pq_code"].asDouble(), 0) << frame;
        }
    }
    // Frame 0 (the planted file's first record): 21.9 and 1444.5 cd/m².
    EXPECT_DOUBLE_EQ(report["records"][frames["record"][0].asUInt()]["percentile_50_nits"].asDouble(), 21.9);
    EXPECT_DOUBLE_EQ(report["records"][frames["record"][0].asUInt()]["percentile_99_nits"].asDouble(), 1444.5);
}

TEST(ReportCommand, PlantedJumpIsFlaggedAndFailsTheGateOnlyWhenAsked) {
    ToolRun run = runTool({"report", kPlanted, "--target-nits", "600,1000", "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Json::Value report = parseJson(run.out);
    ASSERT_EQ(report["targets"].size(), 2u);
    EXPECT_EQ(report["targets"][0]["target_nits"].asUInt(), 600u);
    EXPECT_EQ(report["targets"][1]["target_nits"].asUInt(), 1000u);
    for (size_t t = 0; t < 2; t++) {
        const Json::Value& target = report["targets"][static_cast<Json::ArrayIndex>(t)];
        const Json::Value glitches = rowsOfColumns(target["glitches"]);
        const Json::Value flagged = rowsOfColumns(target["flagged"]);
        // Frame 3 jumps; and frames 3 to 5, a run of three frames, stand out
        // from frames 2 and 6 around them: a short run, flagged whole.
        EXPECT_EQ(target["flagged_frame_count"].asUInt(), 3u);
        ASSERT_EQ(glitches.size(), 1u);
        EXPECT_EQ(glitches[0]["first_frame"].asUInt(), 3u);
        EXPECT_EQ(glitches[0]["last_frame"].asUInt(), 5u);
        EXPECT_EQ(glitches[0]["previous_frame"].asUInt(), 2u);
        EXPECT_EQ(glitches[0]["next_frame"].asUInt(), 6u);
        EXPECT_EQ(target["badge"]["kind"].asString(), "bad");
        // At 1000 cd/m² frames 3 to 5 (a 314.5 cd/m² peak) are also brightened 3.18 times.
        EXPECT_EQ(target["badge"]["text"].asString(),
                  t == 0 ? "3 flagged frames" : "3 flagged frames; 3 frames with warnings");
        ASSERT_GE(flagged.size(), 1u);
        for (const Json::Value& f : flagged) {
            EXPECT_EQ(f["frame"].asUInt(), 3u);
            EXPECT_EQ(f["previous_frame"].asUInt(), 2u);
            // The flag carries the two frames' outputs at its level.
            const std::string level = f["level"].asString();
            EXPECT_EQ(f["before_nits"], analysisOf(report, t, 2)["output_nits"][level]) << level;
            EXPECT_EQ(f["after_nits"], analysisOf(report, t, 3)["output_nits"][level]) << level;
            EXPECT_EQ(f["before_pq_code"], analysisOf(report, t, 2)["output_pq_codes"][level]);
            EXPECT_EQ(f["after_pq_code"], analysisOf(report, t, 3)["output_pq_codes"][level]);
            EXPECT_GT(std::fabs(f["pq_code_change"].asDouble()), 2.0);
        }
    }
    // At 600 cd/m² frame 3 moves the outputs by 20 to 72 codes (36 in the
    // shadows, 153.6 -> 189.7); a threshold of 100 passes them all.
    ToolRun gate = runTool(
        {"report", kPlanted, "--target-nits", "600,1000", "--format", "json", "--fail-on-jumps"});
    EXPECT_EQ(gate.status, 1);
    EXPECT_EQ(gate.err,
              "kestrel report: jumps inside a scene or short runs that stand out "
              "(--fail-on-jumps): flagged frames at 600 cd/m²: 3, 1000 cd/m²: 3\n");
    ToolRun lenient = runTool({"report", kPlanted, "--target-nits", "600", "--format", "json",
                               "--fail-on-jumps", "--jump-threshold", "100"});
    EXPECT_EQ(lenient.status, 0) << lenient.err;
    EXPECT_EQ(parseJson(lenient.out)["jump_threshold_pq_codes"].asDouble(), 100.0);
}

// regular_metadata.json with one record of its long shot changed: the 99 %
// entry of frame `frame` from 1181 to 1590.6 cd/m², as one flipped bit of
// its SEI does in the stream.
std::string flipped(const TempDir& dir, unsigned frame, bool keepScenes) {
    Json::Value doc = parseJson(readFile(kRegular));
    Json::Value& values =
        doc["SceneInfo"][frame]["LuminanceParameters"]["LuminanceDistributions"]
           ["DistributionValues"];
    values[values.size() - 1] = 15906;
    if (!keepScenes) {
        for (Json::Value& e : doc["SceneInfo"]) e.removeMember("SceneId");
    }
    Json::StreamWriterBuilder builder;
    return dir.write("flipped.json", Json::writeString(builder, doc));
}

TEST(ReportCommand, AStrayRecordInsideAShotIsFlaggedWhereverScenesComeFrom) {
    TempDir dir;
    for (bool keepScenes : {true, false}) {
        SCOPED_TRACE(keepScenes ? "scene fields" : "scenes from metadata changes");
        const std::string file = flipped(dir, 132, keepScenes);
        ToolRun run = runTool({"report", file, "--target-nits", "600", "--format", "json",
                               "--fail-on-jumps"});
        EXPECT_EQ(run.status, 1) << run.err;
        const Json::Value target = parseJson(run.out)["targets"][0];
        bool found = false;
        for (const Json::Value& g : rowsOfColumns(target["glitches"])) {
            found = found || (g["first_frame"].asUInt() == 132 && g["last_frame"].asUInt() == 132 &&
                              g["previous_frame"].asUInt() == 131 && g["next_frame"].asUInt() == 133);
        }
        EXPECT_TRUE(found) << target["glitches"];
        EXPECT_EQ(target["badge"]["kind"].asString(), "bad");
    }
}

TEST(ReportCommand, DerivedScenesAreSaidAndAListOfScenesReplacesThem) {
    TempDir dir;
    // Twenty frames of one shot with a one-frame flash (its peak 3000 cd/m²
    // instead of 1181), without scene numbers.
    Json::Value doc = parseJson(readFile(kRegular));
    Json::Value scenes(Json::arrayValue);
    for (Json::ArrayIndex i = 6; i < 26; i++) {
        Json::Value e = doc["SceneInfo"][i];
        e.removeMember("SceneId");
        if (i == 16) {
            e["LuminanceParameters"]["MaxScl"][1] = 90000;
            Json::Value& values = e["LuminanceParameters"]["LuminanceDistributions"]
                                   ["DistributionValues"];
            values[values.size() - 1] = 30000;
        }
        scenes.append(e);
    }
    doc["SceneInfo"] = scenes;
    Json::StreamWriterBuilder builder;
    const std::string clip = dir.write("flash.json", Json::writeString(builder, doc));
    ToolRun run = runTool({"report", clip, "--target-nits", "1000", "--format", "json"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err,
              "kestrel report: every scene (from the metadata changes) is one run of identical "
              "metadata: only short runs of 4 frames or fewer were checked, not jumps inside "
              "scenes; give the cuts with --scenes FILE\n");
    Json::Value data = parseJson(run.out);
    EXPECT_TRUE(data["scenes_are_metadata_runs"].asBool());
    EXPECT_FALSE(data["jump_check"]["jumps_inside_scenes"].asBool());
    const Json::Value glitches = rowsOfColumns(data["targets"][0]["glitches"]);
    ASSERT_EQ(glitches.size(), 1u) << glitches;
    EXPECT_EQ(glitches[0]["first_frame"].asUInt(), 10u);

    // The cuts given: one scene; the flash is inside it and jumps both ways.
    const std::string list = dir.write("cuts.csv", "first_frame,note\n0,the only shot\n");
    ToolRun listed =
        runTool({"report", clip, "--target-nits", "1000", "--format", "json", "--scenes", list});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.err, "");
    data = parseJson(listed.out);
    EXPECT_EQ(data["scene_source"].asString(), "scene list");
    EXPECT_EQ(data["scene_first_frames"], parseJson("[0]"));
    EXPECT_TRUE(data["jump_check"]["jumps_inside_scenes"].asBool());
    std::set<unsigned> jumped;
    for (const Json::Value& f : data["targets"][0]["flagged"]["frame"]) jumped.insert(f.asUInt());
    EXPECT_EQ(jumped, (std::set<unsigned>{10, 11}));
    EXPECT_EQ(data["targets"][0]["flagged_frame_count"].asUInt(), 2u);

    // Without the flash nothing is flagged, and the badge is green only
    // where jumps inside scenes could be looked for.
    const std::string calm = dir.write(
        "calm.json", R"({"SceneInfo": [)" + Json::writeString(builder, scenes[0]) + "," +
                         Json::writeString(builder, scenes[0]) + "]}");
    EXPECT_EQ(parseJson(runTool({"report", calm, "--format", "json"}).out)["targets"][0]["badge"]
                  ["kind"]
                      .asString(),
              "partial");
    EXPECT_EQ(parseJson(runTool({"report", calm, "--format", "json", "--scenes",
                                 dir.write("zero.txt", "0\n")})
                            .out)["targets"][0]["badge"]["kind"]
                  .asString(),
              "good");

    // Lists that do not fit the clip stop the run.
    for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>>{
             {"0\n20\n", "line 2: frame 20 is beyond the clip, whose last frame is 19"},
             {"5\n5\n", "line 2: frame 5 does not come after frame 5: the list must rise"}}) {
        const std::string bad = dir.write("bad.txt", text);
        ToolRun refused = runTool({"report", clip, "--format", "json", "--scenes", bad});
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err, "kestrel report: --scenes " + bad + ": " + message + "\n");
        EXPECT_EQ(refused.out, "");
    }
    ToolRun missing = runTool({"report", clip, "--scenes", dir.path("none.txt")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("kestrel report: --scenes " + dir.path("none.txt") + ": cannot open", 0),
              0u)
        << missing.err;
}

// Warnings are counted per target and kind, keep the badge from green, and
// fail the run when asked; --max-ratio moves the brightening limit.
TEST(ReportCommand, WarningsAreCountedAndFailTheGateWhenAsked) {
    const std::string single = std::string(KESTREL_EXAMPLES) + "/metadata/single-frame-metadata.json";
    TempDir dir;
    const std::string cuts = dir.write("cuts.txt", "0\n");
    // 584.3 cd/m² shown on 4000 cd/m²: 6.846 times; on 1000: 1.71 times.
    ToolRun run = runTool({"report", single, "--target-nits", "1000,4000", "--format", "json",
                           "--scenes", cuts});
    EXPECT_EQ(run.status, 0) << run.err;
    Json::Value data = parseJson(run.out);
    EXPECT_EQ(data["targets"][0]["frames_with_warnings"].asUInt(), 0u);
    EXPECT_EQ(data["targets"][0]["badge"]["kind"].asString(), "good");
    EXPECT_EQ(data["targets"][1]["frames_with_warnings"].asUInt(), 1u);
    EXPECT_EQ(data["targets"][1]["warning_counts"], parseJson(R"({"brightening": 1})"));
    EXPECT_EQ(data["targets"][1]["badge"]["kind"].asString(), "partial");
    EXPECT_EQ(data["targets"][1]["badge"]["text"].asString(), "no jumps; 1 frame with warnings");

    for (const char* flag : {"--fail-on-warnings", "--strict"}) {
        ToolRun gate = runTool({"report", single, "--target-nits", "1000,4000", "--format", "json",
                                "--scenes", cuts, flag});
        EXPECT_EQ(gate.status, 1) << flag;
        EXPECT_EQ(gate.err,
                  "kestrel report: frames with warnings (--fail-on-warnings): 1000 cd/m²: 0, "
                  "4000 cd/m²: 1\n")
            << flag;
    }
    // At a limit of 6.9 the 4000 cd/m² table passes; at 6.8 it does not.
    EXPECT_EQ(runTool({"report", single, "--target-nits", "4000", "--format", "json", "--scenes",
                       cuts, "--strict", "--max-ratio", "6.9"})
                  .status,
              0);
    EXPECT_EQ(runTool({"report", single, "--target-nits", "4000", "--format", "json", "--scenes",
                       cuts, "--strict", "--max-ratio", "6.8"})
                  .status,
              1);
    EXPECT_EQ(runTool({"lut", single, "--target-nits", "4000", "--strict", "--max-ratio", "6.9"})
                  .status,
              0);
    ToolRun bad = runTool({"lut", single, "--max-ratio", "0"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err.rfind("kestrel lut: --max-ratio must be above 0", 0), 0u) << bad.err;
}

TEST(ReportCommand, PageIsOneSmallFileThatCarriesItsData) {
    TempDir dir;
    const std::string page = dir.path("regular report.html");
    ToolRun run = runTool({"report", kRegular, "--target-nits", "400,600,1000", "-o", page});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    // The file's scene fields cut exactly where its metadata changes: only
    // short runs could be checked, and frames 3 to 5 are one.
    EXPECT_EQ(run.err,
              "kestrel report: every scene (from the scene fields) is one run of identical "
              "metadata: only short runs of 4 frames or fewer were checked, not jumps inside "
              "scenes; give the cuts with --scenes FILE\n"
              "kestrel report: wrote " +
                  page +
                  ": 259 frames, 3 scenes; flagged frames at 400 cd/m²: 3, 600 cd/m²: 3, "
                  "1000 cd/m²: 3\n");
    const std::string html = readFile(page);
    EXPECT_LT(html.size(), 2000000u);
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    // Nothing is loaded from elsewhere; the one address is SVG's namespace, a name.
    for (const char* reference : {"src=", "href=", "@import", "fetch(", "XMLHttpRequest"})
        EXPECT_EQ(html.find(reference), std::string::npos) << reference;
    const std::string svgNamespace = "http://www.w3.org/2000/svg";
    for (size_t at = html.find("http:"); at != std::string::npos; at = html.find("http:", at + 1))
        EXPECT_EQ(html.compare(at, svgNamespace.size(), svgNamespace), 0) << html.substr(at, 40);
    EXPECT_EQ(html.find("https:"), std::string::npos);

    const std::string open = "<script type=\"application/json\" id=\"kestrel-data\">";
    const size_t start = html.find(open);
    ASSERT_NE(start, std::string::npos);
    const size_t end = html.find("</script>", start);
    const Json::Value data = parseJson(html.substr(start + open.size(), end - start - open.size()));
    ASSERT_EQ(data["targets"].size(), 3u);
    ASSERT_EQ(data["frames"]["frame"].size(), 259u);
    ToolRun json = runTool({"report", kRegular, "--target-nits", "1000", "--format", "json"});
    const Json::Value full = analysisOf(parseJson(json.out), 0, 100)["output_nits"];
    const Json::Value shown = analysisOf(data, 2, 100)["output_nits"];
    for (const char* level : {"1", "10", "100", "1000", "average"})
        EXPECT_NEAR(shown[level].asDouble(), full[level].asDouble(), 1e-5 * full[level].asDouble())
            << level;
    // Without -o the page goes to standard output (here a pipe).
    ToolRun piped = runTool({"report", kPlanted});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_EQ(piped.err, "");
    // One curve set per distinct record: three scenes, three sets.
    EXPECT_EQ(data["targets"][0]["analyses"].size(), 3u);
    EXPECT_EQ(data["targets"][0]["analyses"][0]["curves"]["points"]["input_nits"].size(), 33u);
    // The page's PQ axes are labelled with the tool's codes: 100 cd/m² is
    // code 519.76, 1000 cd/m² 769.12, 10000 cd/m² the top, 1023.
    const Json::Value& decades = data["pq_codes_of_decades"];
    ASSERT_EQ(decades.size(), 11u);
    EXPECT_EQ(decades[8][0].asDouble(), 100.0);
    EXPECT_NEAR(decades[8][1].asDouble(), 519.76, 0.01);
    EXPECT_NEAR(decades[9][1].asDouble(), 769.12, 0.01);
    EXPECT_DOUBLE_EQ(decades[10][1].asDouble(), 1023.0);
}

TEST(ReportCommand, BadRequestsAndRejectedFramesAreReported) {
    TempDir dir;
    ToolRun twice =
        runTool({"report", kPlanted, "--target-nits", "600,400,600", "--format", "json"});
    EXPECT_EQ(twice.status, 2);
    EXPECT_EQ(twice.err,
              "kestrel report: --target-nits lists 600 twice\nRun with --help for more "
              "information.\n");
    EXPECT_EQ(twice.out, "");

    const std::string unwritable = dir.path("missing/report.html");
    ToolRun cannot = runTool({"report", kPlanted, "-o", unwritable});
    EXPECT_EQ(cannot.status, 1);
    EXPECT_EQ(cannot.err,
              "kestrel report: " + unwritable + ": cannot write: No such file or directory\n");

    const std::string clip = dir.write("clip.json",
                                       R"({"SceneInfo": [
            {"TargetedSystemDisplayMaximumLuminance": 0,
             "LuminanceParameters": {"MaxScl": [5000, 4000, 3000]}},
            {"TargetedSystemDisplayMaximumLuminance": 0,
             "LuminanceParameters": {"MaxScl": [5000, 4000, -1]}}]})");
    const std::string page = dir.path("clip.html");
    ToolRun rejected = runTool({"report", clip, "-o", page});
    EXPECT_EQ(rejected.status, 1);
    EXPECT_NE(
        rejected.err.find("kestrel report: " + clip + ": frame 1: LuminanceParameters.MaxScl"),
        std::string::npos)
        << rejected.err;
    EXPECT_NE(rejected.err.find("(frame left out)\n"), std::string::npos) << rejected.err;
    EXPECT_NE(rejected.err.find("kestrel report: wrote " + page +
                                ": 2 frames, 1 scene; flagged frames at 1000 cd/m²: 0\n"),
              std::string::npos)
        << rejected.err;
    EXPECT_NE(readFile(page).find("\"frames_rejected\":1"), std::string::npos);

    // A clip of 0 frames fails as `lut` and `metadata` do, and writes nothing.
    const std::string empty = dir.write("empty.json", R"({"SceneInfo": []})");
    const std::string emptyPage = dir.path("empty.html");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"report", empty, "-o", emptyPage},
          std::vector<std::string>{"report", empty, "--format", "json"}}) {
        ToolRun nothing = runTool(args);
        EXPECT_EQ(nothing.status, 1);
        EXPECT_EQ(nothing.err, "kestrel report: " + empty +
                                   ": holds no HDR10+ metadata (0 frames); no report written\n");
        EXPECT_EQ(nothing.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(emptyPage));
}

// JSON holds no pictures, so the options about pictures are accepted and
// change nothing; one line says so instead of leaving the user to wonder.
// --pictures is noted only when given, its default value included.
TEST(ReportCommand, PictureOptionsOnJsonAreAcceptedAndSaidToChangeNothing) {
    const std::vector<std::string> base = {"report", kPlanted, "--target-nits", "600", "--format",
                                           "json"};
    const ToolRun plain = runTool(base);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.err, "");
    struct Case {
        std::vector<std::string> extra;
        std::string option;
    };
    for (const Case& c : {Case{{"--metadata-only"}, "--metadata-only"},
                          Case{{"--pictures", "0"}, "--pictures"},
                          Case{{"--pictures", "24"}, "--pictures"}}) {
        std::vector<std::string> args = base;
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const ToolRun run = runTool(args);
        EXPECT_EQ(run.status, 0) << c.extra[0];
        EXPECT_EQ(run.out, plain.out) << c.extra[0];
        EXPECT_EQ(run.err, "kestrel report: " + kPlanted + ": " + c.option +
                               " changes nothing: HDR10+ JSON holds no pictures\n");
    }

    // The note goes before the lines about the report, which stay as they are.
    TempDir dir;
    const std::string page = dir.path("planted.html");
    const ToolRun written =
        runTool({"report", kPlanted, "--target-nits", "600", "--metadata-only", "-o", page});
    EXPECT_EQ(written.status, 0);
    EXPECT_EQ(written.err, "kestrel report: " + kPlanted +
                               ": --metadata-only changes nothing: HDR10+ JSON holds no "
                               "pictures\nkestrel report: wrote " + page +
                               ": 10 frames, 2 scenes; flagged frames at 600 cd/m²: 3\n");
}

}  // namespace
}  // namespace kestrel::tool::test
