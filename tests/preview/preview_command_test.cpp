// SPDX-License-Identifier: Apache-2.0
// `kestrel preview` run as a user runs it: on streams made in the test
// (lossless, so the pictures are known), on hostile ones, and on a real
// sample stream; exit statuses and every line it prints.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "picture/png_still.h"
#include "support/synthetic_video.h"
#include "tool/cli_test_support.h"

namespace kestrel::tool::test {
namespace {

using kestrel::test::encodeHevc;
using kestrel::test::flatPicture;
using kestrel::test::YuvPicture;

// Four frames: a curve, then statistics only, with MaxScl giving a 2000
// cd/m² peak, except frame 2, whose statistics give none.
const char* kMetadata = R"({"SceneInfo": [
  {"BezierCurveData": {"Anchors": [150, 300, 450, 590, 720, 840, 900, 950, 990],
                       "KneePointX": 300, "KneePointY": 500},
   "LuminanceParameters": {"AverageRGB": 800, "MaxScl": [20000, 15000, 12000],
     "LuminanceDistributions": {"DistributionIndex": [1, 5, 10, 25, 50, 75, 90, 95, 99],
       "DistributionValues": [1, 10, 30, 120, 500, 1500, 4000, 9000, 21000]}},
   "NumberOfWindows": 1, "TargetedSystemDisplayMaximumLuminance": 500},
  {"LuminanceParameters": {"AverageRGB": 800, "MaxScl": [20000, 15000, 12000],
     "LuminanceDistributions": {"DistributionIndex": [50, 99], "DistributionValues": [500, 21000]}},
   "NumberOfWindows": 1, "TargetedSystemDisplayMaximumLuminance": 500},
  {"LuminanceParameters": {"AverageRGB": 0, "MaxScl": [0, 0, 0],
     "LuminanceDistributions": {"DistributionIndex": [50, 99], "DistributionValues": [0, 0]}},
   "NumberOfWindows": 1, "TargetedSystemDisplayMaximumLuminance": 500},
  {"LuminanceParameters": {"AverageRGB": 800, "MaxScl": [20000, 15000, 12000],
     "LuminanceDistributions": {"DistributionIndex": [50, 99], "DistributionValues": [500, 21000]}},
   "NumberOfWindows": 1, "TargetedSystemDisplayMaximumLuminance": 500}]})";

class PreviewCommand : public ::testing::Test {
protected:
    TempDir dir;
    std::string metadata = dir.write("meta.json", kMetadata);

    std::string stream(const std::string& name, const std::vector<YuvPicture>& pictures,
                       const kestrel::test::EncodeOptions& options = {}) {
        std::string error;
        std::vector<uint8_t> bytes = encodeHevc(pictures, options, error);
        EXPECT_FALSE(bytes.empty()) << error;
        return dir.write(name, std::string(bytes.begin(), bytes.end()));
    }
    std::string greys(const std::string& name) {
        return stream(name, {flatPicture(64, 48, 300), flatPicture(64, 48, 500),
                             flatPicture(64, 48, 700)});
    }
};

// "decoded in 0.52 s; tone stage 0.05 s (20.5 Mpixel/s); drawn in 0.14 s":
// the words exactly, the figures any number of the stated decimals.
bool isTimesLine(const std::string& line) {
    char verb[16] = {};
    char a[16] = {}, b[16] = {}, rate[16] = {}, c[16] = {};
    int used = 0;
    if (std::sscanf(line.c_str(), "%15s in %15s s; tone stage %15s s (%15s Mpixel/s); drawn in %15s s%n",
                    verb, a, b, rate, c, &used) != 5 ||
        static_cast<size_t>(used) != line.size())
        return false;
    auto decimals = [](const char* t, size_t n) {
        const std::string v = t;
        const size_t dot = v.find('.');
        return dot != std::string::npos && dot > 0 && v.size() - dot - 1 == n &&
               v.find_first_not_of("0123456789.") == std::string::npos;
    };
    return (std::string(verb) == "decoded" || std::string(verb) == "read") && decimals(a, 2) &&
           decimals(b, 2) && decimals(rate, 1) && decimals(c, 2);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(text.substr(start, end - start));
    return out;
}

