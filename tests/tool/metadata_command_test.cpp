// SPDX-License-Identifier: Apache-2.0
// `kestrel metadata` and the other commands on HEVC streams and container
// files: the sample streams give the JSON their makers published, frames
// without metadata are named, and damaged or foreign inputs end with status
// 1 and a message saying where, never a crash.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <json/writer.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "hdr10plus/payload.h"
#include "hevc/stream_builder.h"
#include "tool/cli_test_support.h"

namespace kestrel::tool::test {
namespace {

using hevc::test::append;

std::string streams() { return realDataDir().empty() ? "" : realDataDir() + "/streams/"; }

// An entry without the positions a reader may number differently, and
// without what the payload carries beyond the layout (a published layout
// file has none of it).
Json::Value withoutScene(Json::Value entry) {
    for (const char* key : {"SceneId", "SceneFrameIndex", "SequenceFrameIndex",
                            "ApplicationVersion", "FractionBrightPixels", "ColorSaturationWeight",
                            "ProcessingWindows", "TargetedSystemDisplayActualPeakLuminance",
                            "MasteringDisplayActualPeakLuminance"})
        entry.removeMember(key);
    return entry;
}

Json::Value extract(const std::string& input, const TempDir& dir) {
    std::string out = dir.path("out.json");
    ToolRun run = runTool({"metadata", input, "-o", out});
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.err;
    return parseJson(readFile(out));
}

TEST(MetadataCommand, SampleStreamsGiveTheirPublishedJsonFrameForFrame) {
    if (streams().empty()) GTEST_SKIP() << "no sample streams";
    struct Case {
        const char* stream;
        const char* json;
        bool firstFrameOnly;
    };
    for (const Case& c : {Case{"regular.hevc", "regular_metadata.json", false},
                          Case{"regular.mkv", "regular_metadata.json", false},
                          Case{"regular_start_code_4.hevc", "regular_metadata.json", false},
                          Case{"dhdr10-opt.hevc", "metadata-dhdr10-opt.json", false},
                          Case{"single-frame.hevc", "single-frame-metadata.json", false},
                          Case{"multimsg-sei.hevc", "single-frame-metadata.json", true}}) {
        SCOPED_TRACE(c.stream);
        TempDir dir;
        Json::Value got = extract(streams() + c.stream, dir)["SceneInfo"];
        Json::Value want = parseJson(readFile(realDataDir() + "/" + c.json))["SceneInfo"];
        if (!c.firstFrameOnly) {
            ASSERT_EQ(got.size(), want.size());
        }
        ASSERT_GE(got.size(), 1u);
        for (Json::ArrayIndex i = 0; i < (c.firstFrameOnly ? 1 : want.size()); ++i) {
            ASSERT_EQ(withoutScene(got[i]), withoutScene(want[i])) << "frame " << i;
        }
    }
}

TEST(MetadataCommand, JsonInputIsWrittenBackWithItsScenes) {
    if (realDataDir().empty()) GTEST_SKIP() << "no real HDR10+ files";
    TempDir dir;
    Json::Value want = parseJson(readFile(realDataDir() + "/metadata-dhdr10-opt.json"));
    Json::Value got = extract(realDataDir() + "/metadata-dhdr10-opt.json", dir);
    EXPECT_EQ(got["SceneInfo"], want["SceneInfo"]);
    EXPECT_EQ(got["SceneInfoSummary"], want["SceneInfoSummary"]);
}

TEST(MetadataCommand, ScenesOfAStreamAreRunsOfEqualMetadata) {
    if (streams().empty()) GTEST_SKIP() << "no sample streams";
    // This stream sends metadata once per scene of five frames (and repeats
    // it on a few pictures inside): the runs are the published scenes.
    TempDir dir;
    Json::Value got = extract(streams() + "dhdr10-opt.hevc", dir);
    Json::Value want = parseJson(readFile(realDataDir() + "/metadata-dhdr10-opt.json"));
    EXPECT_EQ(got["SceneInfoSummary"], want["SceneInfoSummary"]);
    EXPECT_EQ(got["SceneInfo"][7]["SceneId"].asUInt(), 1u);
    EXPECT_EQ(got["SceneInfo"][7]["SceneFrameIndex"].asUInt(), 2u);
    EXPECT_EQ(got["SceneInfo"][7]["SequenceFrameIndex"].asUInt(), 7u);
}

TEST(MetadataCommand, VerificationClipsGiveTheirEntryAsFirstFrame) {
    if (streams().empty()) GTEST_SKIP() << "no sample streams";
    Json::Value want = parseJson(readFile(realDataDir() + "/verification-clips.json"))["SceneInfo"];
    for (unsigned clip = 1; clip <= 31; ++clip) {
        char name[32];
        std::snprintf(name, sizeof name, "ToS-s%02u.h265", clip);
        SCOPED_TRACE(name);
        TempDir dir;
        Json::Value got = extract(streams() + name, dir)["SceneInfo"];
        ASSERT_GE(got.size(), 1u);
        EXPECT_EQ(withoutScene(got[0]), withoutScene(want[clip - 1]));
    }
}

TEST(MetadataCommand, DamagedByteSequenceSampleStillGivesItsFirstFrame) {
    if (streams().empty()) GTEST_SKIP() << "no sample streams";
    TempDir dir;
    Json::Value frame = extract(streams() + "invalid-null-byte-seq.hevc", dir)["SceneInfo"][0];
    EXPECT_EQ(frame["TargetedSystemDisplayMaximumLuminance"].asUInt(), 500u);
    EXPECT_EQ(frame["LuminanceParameters"]["MaxScl"], parseJson("[0, 0, 0]"));
    EXPECT_EQ(frame["LuminanceParameters"]["LuminanceDistributions"]["DistributionValues"].size(),
              9u);
}

// A valid payload whose targeted peak tells frames apart.
std::vector<uint8_t> payload(uint32_t targetedPeak) {
    hdr10plus::Frame frame;
    frame.windows.resize(1);
    frame.windows[0].maxscl = {1000, 2000, 3000};
    frame.windows[0].average_maxrgb = 500;
    frame.targeted_system_display_maximum_luminance = targetedPeak;
    Result<std::vector<uint8_t>> written = hdr10plus::writePayload(frame);
    EXPECT_TRUE(written.ok());
    return written.ok() ? *written : std::vector<uint8_t>();
}

std::string writeBytes(const TempDir& dir, const std::string& name,
                       const std::vector<uint8_t>& bytes) {
    return dir.write(name, std::string(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> streamHeader() {
    std::vector<uint8_t> s;
    append(s, hevc::test::sps(8, 0));
    append(s, hevc::test::pps(false));
    return s;
}

TEST(MetadataCommand, FramesWithoutMetadataAreNamedAndWrittenWithoutIt) {
    TempDir dir;
    std::vector<uint8_t> s = streamHeader();
    append(s, hevc::test::slice(19, 0, 8));
    append(s, hevc::test::slice(1, 1, 8));
    append(s, hevc::test::sei({{4, payload(400)}}));
    append(s, hevc::test::slice(1, 2, 8));
    append(s, hevc::test::slice(1, 3, 8));
    std::string path = writeBytes(dir, "clip.bin", s);
    ToolRun run = runTool({"metadata", path});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err,
              "kestrel metadata: " + path +
                  ": frames 0 to 1 each carries no HDR10+ metadata (none before it in decoding "
                  "order)\n"
                  "kestrel metadata: " +
                  path +
                  ": HEVC Annex B stream, 4 frames: 1 with metadata of their own, 1 repeating "
                  "the latest before them in decoding order, 2 without\n");
    Json::Value scenes = parseJson(run.out)["SceneInfo"];
    ASSERT_EQ(scenes.size(), 4u);
    EXPECT_FALSE(scenes[0].isMember("LuminanceParameters"));
    EXPECT_FALSE(scenes[1].isMember("LuminanceParameters"));
    EXPECT_EQ(scenes[2]["TargetedSystemDisplayMaximumLuminance"].asUInt(), 400u);
    EXPECT_EQ(scenes[3]["TargetedSystemDisplayMaximumLuminance"].asUInt(), 400u);
    EXPECT_EQ(scenes[2]["LuminanceParameters"]["MaxScl"], parseJson("[1000, 2000, 3000]"));

    // lut takes the frames with metadata and names the one without.
    ToolRun lut = runTool({"lut", path, "--frame", "1"});
    EXPECT_EQ(lut.status, 1);
    EXPECT_NE(lut.err.find(path + ": frame 1 carries no HDR10+ metadata"), std::string::npos)
        << lut.err;
    lut = runTool({"lut", path, "--frame", "3", "--format", "json"});
    EXPECT_EQ(lut.status, 0) << lut.err;
    EXPECT_EQ(parseJson(lut.out)["source_curve"]["targeted_display_nits"].asUInt(), 400u);
}

// Everything the payload carries reaches the JSON beside the layout, and
// ToolInfo names this tool, its version and the source.
TEST(MetadataCommand, WhatThePayloadCarriesBeyondTheLayoutIsKept) {
    hdr10plus::Frame frame;
    frame.application_version = 0;
    frame.windows.resize(2);
    frame.windows[0].maxscl = {1000, 2000, 3000};
    frame.windows[0].fraction_bright_pixels = 17;
    frame.windows[0].color_saturation_weight = 5;
    hdr10plus::WindowGeometry g;
    g.window_upper_left_corner_x = 10;
    g.window_lower_right_corner_y = 720;
    g.rotation_angle = 90;
    g.semimajor_axis_internal_ellipse = 100;
    g.semimajor_axis_external_ellipse = 200;
    g.semiminor_axis_external_ellipse = 150;
    g.overlap_process_option = true;
    frame.windows[1].geometry = g;
    frame.windows[1].maxscl = {40, 50, 60};
    frame.windows[1].fraction_bright_pixels = 3;
    frame.targeted_system_display_maximum_luminance = 400;
    frame.targeted_system_display_actual_peak_luminance =
        hdr10plus::PeakLuminanceMatrix{2, 3, {1, 2, 3, 4, 5, 15}};
    Result<std::vector<uint8_t>> written = hdr10plus::writePayload(frame);
    ASSERT_TRUE(written.ok()) << written.status().message();

    TempDir dir;
    std::vector<uint8_t> s = streamHeader();
    append(s, hevc::test::sei({{4, *written}}));
    append(s, hevc::test::slice(19, 0, 8));
    const std::string path = writeBytes(dir, "windows.hevc", s);
    ToolRun run = runTool({"metadata", path});
    ASSERT_EQ(run.status, 0) << run.err;
    Json::Value doc = parseJson(run.out);
    EXPECT_EQ(doc["ToolInfo"]["Tool"].asString(), "kestrel metadata");
    EXPECT_EQ(doc["ToolInfo"]["Version"].asString(), KESTREL_VERSION);
    EXPECT_EQ(doc["ToolInfo"]["Source"].asString(), path);
    const Json::Value& e = doc["SceneInfo"][0];
    EXPECT_EQ(e["ApplicationVersion"].asUInt(), 0u);
    EXPECT_EQ(e["FractionBrightPixels"].asUInt(), 17u);
    EXPECT_EQ(e["ColorSaturationWeight"].asUInt(), 5u);
    EXPECT_EQ(e["NumberOfWindows"].asUInt(), 2u);
    ASSERT_EQ(e["ProcessingWindows"].size(), 1u);
    const Json::Value& w = e["ProcessingWindows"][0];
    EXPECT_EQ(w["Geometry"]["UpperLeftCornerX"].asUInt(), 10u);
    EXPECT_EQ(w["Geometry"]["LowerRightCornerY"].asUInt(), 720u);
    EXPECT_EQ(w["Geometry"]["RotationAngle"].asUInt(), 90u);
    EXPECT_EQ(w["Geometry"]["OverlapProcessOption"].asUInt(), 1u);
    EXPECT_EQ(w["Geometry"]["SemiminorAxisExternalEllipse"].asUInt(), 150u);
    EXPECT_EQ(w["MaxScl"], parseJson("[40, 50, 60]"));
    EXPECT_EQ(w["FractionBrightPixels"].asUInt(), 3u);
    EXPECT_EQ(e["TargetedSystemDisplayActualPeakLuminance"],
              parseJson(R"({"Rows": 2, "Columns": 3, "Values": [1, 2, 3, 4, 5, 15]})"));
    EXPECT_FALSE(e.isMember("MasteringDisplayActualPeakLuminance"));

    // A JSON input has nothing beyond the layout to give.
    ToolRun json = runTool({"metadata", std::string(KESTREL_EXAMPLES) +
                                            "/metadata/single-frame-metadata.json"});
    EXPECT_FALSE(parseJson(json.out)["SceneInfo"][0].isMember("ApplicationVersion"));
}

// --check runs the consistency rules without going through `lut`.
TEST(MetadataCommand, CheckNamesEachFrameThatBreaksARule) {
    TempDir dir;
    const std::string file = dir.write("odd.json", R"({"SceneInfo": [
      {"TargetedSystemDisplayMaximumLuminance": 0, "LuminanceParameters": {"MaxScl": [5000, 4000, 3000],
       "LuminanceDistributions": {"DistributionIndex": [50, 99], "DistributionValues": [100, 4000]}}},
      {"TargetedSystemDisplayMaximumLuminance": 0, "LuminanceParameters": {"MaxScl": [2000, 2500, 1],
       "LuminanceDistributions": {"DistributionIndex": [50, 99], "DistributionValues": [100, 2501]}}},
      {"TargetedSystemDisplayMaximumLuminance": 400, "LuminanceParameters": {"MaxScl": [5000, 4000, 3000]}}]})");
    ToolRun run = runTool({"metadata", file, "--check", "-o", dir.path("out.json")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "kestrel metadata: " + file + ": HDR10+ JSON, 3 frames\n"
              "kestrel metadata: " + file + ": frame 1: MaxScl (250 cd/m²) is below the 99 % entry "
              "(250.1 cd/m²)\n"
              "kestrel metadata: " + file + ": frame 2: a targeted display of 400 cd/m² is given "
              "without a tone curve\n"
              "kestrel metadata: " + file + ": --check: 2 frames of 3 with metadata break a rule\n");
    // Without --check the same file passes, as before.
    EXPECT_EQ(runTool({"metadata", file, "-o", dir.path("out.json")}).status, 0);
    // A sound file passes the check.
    ToolRun sound = runTool({"metadata", std::string(KESTREL_EXAMPLES) +
                                             "/metadata/single-frame-metadata.json",
                             "--check", "-o", dir.path("out.json")});
    EXPECT_EQ(sound.status, 0) << sound.err;
    EXPECT_NE(sound.err.find(": --check: 0 frames of 1 with metadata break a rule\n"),
              std::string::npos)
        << sound.err;
}

TEST(MetadataCommand, SummaryCountsOneFrameInTheSingular) {
    TempDir dir;
    std::vector<uint8_t> s = streamHeader();
    append(s, hevc::test::sei({{4, payload(300)}}));
    append(s, hevc::test::slice(19, 0, 8));
    std::string path = writeBytes(dir, "one.hevc", s);
    ToolRun run = runTool({"metadata", path});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "kestrel metadata: " + path +
                           ": HEVC Annex B stream, 1 frame: 1 with metadata of their own, 0 "
                           "repeating the latest before them in decoding order, 0 without\n");
}

TEST(MetadataCommand, DamageEndsWithStatusOneAndKeepsTheFramesBefore) {
    TempDir dir;
    std::vector<uint8_t> s = streamHeader();
    append(s, hevc::test::sei({{4, payload(100)}}));
    append(s, hevc::test::slice(19, 0, 8));
    append(s, hevc::test::sei({{4, payload(200)}}));
    append(s, hevc::test::slice(1, 1, 8));
    size_t seiAt = s.size() + 3;
    std::vector<uint8_t> cut = hevc::test::sei({{4, payload(300)}});
    cut.resize(cut.size() - 6);  // the stream ends inside this SEI
    append(s, cut);
    std::string path = writeBytes(dir, "cut.hevc", s);
    std::string out = dir.path("out.json");
    ToolRun run = runTool({"metadata", path, "-o", out});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(
        run.err.find(": byte " + std::to_string(seiAt) + ": SEI message 0 (type 4) declares "),
        std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("(2 frames read before it)"), std::string::npos) << run.err;
    Json::Value scenes = parseJson(readFile(out))["SceneInfo"];
    ASSERT_EQ(scenes.size(), 2u);
    EXPECT_EQ(scenes[0]["TargetedSystemDisplayMaximumLuminance"].asUInt(), 100u);
    EXPECT_EQ(scenes[1]["TargetedSystemDisplayMaximumLuminance"].asUInt(), 200u);
}

TEST(MetadataCommand, PayloadWithOverflowingCountNamesTheFrameAndItsSei) {
    TempDir dir;
    std::vector<uint8_t> bad = payload(200);
    // After the 7 header bytes: num_windows (2 bits), targeted peak (27), its
    // flag (1), maxscl (3 x 17) and average (17) put the distribution count
    // at bits 98 to 101. 15 entries of 24 bits each cannot fit.
    size_t bit = 7 * 8 + 98;
    for (size_t b = bit; b < bit + 4; ++b) bad[b / 8] |= static_cast<uint8_t>(0x80u >> (b % 8));
    std::vector<uint8_t> s = streamHeader();
    append(s, hevc::test::sei({{4, payload(100)}}));
    append(s, hevc::test::slice(19, 0, 8));
    size_t seiAt = s.size() + 3;
    append(s, hevc::test::sei({{4, bad}}));
    append(s, hevc::test::slice(1, 1, 8));
    append(s, hevc::test::slice(1, 2, 8));
    std::string path = writeBytes(dir, "counts.hevc", s);
    ToolRun run = runTool({"metadata", path});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(": frame 1 carries an HDR10+ message that is not valid (SEI at byte " +
                           std::to_string(seiAt) + "): payload byte "),
              std::string::npos)
        << run.err;
    // The picture after it shows the same broken metadata, and says whence.
    EXPECT_NE(run.err.find(": frame 2 shows the HDR10+ message of the SEI at byte " +
                           std::to_string(seiAt) + ", which is not valid: payload byte "),
              std::string::npos)
        << run.err;
    Json::Value scenes = parseJson(run.out)["SceneInfo"];
    ASSERT_EQ(scenes.size(), 3u);
    EXPECT_EQ(scenes[0]["TargetedSystemDisplayMaximumLuminance"].asUInt(), 100u);
    EXPECT_FALSE(scenes[1].isMember("LuminanceParameters"));
}

TEST(MetadataCommand, ForeignAndUnreadableInputsEndWithStatusOne) {
    TempDir dir;
    std::string random;
    uint32_t x = 12345;
    for (int i = 0; i < 4096; ++i) {
        x = x * 1664525u + 1013904223u;
        random.push_back(static_cast<char>(x >> 24));
    }
    std::string randomAfterStartCode = std::string("\0\0\1", 3) + random;
    struct Case {
        std::string path;
        std::string message;
    };
    for (const Case& c :
         {Case{dir.write("empty.hevc", ""), ": is empty"},
          Case{dir.path(""), ": is a directory, not a file"},
          Case{dir.path("missing.hevc"), ": cannot open: No such file or directory"},
          Case{dir.write("noise.hevc", random),
               ": not HDR10+ metadata: neither JSON, an HEVC "
               "Annex B stream nor a container file"},
          Case{dir.write("noise2.hevc", randomAfterStartCode),
               ": the HEVC Annex B stream holds no pictures"},
          Case{dir.write("fake.mkv", "\x1a\x45\xdf\xa3" + random), ""}}) {
        SCOPED_TRACE(c.path);
        for (const std::string command : {"metadata", "lut"}) {
            ToolRun run = runTool({command, c.path});
            ASSERT_TRUE(run.exited) << command << " crashed";
            EXPECT_EQ(run.status, 1) << command;
            EXPECT_EQ(run.err.rfind("kestrel " + command + ": ", 0), 0u) << run.err;
            EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        }
    }
}

// The JSON is the command's product: when standard output cannot take it
// (a full disk), the command fails instead of reporting success, however
// small the document (a buffered one is only written at the end).
// JSON nested deeper than the parser follows is named as the file's fault,
// like any other text that is not JSON.
TEST(MetadataCommand, JsonNestedTooDeeplyIsNamedAsNotValidJson) {
    TempDir dir;
    std::string input = dir.write(
        "deep.json", "{\"SceneInfo\": " + std::string(5000, '[') + std::string(5000, ']') + "}");
    for (const std::string command : {"metadata", "lut"}) {
        ToolRun run = runTool({command, input});
        ASSERT_TRUE(run.exited) << command << " crashed";
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.err.rfind("kestrel " + command + ": " + input + ": not valid JSON: ", 0), 0u)
            << run.err;
    }
}

