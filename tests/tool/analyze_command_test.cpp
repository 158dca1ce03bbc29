// SPDX-License-Identifier: Apache-2.0
// `kestrel analyze` on streams made in the test (lossless, so every
// statistic is known): exact statistics of grey patches, shots where the
// cuts were put, metadata that survives injection, and hostile inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "support/synthetic_video.h"
#include "tool/cli_test_support.h"

namespace kestrel::tool::test {
namespace {

namespace fs = std::filesystem;
using kestrel::test::YuvPicture;

// The PQ EOTF written out here, in double: the test's own light of a code.
double pqNits(double signal) {
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096,
                 c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    double p = std::pow(signal, 1 / m2);
    return 10000.0 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
}

// The stored 0.1 cd/m² of a 10-bit limited-range grey code.
int stored(int code) {
    double tenths = pqNits((code - 64) / 876.0) * 10.0;
    // Far from a rounding edge, so that float and double agree on it.
    EXPECT_GT(std::fabs(tenths - std::floor(tenths) - 0.5), 0.01) << code;
    return static_cast<int>(std::floor(tenths + 0.5));
}

std::string encode(const std::string& name, const std::vector<YuvPicture>& pictures,
                   const kestrel::test::EncodeOptions& options = {}) {
    std::string error;
    std::vector<uint8_t> bytes = kestrel::test::encodeHevc(pictures, options, error);
    EXPECT_FALSE(bytes.empty()) << error;
    return kestrel::test::writeTemporary(name, bytes);
}

// Four grey columns at codes a, b, c, d (chroma neutral: R' = G' = B').
YuvPicture columns(unsigned w, unsigned h, const std::vector<uint16_t>& codes) {
    YuvPicture p = kestrel::test::flatPicture(w, h, 0);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) p.y[size_t{y} * w + x] = codes[x * codes.size() / w];
    return p;
}

// A textured picture, different for each `scene`.
YuvPicture scene(unsigned w, unsigned h, unsigned which, uint16_t brighten = 0) {
    YuvPicture p = kestrel::test::flatPicture(w, h, 0);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            p.y[size_t{y} * w + x] = static_cast<uint16_t>(
                200 + brighten + 150 * (1 + std::sin(x * 0.1 * (which + 1) + which)) *
                                     (1 + std::cos(y * 0.13 * (which + 2))));
    return p;
}

TEST(AnalyzeCommand, GreyPatchesGiveTheirStatisticsExactly) {
    // Columns of 25 % each at codes 300, 500, 700, 900, on a picture of a
    // size no coding block divides (68 x 34, so the stream crops it): the
    // percentiles fall on the columns' light.
    std::vector<uint16_t> codes = {300, 500, 700, 900};
    std::string path = encode("patches.hevc", {columns(68, 34, codes), columns(68, 34, codes)});
    ToolRun run = runTool({"analyze", path, "--format", "json", "--scope", "frame"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(parseJson(run.out)["ToolInfo"]["Version"].asString(), KESTREL_VERSION);
    Json::Value frames = parseJson(run.out)["SceneInfo"];
    ASSERT_EQ(frames.size(), 2u);
    const Json::Value& lp = frames[1]["LuminanceParameters"];
    for (int c = 0; c < 3; ++c) EXPECT_EQ(lp["MaxScl"][c].asInt(), stored(900));
    const Json::Value& values = lp["LuminanceDistributions"]["DistributionValues"];
    // 1 to 25 %: the first column; 50 %: the second; 75 %: the third; above: the fourth.
    const int expected[] = {stored(300), stored(300), stored(300), stored(300), stored(500),
                            stored(700), stored(900), stored(900), stored(900)};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(values[i].asInt(), expected[i]) << i;
    double mean = (pqNits(236 / 876.0) + pqNits(436 / 876.0) + pqNits(636 / 876.0) +
                   pqNits(836 / 876.0)) / 4;
    EXPECT_NEAR(lp["AverageRGB"].asDouble(), mean * 10, 0.5 + 1e-6);
    EXPECT_EQ(frames[1]["TargetedSystemDisplayMaximumLuminance"].asInt(), 0);
    EXPECT_FALSE(frames[1].isMember("BezierCurveData"));

    // The ten-entry form: 98 % before 99 %, on the brightest column; the
    // other entries as before.
    ToolRun ten = runTool({"analyze", path, "--format", "json", "--scope", "frame",
                           "--distribution", "10"});
    ASSERT_EQ(ten.status, 0) << ten.err;
    const Json::Value tenLp = parseJson(ten.out)["SceneInfo"][1]["LuminanceParameters"];
    const Json::Value& index = tenLp["LuminanceDistributions"]["DistributionIndex"];
    const Json::Value& tenValues = tenLp["LuminanceDistributions"]["DistributionValues"];
    const int percentages[] = {1, 5, 10, 25, 50, 75, 90, 95, 98, 99};
    const int tenExpected[] = {stored(300), stored(300), stored(300), stored(300), stored(500),
                               stored(700), stored(900), stored(900), stored(900), stored(900)};
    ASSERT_EQ(index.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(index[i].asInt(), percentages[i]) << i;
        EXPECT_EQ(tenValues[i].asInt(), tenExpected[i]) << i;
    }
    ToolRun csvTen = runTool({"analyze", path, "--format", "csv", "--distribution", "10"});
    EXPECT_EQ(csvTen.status, 2);
    EXPECT_EQ(csvTen.err, "kestrel analyze: --distribution needs --format json\nRun with --help "
                          "for more information.\n");
    fs::remove(path);
}

TEST(AnalyzeCommand, ShotsWhereTheCutsAreAndMetadataThatSurvivesInjection) {
    // Three scenes of four pictures; a one-picture flash inside the second.
    std::vector<YuvPicture> pictures;
    for (unsigned s = 0; s < 3; ++s)
        for (unsigned i = 0; i < 4; ++i) pictures.push_back(scene(64, 48, s));
    pictures[5] = kestrel::test::flatPicture(64, 48, 940);
    std::string path = encode("scenes.hevc", pictures);
    TempDir dir;
    ToolRun run = runTool({"analyze", path, "--format", "json", "-o", dir.path("m.json")});
    ASSERT_EQ(run.status, 0) << run.err;
    Json::Value frames = parseJson(readFile(dir.path("m.json")))["SceneInfo"];
    ASSERT_EQ(frames.size(), 12u);
    for (unsigned i = 0; i < 12; ++i) {
        EXPECT_EQ(frames[i]["SceneId"].asUInt(), i / 4) << i;
        EXPECT_EQ(frames[i]["SceneFrameIndex"].asUInt(), i % 4) << i;
        EXPECT_EQ(frames[i]["SequenceFrameIndex"].asUInt(), i);
    }
    // The shot with the flash: its peak is the flash's white.
    EXPECT_EQ(frames[4]["LuminanceParameters"]["MaxScl"][0].asInt(), stored(940));

    ToolRun summary = runTool({"analyze", path});
    ASSERT_EQ(summary.status, 0);
    EXPECT_EQ(summary.out.substr(0, summary.out.find('\n')),
              path + ": 12 pictures, 64x48, 10-bit PQ; 3 shots found in the pictures; every "
                     "picture measured");

    // Injected and read back: the same frames.
    ToolRun inject = runTool({"inject", path, "--metadata", dir.path("m.json"), "-o",
                              dir.path("out.hevc")});
    ASSERT_EQ(inject.status, 0) << inject.err;
    Json::Value back =
        withoutStreamExtras(parseJson(runTool({"metadata", dir.path("out.hevc")}).out))["SceneInfo"];
    EXPECT_EQ(back, frames);
    fs::remove(path);
}

TEST(AnalyzeCommand, EveryNMeasuresFewerPicturesAndTheCsvSaysWhich) {
    std::vector<YuvPicture> pictures;
    for (unsigned i = 0; i < 5; ++i) pictures.push_back(scene(32, 32, 0, static_cast<uint16_t>(i)));
    std::string path = encode("every.hevc", pictures);
    ToolRun run = runTool({"analyze", path, "--format", "csv", "--every", "2"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines;
    for (size_t at = 0, next; (next = run.out.find('\n', at)) != std::string::npos; at = next + 1)
        lines.push_back(run.out.substr(at, next - at));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0],
              "picture,shot,measured,cut_distance,maxscl_r,maxscl_g,maxscl_b,average_maxrgb,p1,p5,"
              "p10,p25,p50,p75,p90,p95,p99,p99_9,p99_98");
    const char* measured[] = {"1", "0", "1", "0", "1"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(lines[i + 1].substr(0, lines[i + 1].find(',', lines[i + 1].find(',') + 1) + 2),
                  std::to_string(i) + ",0," + measured[i])
            << lines[i + 1];
    }
    // An unmeasured picture carries the one before: same statistics after
    // the cut distance column.
    auto stats = [](const std::string& l) { return l.substr(l.find(',', l.find(',', l.find(',', l.find(',') + 1) + 1) + 1)); };
    EXPECT_EQ(stats(lines[2]), stats(lines[1]));
    EXPECT_NE(stats(lines[3]), stats(lines[1]));
    fs::remove(path);
}

// The CSV's rows, header first.
std::vector<std::string> csvLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, next; (next = text.find('\n', at)) != std::string::npos; at = next + 1)
        lines.push_back(text.substr(at, next - at));
    return lines;
}

// A row's picture, shot and measured columns, and its statistics (after the
// cut distance).
std::string rowHead(const std::string& l) {
    return l.substr(0, l.find(',', l.find(',', l.find(',') + 1) + 1));
}
std::string rowStatistics(const std::string& l) {
    return l.substr(l.find(',', l.find(',', l.find(',', l.find(',') + 1) + 1) + 1));
}

TEST(AnalyzeCommand, KeyframesMeasuresKeyFramesAndShotStartsNumberedInDisplayOrder) {
    // Ten pictures in two shots (the cut before picture 6), a key frame every
    // four (0, 4, 8) and none at the cut; B-pictures, so decoding order is
    // not display order. Each picture a little brighter than the one before,
    // so that every picture's statistics are its own.
    std::vector<YuvPicture> pictures;
    for (unsigned i = 0; i < 10; ++i)
        pictures.push_back(scene(64, 48, i < 6 ? 0 : 3, static_cast<uint16_t>(4 * i)));
    kestrel::test::EncodeOptions options;
    options.keyInterval = 4;
    const std::string path = encode("keyframes.hevc", pictures, options);

    ToolRun all = runTool({"analyze", path, "--format", "csv"});
    ToolRun keys = runTool({"analyze", path, "--format", "csv", "--keyframes"});
    ToolRun everyOther = runTool({"analyze", path, "--format", "csv", "--keyframes", "--every", "2"});
    ASSERT_EQ(all.status, 0) << all.err;
    ASSERT_EQ(keys.status, 0) << keys.err;
    ASSERT_EQ(everyOther.status, 0) << everyOther.err;
    const std::vector<std::string> a = csvLines(all.out), k = csvLines(keys.out),
                                   e = csvLines(everyOther.out);
    ASSERT_EQ(a.size(), 11u);
    ASSERT_EQ(k.size(), 11u);
    ASSERT_EQ(e.size(), 11u);
    EXPECT_EQ(k[0], a[0]);  // the same columns

    // Key frames 0, 4, 8 and the shot's first picture 6; with --every 2 one
    // key frame in two (0 and 8) and still picture 6.
    const char* keyRows[] = {"0,0,1", "1,0,0", "2,0,0", "3,0,0", "4,0,1",
                             "5,0,0", "6,1,1", "7,1,0", "8,1,1", "9,1,0"};
    const char* everyRows[] = {"0,0,1", "1,0,0", "2,0,0", "3,0,0", "4,0,0",
                               "5,0,0", "6,1,1", "7,1,0", "8,1,1", "9,1,0"};
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(rowHead(k[i + 1]), keyRows[i]) << k[i + 1];
        EXPECT_EQ(rowHead(e[i + 1]), everyRows[i]) << e[i + 1];
    }
    // A measured picture has exactly the statistics of the full analysis;
    // the others carry the latest measured one of their shot.
    const size_t carried[] = {0, 0, 0, 0, 4, 4, 6, 6, 8, 8};
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(rowStatistics(k[i + 1]), rowStatistics(a[carried[i] + 1])) << i;
        if (i > 0) {
            EXPECT_NE(rowStatistics(a[i + 1]), rowStatistics(a[i])) << i;
        }
    }
    EXPECT_EQ(rowStatistics(e[5 + 1]), rowStatistics(a[0 + 1]));

    ToolRun summary = runTool({"analyze", path, "--keyframes", "--every", "2"});
    ASSERT_EQ(summary.status, 0) << summary.err;
    EXPECT_EQ(summary.out.substr(0, summary.out.find('\n')),
              path + ": 10 pictures, 64x48, 10-bit PQ; 2 shots found in the pictures; 3 measured "
                     "(one key frame in 2 and the first of each shot; 3 key frames)");
    // One frame of metadata per picture, as inject needs.
    ToolRun json = runTool({"analyze", path, "--keyframes", "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    size_t frames = 0;
    for (size_t at = 0; (at = json.out.find("\"SequenceFrameIndex\"", at)) != std::string::npos; ++at)
        ++frames;
    EXPECT_EQ(frames, 10u);
    fs::remove(path);
}

// Pictures are measured while the next ones decode, into frames the
// decoder takes in turn: each picture must keep its own light. Flat greys,
// each at its own level, so that a picture measured from another's samples
// shows. Each is a cut, so with --every 2 the unmeasured ones are measured
// afterwards as shot starts, in line with the measuring of the others.
TEST(AnalyzeCommand, PicturesMeasuredOnOtherThreadsKeepTheirOwnLight) {
    const std::vector<uint16_t> codes = {300, 780, 420, 900, 540, 660};
    std::vector<YuvPicture> pictures;
    for (uint16_t code : codes) {
        YuvPicture p = kestrel::test::flatPicture(32, 32, 0);
        std::fill(p.y.begin(), p.y.end(), code);
        pictures.push_back(p);
    }
    std::string path = encode("levels.hevc", pictures);
    for (const char* every : {"1", "2"}) {
        ToolRun run = runTool({"analyze", path, "--format", "csv", "--every", every});
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<std::string> lines = csvLines(run.out);
        ASSERT_EQ(lines.size(), codes.size() + 1) << every;
        for (size_t i = 0; i < codes.size(); ++i) {
            const int tenths = stored(codes[i]);
            const std::string nits = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
            // maxscl r, g, b, then the average: all the one grey's light.
            EXPECT_EQ(rowStatistics(lines[i + 1]).substr(1, 4 * (nits.size() + 1)),
                      nits + "," + nits + "," + nits + "," + nits + ",")
                << "--every " << every << ", picture " << i << ": " << lines[i + 1];
        }
    }
    fs::remove(path);
}

TEST(AnalyzeCommand, HostileInputsEndWithOneLineAndStatusOne) {
    kestrel::test::EncodeOptions hlg;
    hlg.transfer = kestrel::test::Transfer::Hlg;
    std::string hlgPath = encode("hlg.hevc", {kestrel::test::flatPicture(32, 32, 500)}, hlg);
    ToolRun run = runTool({"analyze", hlgPath});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kestrel analyze: " + hlgPath +
                           ": its pictures are HLG (ARIB STD-B67), not PQ: only PQ (HDR10, "
                           "HDR10+) video is shown\n");
    EXPECT_EQ(run.out, "");

    // Cut after its parameter sets, before the first picture: nothing to
    // measure, and no output file.
    std::string error;
    std::vector<uint8_t> bytes =
        kestrel::test::encodeHevc({kestrel::test::flatPicture(32, 32, 500)}, {}, error);
    size_t firstSlice = 0;
    for (size_t i = 0; i + 3 < bytes.size(); ++i)
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && ((bytes[i + 3] >> 1) & 0x3f) < 32) {
            firstSlice = i;
            break;
        }
    ASSERT_GT(firstSlice, 0u);
    bytes.resize(firstSlice);
    std::string cut = kestrel::test::writeTemporary("cut.hevc", bytes);
    TempDir dir;
    run = runTool({"analyze", cut, "--format", "json", "-o", dir.path("out.json")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kestrel analyze: " + cut +
                           ": no video the demuxer can read: its first bytes are of no container "
                           "or stream format it knows\n");
    EXPECT_FALSE(fs::exists(dir.path("out.json")));
    // Cut a tenth into the picture's slice data: the decoder would conceal
    // the rest. On one thread it fails the picture; on frame threads it says
    // so only as its threads finish, which must not be taken for the end.
    // (A cut in the last part of a slice decodes from the padding without a
    // word from the decoder: that is not caught.)
    std::vector<uint8_t> whole = kestrel::test::encodeHevc({scene(128, 128, 0)}, {}, error);
    size_t lastSlice = 0;
    for (size_t i = 0; i + 3 < whole.size(); ++i)
        if (whole[i] == 0 && whole[i + 1] == 0 && whole[i + 2] == 1 &&
            ((whole[i + 3] >> 1) & 0x3f) < 32)
            lastSlice = i;
    ASSERT_GT(lastSlice, 0u);
    ASSERT_GT(whole.size() - lastSlice, 2000u);  // enough slice data to cut into
    whole.resize(lastSlice + (whole.size() - lastSlice) / 10);
    std::string inside = kestrel::test::writeTemporary("cut-inside.hevc", whole);
    for (const char* threads : {"1", "2"}) {
        for (const char* command : {"analyze", "check"}) {
            run = runTool({command, inside, "--threads", threads, "-o", dir.path("out.txt")});
            EXPECT_EQ(run.status, 1) << command << " " << threads;
            EXPECT_EQ(
                run.err.rfind(std::string("kestrel ") + command + ": " + inside + ": picture ", 0),
                0u)
                << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
            EXPECT_FALSE(fs::exists(dir.path("out.txt")));
        }
    }
    fs::remove(inside);

    std::string text = kestrel::test::writeTemporary("text.hevc", {'h', 'i', '\n'});
    run = runTool({"analyze", text});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("kestrel analyze: " + text + ": ", 0), 0u) << run.err;

    ToolRun usage = runTool({"analyze", cut, "--tone-curve"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, "kestrel analyze: --scope, --targeted-peak and --tone-curve need --format "
                         "json\nRun with --help for more information.\n");
    usage = runTool({"analyze", cut, "--every", "0"});
    EXPECT_EQ(usage.status, 2);
    // A display needs a curve made for it, and a curve a display.
    usage = runTool({"analyze", cut, "--format", "json", "--targeted-peak", "600"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err,
              "kestrel analyze: --targeted-peak needs --tone-curve: without a curve "
              "the metadata names no display\nRun with --help for more information.\n");
    usage = runTool({"analyze", cut, "--format", "json", "--tone-curve", "--targeted-peak", "0"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(runTool({"analyze", cut, "--format", "json", "--tone-curve", "--targeted-peak", "1"})
                  .status,
              1);  // accepted; the file then fails to decode
    fs::remove(hlgPath);
    fs::remove(cut);
    fs::remove(text);
}

TEST(CheckCommand, MeasuredMetadataPassesWrongMetadataIsFlaggedWithItsPictures) {
    // Two shots of two grey columns each.
    std::vector<YuvPicture> pictures;
    for (unsigned i = 0; i < 3; ++i) pictures.push_back(columns(64, 48, {300, 500}));
    for (unsigned i = 0; i < 3; ++i) pictures.push_back(columns(64, 48, {700, 600}));
    std::string path = encode("check.hevc", pictures);
    TempDir dir;
    ASSERT_EQ(runTool({"analyze", path, "--format", "json", "-o", dir.path("m.json")}).status, 0);
    ASSERT_EQ(runTool({"inject", path, "--metadata", dir.path("m.json"), "-o", dir.path("good.hevc")})
                  .status,
              0);
    // Without metadata: one run of pictures, none of them the worst.
    ToolRun none = runTool({"check", path});
    EXPECT_EQ(none.status, 0);
    EXPECT_NE(none.out.find("\npictures 0 to 5: no HDR10+ metadata\n"), std::string::npos)
        << none.out;
    ToolRun good = runTool({"check", dir.path("good.hevc"), "--strict"});
    EXPECT_EQ(good.status, 0) << good.out << good.err;
    // A full standard output fails both commands, saying why.
    for (const char* command : {"check", "analyze"}) {
        ToolRun full = runTool({command, dir.path("good.hevc")}, "/dev/full");
        EXPECT_EQ(full.status, 1) << command;
        EXPECT_EQ(full.err, std::string("kestrel ") + command +
                                ": standard output: cannot write: No space left on device\n");
    }
    EXPECT_EQ(good.out, dir.path("good.hevc") +
                            ": 6 pictures, 2 shots found in the pictures; margin 16 PQ codes\n" +
                            dir.path("good.hevc") +
                            ": the metadata describes its pictures within 16 PQ codes\n");

    // One frame of 10 cd/m² everywhere: highlights clipped in every picture,
    // and the same metadata across the cut at picture 3.
    dir.write("low.json",
              "{\"SceneInfo\": [{\"TargetedSystemDisplayMaximumLuminance\": 1000, "
              "\"LuminanceParameters\": {\"MaxScl\": [100, 100, 100], \"AverageRGB\": 50, "
              "\"LuminanceDistributions\": {\"DistributionIndex\": [50, 99], "
              "\"DistributionValues\": [50, 100]}}}]}");
    ASSERT_EQ(runTool({"inject", path, "--metadata", dir.path("low.json"), "--repeat-last", "-o",
                       dir.path("low.hevc")})
                  .status,
              0);
    ToolRun low = runTool({"check", dir.path("low.hevc"), "--format", "json", "--strict"});
    EXPECT_EQ(low.status, 1);
    Json::Value report = parseJson(low.out);
    EXPECT_EQ(report["version"].asInt(), 1);
    EXPECT_EQ(report["shot_starts"], parseJson("[0, 3]"));
    bool clipped = false, cut = false;
    for (const Json::Value& f : report["findings"]) {
        if (f["kind"] == "understated") {
            clipped = true;
            EXPECT_EQ(f["first"].asUInt(), 0u);
            EXPECT_EQ(f["last"].asUInt(), 5u);
            EXPECT_EQ(f["stated_nits"].asDouble(), 10.0);
            EXPECT_GT(f["pq_codes"].asDouble(), 16.0);
        }
        if (f["kind"] == "unchanged_at_cut") {
            cut = true;
            EXPECT_EQ(f["picture"].asUInt(), 3u);
        }
    }
    EXPECT_TRUE(clipped) << low.out;
    EXPECT_TRUE(cut) << low.out;
    // Without --strict the findings are a report, not a failure.
    EXPECT_EQ(runTool({"check", dir.path("low.hevc")}).status, 0);
    EXPECT_EQ(runTool({"check", dir.path("low.hevc"), "--margin", "-1"}).status, 2);
    fs::remove(path);
}

}  // namespace
}  // namespace kestrel::tool::test
