// SPDX-License-Identifier: Apache-2.0
// `kestrel inject` run as a user runs it: the metadata comes back exactly
// from the stream it was written into, the stream's pictures keep their
// bytes, and every input that does not fit ends with status 1, one line
// saying what is wrong, and no output file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hevc/stream_builder.h"
#include "tool/cli_test_support.h"

namespace kestrel::tool::test {
namespace {

namespace fs = std::filesystem;
using hevc::test::append;
using Bytes = std::vector<uint8_t>;

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Four pictures decoded I0 P3 B1 B2, one of them (B1) with an HDR10+ SEI of
// its own beside another message.
Bytes fourPictures() {
    using namespace hevc::test;
    Bytes s;
    append(s, sps(8, 2), true);
    append(s, pps(false), true);
    append(s, slice(19, 0, 8), true);
    append(s, slice(1, 3, 8));
    append(s, sei({{5, {1, 2, 3}}, {4, hdr10plusPayload(7)}}));
    append(s, slice(1, 1, 8));
    append(s, slice(1, 2, 8));
    return s;
}

// A SceneInfo entry with peak `peak` (0.1 cd/m²), and with `scene` (its
// SceneId, SceneFrameIndex and SequenceFrameIndex) when given.
std::string entry(int peak, const std::vector<int>& scene = {}) {
    std::string positions;
    if (!scene.empty())
        positions = "\"SceneId\": " + std::to_string(scene[0]) + ", \"SceneFrameIndex\": " +
                    std::to_string(scene[1]) + ", \"SequenceFrameIndex\": " +
                    std::to_string(scene[2]) + ", ";
    return "{" + positions + "\"TargetedSystemDisplayMaximumLuminance\": 400, \"LuminanceParameters\": {"
           "\"MaxScl\": [" + std::to_string(peak) + ", 20, 30], \"AverageRGB\": 7, "
           "\"LuminanceDistributions\": {\"DistributionIndex\": [1, 50, 99], "
           "\"DistributionValues\": [1, 5, " + std::to_string(peak) + "]}}}";
}

std::string document(const std::vector<int>& peaks) {
    std::string text = "{\"SceneInfo\": [";
    for (size_t i = 0; i < peaks.size(); ++i) text += (i ? ", " : "") + entry(peaks[i]);
    return text + "]}";
}

TEST(InjectCommand, MetadataComesBackExactlyAndTheOldMessageIsReplaced) {
    TempDir dir;
    writeBytes(dir.path("in.hevc"), fourPictures());
    // Scenes numbered as extraction numbers them for a stream (a run of
    // equal frames is a scene); `kestrel metadata` writes the JSON in its
    // own layout, which must come back to the byte.
    dir.write("raw.json", "{\"SceneInfo\": [" + entry(100, {0, 0, 0}) + ", " +
                              entry(200, {1, 0, 1}) + ", " + entry(200, {1, 1, 2}) + ", " +
                              entry(400, {2, 0, 3}) + "]}");
    ToolRun canonical = runTool({"metadata", dir.path("raw.json"), "-o", dir.path("meta.json")});
    ASSERT_EQ(canonical.status, 0) << canonical.err;

    ToolRun run = runTool({"inject", dir.path("in.hevc"), "--metadata", dir.path("meta.json"), "-o",
                           dir.path("out.hevc")});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "kestrel inject: " + dir.path("out.hevc") + ": 4 pictures with HDR10+ from " +
                           dir.path("meta.json") + "; 1 HDR10+ message of the input replaced\n");