// A stream is read from its start after its first bytes told its format: a
// pipe cannot give them again, so a stream in a pipe is refused by name
// instead of read from the middle (or waited on for ever). JSON is read on
// from the bytes already taken, so a pipe of JSON is read once, whole.
TEST(MetadataCommand, PipeOfAStreamIsRefusedAPipeOfJsonIsRead) {
    TempDir dir;
    const std::string fifo = dir.path("clip.hevc");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& start : {std::string("\0\0\1\x40\x01", 5), std::string("{\"Sce")}) {
        pid_t writer = fork();
        if (writer == 0) {
            std::signal(SIGPIPE, SIG_IGN);
            int fd = open(fifo.c_str(), O_WRONLY);
            std::string bytes = start + std::string(2000, '\x5a');
            if (fd >= 0 && write(fd, bytes.data(), bytes.size()) < 0) _exit(1);
            _exit(0);
        }
        ToolRun run = runTool({"metadata", fifo});
        // A tool that never opened the pipe (it failed to start, or refused
        // the name) leaves the writer waiting in open() for a reader: give it
        // one, so that the test fails instead of hanging.
        const int partner = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        waitpid(writer, nullptr, 0);
        if (partner >= 0) close(partner);
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.status, 1);
        if (start[0] == '{') {
            // The text reached the JSON reader whole: its first key never ends.
            EXPECT_EQ(run.err.rfind("kestrel metadata: " + fifo + ": not valid JSON: Line 1", 0),
                      0u)
                << run.err;
        } else {
            EXPECT_EQ(run.err,
                      "kestrel metadata: " + fifo +
                          ": cannot go back to its start (a pipe?): save it to a file first\n");
        }
    }
}