TEST_F(PreviewCommand, WritesThePreviewAndTheHdrImagesAndSaysWhatItDid) {
    const std::string in = greys("greys.hevc");
    const std::string out = dir.path("p.png");
    ToolRun run = runTool({"preview", in, "--metadata", metadata, "--frame", "1", "--target-nits",
                           "300,600", "--hdr", "-o", out});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> said = lines(run.out);
    ASSERT_EQ(said.size(), 8u) << run.out;
    EXPECT_EQ(said[0], out + ": frame 1 of " + in + ", 64x48 shown as 64x48, targets 300, 600 cd/m²");
    const char* paths[3] = {"source", "table", "curve"};
    for (int t = 0; t < 2; t++)
        for (int p = 0; p < 3; p++)
            EXPECT_EQ(said[1 + t * 3 + p], dir.path(std::string("p-") + (t ? "600" : "300") + "-" +
                                                    paths[p] + ".png") +
                                               ": PQ BT.2020, 16-bit, with a cICP chunk");
    EXPECT_TRUE(isTimesLine(said[7])) << said[7];
    EXPECT_EQ(readFile(out).substr(1, 3), "PNG");

    // The source at 600 cd/m², read back: grey code 500, (500 - 64) / 876
    // through ST 2084, is 90.16 cd/m², under the target, so unchanged (to
    // the 16-bit PQ step).
    Result<picture::Still> back = picture::readPngStillFile(dir.path("p-600-source.png"));
    ASSERT_TRUE(back.ok()) << back.status().message();
    ASSERT_TRUE(back->cicp);
    EXPECT_EQ(back->cicp->transfer, 16);
    EXPECT_NEAR(back->light.g[100], 90.16, 0.01);
    // The same file as a still, with the metadata's frame 1.
    ToolRun still = runTool({"preview", dir.path("p-600-source.png"), "--metadata", metadata,
                             "--frame", "1", "-o", dir.path("s.png")});
    EXPECT_EQ(still.status, 0) << still.err;
    EXPECT_EQ(lines(still.out).at(0), dir.path("s.png") + ": " + dir.path("p-600-source.png") +
                                           ", 64x48 shown as 64x48, targets 1000 cd/m²");
}