    ToolRun back = runTool({"metadata", dir.path("out.hevc"), "-o", dir.path("back.json")});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(withoutStreamExtras(parseJson(readFile(dir.path("back.json")))),
              withoutStreamExtras(parseJson(readFile(dir.path("meta.json")))));
    EXPECT_EQ(back.err, "kestrel metadata: " + dir.path("out.hevc") +
                            ": HEVC Annex B stream, 4 frames: 4 with metadata of their own, 0 "
                            "repeating the latest before them in decoding order, 0 without\n");
}

TEST(InjectCommand, FrameCountsThatDoNotFitNameBothFilesAndWriteNothing) {
    TempDir dir;
    std::string in = dir.path("in.hevc"), out = dir.path("out.hevc");
    writeBytes(in, fourPictures());
    dir.write("three.json", document({1, 2, 3}));
    dir.write("five.json", document({1, 2, 3, 4, 5}));

    ToolRun fewer = runTool({"inject", in, "--metadata", dir.path("three.json"), "-o", out});
    EXPECT_EQ(fewer.status, 1);
    EXPECT_EQ(fewer.err, "kestrel inject: " + dir.path("three.json") +
                             ": 3 frames of metadata for the 4 pictures of " + in +
                             ": 1 too few (--repeat-last puts the last frame on the other 1)\n");
    ToolRun more =
        runTool({"inject", in, "--metadata", dir.path("five.json"), "-o", out, "--repeat-last"});
    EXPECT_EQ(more.status, 1);
    EXPECT_EQ(more.err, "kestrel inject: " + dir.path("five.json") +
                            ": 5 frames of metadata for the 4 pictures of " + in +
                            ": 1 too many\n");
    EXPECT_FALSE(fs::exists(out));
    // No frame at all: nothing to repeat either.
    dir.write("none.json", document({}));
    ToolRun none =
        runTool({"inject", in, "--metadata", dir.path("none.json"), "-o", out, "--repeat-last"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "kestrel inject: " + dir.path("none.json") +
                            ": 0 frames of metadata for the 4 pictures of " + in + "\n");
    EXPECT_FALSE(fs::exists(out));

    ToolRun repeated =
        runTool({"inject", in, "--metadata", dir.path("three.json"), "-o", out, "--repeat-last"});
    EXPECT_EQ(repeated.status, 0) << repeated.err;
    EXPECT_EQ(repeated.err, "kestrel inject: " + out + ": 4 pictures with HDR10+ from " +
                                dir.path("three.json") +
                                " (the last frame repeated on 1 picture); 1 HDR10+ message of "
                                "the input replaced\n");
    Json::Value back = parseJson(runTool({"metadata", out}).out)["SceneInfo"];
    ASSERT_EQ(back.size(), 4u);
    EXPECT_EQ(back[2]["LuminanceParameters"]["MaxScl"][0].asInt(), 3);
    EXPECT_EQ(back[3]["LuminanceParameters"]["MaxScl"][0].asInt(), 3);
}

TEST(InjectCommand, InputsThatAreNotWhatTheyShouldBeFailWithOneLine) {
    TempDir dir;
    std::string in = dir.path("in.hevc"), out = dir.path("out.hevc");
    writeBytes(in, fourPictures());
    dir.write("meta.json", document({1, 2, 3, 4}));
    dir.write("bad.json",
              "{\"SceneInfo\": [" + entry(1) + ", {\"TargetedSystemDisplayMaximumLuminance\": 400, "
              "\"LuminanceParameters\": {\"MaxScl\": [1, -2, 3]}}, " + entry(3) + ", " + entry(4) + "]}");
    Bytes cut = fourPictures();
    size_t at = cut.size();
    append(cut, hevc::test::sei({{4, hevc::test::hdr10plusPayload(1)}}));
    writeBytes(dir.path("cut.hevc"), cut);
    writeBytes(dir.path("film.mkv"), {0x1A, 0x45, 0xDF, 0xA3, 0x9F, 0x42, 0x86, 0x81, 0x01});
    writeBytes(dir.path("garbage.bin"), {0x12, 0x34});

    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{dir.path("cut.hevc"), "--metadata", dir.path("meta.json")},
         dir.path("cut.hevc") + ": byte " + std::to_string(at + 3) +
             ": the stream ends after an HDR10+ message, before its picture"},
        {{dir.path("film.mkv"), "--metadata", dir.path("meta.json")},
         dir.path("film.mkv") +
             ": a container file; inject writes HEVC Annex B streams only (extract the stream, "
             "inject, then mux it again)"},
        {{dir.path("meta.json"), "--metadata", in},
         dir.path("meta.json") + ": JSON, not an HEVC stream (the metadata goes after --metadata)"},
        {{dir.path("garbage.bin"), "--metadata", dir.path("meta.json")},
         dir.path("garbage.bin") + ": not an HEVC Annex B stream (no start code at its beginning)"},
        {{dir.path("missing.hevc"), "--metadata", dir.path("meta.json")},
         dir.path("missing.hevc") + ": cannot open: No such file or directory"},
        {{dir.path(""), "--metadata", dir.path("meta.json")},
         dir.path("") + ": is a directory, not a file"},
        {{in, "--metadata", dir.path("bad.json")},
         dir.path("bad.json") + ": frame 1: LuminanceParameters.MaxScl[1] is negative (-2)"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"inject"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"-o", out});
        ToolRun run = runTool(args);
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.status, 1) << c.err;
        EXPECT_EQ(run.err, "kestrel inject: " + c.err + "\n");
        EXPECT_FALSE(fs::exists(out)) << c.err;
    }
    // Nothing but the inputs in the folder: no temporary file left behind.
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir.path(""))) files += e.is_regular_file();
    EXPECT_EQ(files, 6u);

    ToolRun noOutput = runTool({"inject", in, "--metadata", dir.path("meta.json")});
    EXPECT_EQ(noOutput.status, 2);
    EXPECT_NE(noOutput.err.find("--output is required"), std::string::npos) << noOutput.err;
    ToolRun help = runTool({"inject", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("kestrel inject clip.hevc --metadata clip.json -o clip-hdr10plus.hevc"),
              std::string::npos);
}

TEST(InjectCommand, MetadataCopiedFromAnotherStreamGivesTheSameJson) {
    if (realDataDir().empty()) GTEST_SKIP() << "no sample streams";
    TempDir dir;
    std::string regular = realDataDir() + "/streams/regular.hevc";
    ToolRun run = runTool({"inject", realDataDir() + "/streams/regular_start_code_4.hevc",
                           "--metadata", regular, "-o", dir.path("out.hevc")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(withoutStreamExtras(parseJson(runTool({"metadata", dir.path("out.hevc")}).out)),
              withoutStreamExtras(parseJson(runTool({"metadata", regular}).out)));
}

}  // namespace
}  // namespace kestrel::tool::test