// `-` reads standard input once, a pipe included, with the same results as
// the file; messages call it "standard input".
TEST(MetadataCommand, DashReadsStandardInputAsTheFileReads) {
    TempDir dir;
    std::vector<uint8_t> s = streamHeader();
    append(s, hevc::test::sei({{4, payload(400)}}));
    append(s, hevc::test::slice(19, 0, 8));
    append(s, hevc::test::slice(1, 1, 8));
    const std::string stream = writeBytes(dir, "clip.hevc", s);
    const std::string json = std::string(KESTREL_EXAMPLES) + "/metadata/single-frame-metadata.json";
    for (const std::string& input : {stream, json}) {
        const std::string out = dir.path("piped.json"), err = dir.path("piped.err");
        // Through a pipe, as `ffmpeg ... - | kestrel metadata -` gives it.
        const std::string command = "cat '" + input + "' | '" + KESTREL_TOOL +
                                    "' metadata - > '" + out + "' 2> '" + err + "'";
        const int rc = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(rc));
        EXPECT_EQ(WEXITSTATUS(rc), 0) << readFile(err);
        ToolRun direct = runTool({"metadata", input});
        ASSERT_EQ(direct.status, 0);
        Json::Value piped = parseJson(readFile(out)), file = parseJson(direct.out);
        EXPECT_EQ(piped["ToolInfo"]["Source"].asString(), "standard input");
        piped.removeMember("ToolInfo");
        file.removeMember("ToolInfo");
        EXPECT_EQ(piped, file) << input;
        std::string said = direct.err;
        said.replace(said.find(input), input.size(), "standard input");
        EXPECT_EQ(readFile(err), said);
    }
    const std::string err = dir.path("empty.err");
    const int rc = std::system(("'" + std::string(KESTREL_TOOL) + "' metadata - < /dev/null 2> '" +
                                err + "' > /dev/null")
                                   .c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(WEXITSTATUS(rc), 1);
    EXPECT_EQ(readFile(err), "kestrel metadata: standard input: is empty\n");
}