TEST_F(PreviewCommand, OddAndTinyPicturesAreShown) {
    // 4:4:4 allows an odd size; a 16x16 picture cropped by its conformance
    // window to a single pixel is a valid stream too.
    const std::string odd = stream("odd.hevc", {flatPicture(33, 17, 500, 512, 512, true)});
    ToolRun run = runTool({"preview", odd, "--metadata", metadata, "-o", dir.path("odd.png")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(", 33x17 shown as 33x17, "), std::string::npos) << run.out;

    std::string error;
    std::vector<uint8_t> bytes = encodeHevc({flatPicture(16, 16, 500, 512, 512, true)}, {}, error);
    ASSERT_TRUE(kestrel::test::rewritePictureSize(bytes, 16, 16, 15, 15));
    const std::string one = dir.write("one.hevc", std::string(bytes.begin(), bytes.end()));
    run = runTool({"preview", one, "--metadata", metadata, "-o", dir.path("one.png")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(", 1x1 shown as 1x1, "), std::string::npos) << run.out;
}

TEST_F(PreviewCommand, HostileVideoEndsWithItsReasonAndStatusOne) {
    struct Case {
        std::string input;
        std::vector<std::string> extra;
        std::string message;  // after "kestrel preview: "
    };
    std::string error;
    // Declares 16384x8192: refused before the decoder allocates for it.
    std::vector<uint8_t> huge = encodeHevc({flatPicture(64, 64, 500)}, {}, error);
    ASSERT_TRUE(kestrel::test::rewritePictureSize(huge, 16384, 8192));
    const std::string hugePath = dir.write("huge.hevc", std::string(huge.begin(), huge.end()));
    // Cut in the middle: the last frames are not there.
    std::vector<uint8_t> cut = encodeHevc(
        {flatPicture(64, 48, 300), flatPicture(64, 48, 400), flatPicture(64, 48, 500),
         flatPicture(64, 48, 600)},
        {}, error);
    cut.resize(cut.size() / 2);
    const std::string cutPath = dir.write("cut.hevc", std::string(cut.begin(), cut.end()));
    kestrel::test::EncodeOptions hlg;
    hlg.transfer = kestrel::test::Transfer::Hlg;
    const std::string hlgPath = stream("hlg.hevc", {flatPicture(64, 48, 500)}, hlg);
    kestrel::test::EncodeOptions sdr;
    sdr.transfer = kestrel::test::Transfer::Sdr;
    const std::string sdrPath = stream("sdr.hevc", {flatPicture(64, 48, 500)}, sdr);
    const std::string text = dir.write("notes.hevc", "not a video\n");
    const std::string greysPath = greys("greys.hevc");

    const std::vector<Case> cases = {
        {hugePath, {}, hugePath + ": picture 0: the stream declares pictures of 16384x8192, "
                                  "larger than the 8192x4320 pixels that are read"},
        {cutPath, {"--frame", "3"}, ""},  // checked below: the count depends on the cut
        {hlgPath, {}, hlgPath + ": its pictures are HLG (ARIB STD-B67), not PQ: only PQ "
                                "(HDR10, HDR10+) video is shown"},
        {sdrPath, {}, sdrPath + ": its pictures are SDR (a BT.709/BT.1886-style gamma), not "
                                "PQ: only PQ (HDR10, HDR10+) video is shown"},
        {text, {}, text + ": no video the demuxer can read: its first bytes are of no container "
                          "or stream format it knows"},
        {greysPath, {"--frame", "2"},
         metadata + ": frame 2: its metadata gives a source peak of 0 cd/m² (the brightest "
                    "MaxScl component, capped by a last distribution entry at 99 %), so the "
                    "table's input scale is unknown; give one with --source-peak"},
        {greysPath, {"--crop", "64x48+1+0"},
         greysPath + ": the crop 64x48+1+0 reaches outside the 64x48 picture"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        std::vector<std::string> args = {"preview", c.input, "--metadata", metadata};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        args.insert(args.end(), {"-o", dir.path("x.png")});
        ToolRun run = runTool(args);
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        if (c.message.empty()) {
            const std::string head = "kestrel preview: " + cutPath +
                                     ": there is no picture 3: the stream has ";
            EXPECT_EQ(run.err.substr(0, head.size()), head);
            const std::string count = run.err.substr(std::min(head.size(), run.err.size()));
            EXPECT_TRUE(count == "1\n" || count == "2\n" || count == "3\n") << run.err;
        } else {
            EXPECT_EQ(run.err, "kestrel preview: " + c.message + "\n");
        }
        EXPECT_FALSE(std::filesystem::exists(dir.path("x.png")));
    }

    // The same frame with a source peak given is shown.
    ToolRun given = runTool({"preview", greysPath, "--metadata", metadata, "--frame", "2",
                             "--source-peak", "1000", "-o", dir.path("x.png")});
    EXPECT_EQ(given.status, 0) << given.err;
}

TEST_F(PreviewCommand, MistakesOnTheCommandLineAreUsageErrors) {
    const std::string in = greys("g.hevc");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--scale", "2"}, "kestrel preview: --scale must be at most 1 (got 2)"},
        {{"--crop", "10x10+5"},
         "kestrel preview: --crop takes WIDTHxHEIGHT+X+Y, e.g. 960x540+1440+810 (got "
         "\"10x10+5\")"},
        {{"--source-peak", "20000"}, "kestrel preview: --source-peak must be at most 10000 (got 20000)"},
    };
    for (const auto& [extra, message] : cases) {
        std::vector<std::string> args = {"preview", in, "-o", dir.path("u.png")};
        args.insert(args.end(), extra.begin(), extra.end());
        ToolRun run = runTool(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, message + "\nRun with --help for more information.\n");
    }
    ToolRun still = runTool({"preview", dir.path("nothing.png"), "-o", dir.path("u.png")});
    EXPECT_EQ(still.status, 1);
    ToolRun help = runTool({"preview", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("kestrel preview clip.hevc --frame 12 --target-nits 300,600,1000"),
              std::string::npos);
}

TEST_F(PreviewCommand, RealStreamFramePairsWithItsOwnMetadata) {
    const std::string data = realDataDir();
    if (data.empty()) GTEST_SKIP() << "no sample streams";
    const std::string in = data + "/streams/ToS-s01.h265";
    ToolRun run = runTool({"preview", in, "--target-nits", "600", "-o", dir.path("tos.png")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).at(0), dir.path("tos.png") + ": frame 0 of " + in +
                                         ", 1920x800 shown as 640x267, targets 600 cd/m²");
}

}  // namespace
}  // namespace kestrel::tool::test