TEST(MetadataCommand, UnwritableStandardOutputEndsWithStatusOne) {
    TempDir dir;
    std::string input = dir.write("one.json", R"({"SceneInfo": [{
        "LuminanceParameters": {"MaxScl": [10, 20, 30]},
        "TargetedSystemDisplayMaximumLuminance": 400}]})");
    ToolRun run = runTool({"metadata", input}, "/dev/full");
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("kestrel metadata: standard output: cannot write: No space left on device"),
              std::string::npos)
        << run.err;
}

// A film is written in runs of entries formatted apart and joined: past a
// run's end the text must still be the one indented document the JSON
// library would write for it (parsed and written again, it is unchanged),
// every entry in its place, and standard output and -o give the same bytes.
TEST(MetadataCommand, LongInputIsOneDocumentAcrossItsRuns) {
    TempDir dir;
    constexpr unsigned kFrames = 33000;  // beyond 32 runs of 1024 entries
    std::string text = "{\"SceneInfo\": [";
    for (unsigned i = 0; i < kFrames; i++) {
        // Scenes of 1000 frames, and a bad entry on either side of a run's end.
        const bool bad = i == 32767 || i == 32768;
        text += std::string(i > 0 ? "," : "") + "{\"SceneId\": " + std::to_string(i / 1000) +
                ", \"SceneFrameIndex\": " + std::to_string(i % 1000) +
                ", \"SequenceFrameIndex\": " + std::to_string(i) +
                ", \"LuminanceParameters\": {\"MaxScl\": [" + std::to_string(i) +
                (bad ? "" : ", 20, 30") + "]}, \"TargetedSystemDisplayMaximumLuminance\": 400}";
    }
    const std::string input = dir.write("long.json", text + "]}");
    const std::string out = dir.path("out.json");
    ToolRun run = runTool({"metadata", input, "-o", out});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 1) << run.err;  // the two bad entries
    EXPECT_NE(run.err.find(": frames 32767 to 32768 each: LuminanceParameters.MaxScl has 1 "
                           "entries, expected 3\n"),
              std::string::npos)
        << run.err;
    const std::string written = readFile(out);
    const Json::Value document = parseJson(written);
    Json::StreamWriterBuilder pretty;
    pretty["indentation"] = "  ";
    EXPECT_EQ(Json::writeString(pretty, document) + "\n", written);
    const Json::Value& entries = document["SceneInfo"];
    ASSERT_EQ(entries.size(), kFrames);
    for (unsigned i : {0u, 1023u, 1024u, 32766u, 32769u, kFrames - 1}) {
        EXPECT_EQ(entries[i]["SequenceFrameIndex"].asUInt(), i);
        EXPECT_EQ(entries[i]["LuminanceParameters"]["MaxScl"][0].asUInt(), i);
    }
    for (unsigned i : {32767u, 32768u}) {
        EXPECT_FALSE(entries[i].isMember("LuminanceParameters")) << i;
        EXPECT_FALSE(entries[i].isMember("SceneId")) << i;
    }
    // Two entries without a SceneId leave the summary out.
    EXPECT_FALSE(document.isMember("SceneInfoSummary"));
    ToolRun piped = runTool({"metadata", input});
    EXPECT_EQ(piped.out, written);
}

TEST(MetadataCommand, UnwritableOutputFileEndsWithStatusOneBeforeTheSummary) {
    TempDir dir;
    std::string text = "{\"SceneInfo\": [";
    for (unsigned i = 0; i < 3000; i++) {
        text += std::string(i > 0 ? "," : "") +
                "{\"LuminanceParameters\": {\"MaxScl\": [10, 20, 30]}, "
                "\"TargetedSystemDisplayMaximumLuminance\": 400}";
    }
    const std::string input = dir.write("film.json", text + "]}");
    ToolRun full = runTool({"metadata", input, "-o", "/dev/full"});
    ASSERT_TRUE(full.exited);
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "kestrel metadata: /dev/full: cannot write: No space left on device\n");
    ToolRun folder = runTool({"metadata", input, "-o", dir.path("")});
    ASSERT_TRUE(folder.exited);
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err, "kestrel metadata: " + dir.path("") + ": cannot write: Is a directory\n");
}

TEST(MetadataCommand, CutContainerFileIsNamedAfterItsFrames) {
    if (streams().empty()) GTEST_SKIP() << "no sample streams";
    TempDir dir;
    std::string whole = readFile(streams() + "regular.mkv");
    std::string path = dir.write("cut.mkv", whole.substr(0, 20000));
    std::string out = dir.path("out.json");
    ToolRun run = runTool({"metadata", path, "-o", out});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(": byte 20000: the file is cut short: its Segment declares it ends at "
                           "byte " +
                           std::to_string(whole.size())),
              std::string::npos)
        << run.err;
    Json::Value scenes = parseJson(readFile(out))["SceneInfo"];
    Json::Value want = parseJson(readFile(realDataDir() + "/regular_metadata.json"))["SceneInfo"];
    ASSERT_GT(scenes.size(), 10u);
    for (Json::ArrayIndex i = 0; i < scenes.size(); ++i) {
        ASSERT_EQ(withoutScene(scenes[i]), withoutScene(want[i])) << "frame " << i;
    }
}

TEST(MetadataCommand, LutAndFrameScriptsChooseTheReaderByContentNotName) {
    if (streams().empty()) GTEST_SKIP() << "no sample streams";
    TempDir dir;
    // The stream named .json, the JSON named .hevc: both must still be read.
    std::string stream = dir.write("clip.json", readFile(streams() + "single-frame.hevc"));
    std::string json =
        dir.write("clip.hevc", readFile(realDataDir() + "/single-frame-metadata.json"));
    ToolRun fromStream = runTool({"lut", stream, "--format", "json"});
    ToolRun fromJson = runTool({"lut", json, "--format", "json"});
    ASSERT_EQ(fromStream.status, 0) << fromStream.err;
    ASSERT_EQ(fromJson.status, 0) << fromJson.err;
    Json::Value a = parseJson(fromStream.out);
    Json::Value b = parseJson(fromJson.out);
    a.removeMember("microseconds");
    b.removeMember("microseconds");
    EXPECT_EQ(a["lutX"], b["lutX"]);
    EXPECT_EQ(a["lutY"], b["lutY"]);
    EXPECT_EQ(a["source_curve"], b["source_curve"]);

    for (const std::string& file : {stream, json}) {
        std::string script = dir.write(
            "script.json",
            R"({"target": {"dataspace": "bt709 srgb", "max_luminance": 500}, "frames": [{"layers": [
               {"index": 0, "dataspace": "bt2020 st2084-pq", "max_luminance": 1000,
                "hdr10plus": {"file": ")" +
                file + R"(", "frame": 0}}]}]})");
        std::string block = dir.path(file == stream ? "a.bin" : "b.bin");
        ToolRun run = runTool({"frame", script, "--block-out", block, "--require-block"});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    EXPECT_EQ(readFile(dir.path("a.bin")), readFile(dir.path("b.bin")));
}

}  // namespace
}  // namespace kestrel::tool::test
