// SPDX-License-Identifier: Apache-2.0
// The tone stage on pictures. Synthetic frames of known codes, encoded
// losslessly, go through decoding, conversion and the model; the expected
// light is worked out here from the standard's formulas, the raw table words
// and the curve by de Casteljau's construction (not the tool's binomial sum),
// and must match to the last 10-bit code. On real frames the table path
// stays within the table's own interpolation error of the curve path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/video_decoder.h"
#include "picture/yuv_to_rgb.h"
#include "support/synthetic_video.h"
#include "tools/kestrel/preview/tone_stage.h"

namespace kestrel::tool {
namespace {

double pqNits(double e) {
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 32;
    const double c1 = 3424.0 / 4096, c2 = 2413.0 / 128, c3 = 2392.0 / 128;
    const double p = std::pow(std::clamp(e, 0.0, 1.0), 1 / m2);
    return 10000 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
}

double pqCode(double nits) {
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 32;
    const double c1 = 3424.0 / 4096, c2 = 2413.0 / 128, c3 = 2392.0 / 128;
    const double p = std::pow(std::clamp(nits / 10000, 0.0, 1.0), m1);
    return 1023 * std::pow((c1 + c2 * p) / (1 + c3 * p), m2);
}

// A record with a tone curve, statistics that give a source peak of 2000
// cd/m² (MaxScl) and a 99 % entry above it so that MaxScl decides.
_VelmorHdrDynamicInfo record() {
    _VelmorHdrDynamicInfo r{};
    r.tone_mapping_flag = 1;
    r.targeted_system_display_maximum_luminance = 500;
    r.maxscl[0] = 20000;
    r.maxscl[1] = 15000;
    r.maxscl[2] = 12000;
    const uint8_t percentages[9] = {1, 5, 10, 25, 50, 75, 90, 95, 99};
    const uint32_t values[9] = {1, 10, 30, 120, 500, 1500, 4000, 9000, 21000};
    r.num_distribution_maxrgb_percentiles = 9;
    for (int i = 0; i < 9; i++) {
        r.distribution_maxrgb_percentages[i] = percentages[i];
        r.distribution_maxrgb_percentiles[i] = values[i];
    }
    r.knee_point_x = 300;
    r.knee_point_y = 500;
    const uint16_t anchors[9] = {150, 300, 450, 590, 720, 840, 900, 950, 990};
    r.num_bezier_curve_anchors = 9;
    for (int i = 0; i < 9; i++) r.bezier_curve_anchors[i] = anchors[i];
    return r;
}

// The table's output in cd/m² for light m, from the 33 raw words: points
// 0..31, then the last segment's width and rise added in 32 bits.
double expectedTable(const LutAnalysis& a, double m) {
    std::vector<double> xs, gs;
    for (int i = 0; i < 32; i++) {
        xs.push_back(a.lutX[i]);
        gs.push_back(static_cast<int32_t>(a.lutY[i]));
    }
    xs.push_back(static_cast<uint32_t>(a.lutX[31] + a.lutX[32]));
    gs.push_back(static_cast<int32_t>(static_cast<uint32_t>(a.lutY[31] + a.lutY[32])));
    const double x = std::min(m / a.sourcePeak, 1.0) * 134217728.0;
    double gain = gs.back();
    if (x <= xs.front()) {
        gain = gs.front();
    } else {
        for (size_t i = 1; i < xs.size(); i++) {
            if (x <= xs[i]) {
                gain = xs[i] == xs[i - 1] ? gs[i]
                                          : gs[i - 1] + (gs[i] - gs[i - 1]) * (x - xs[i - 1]) /
                                                            (xs[i] - xs[i - 1]);
                break;
            }
        }
    }
    return gain / 1048575.0 * (x / 134217728.0) * a.targetNits;
}

// The adapted curve by de Casteljau: straight to the knee, then the Bezier
// through 0, the anchors and 1.
double expectedCurve(const LutAnalysis& a, double m) {
    const _VelmorHdrDynamicInfo& r = a.adapted;
    const double kx = r.knee_point_x / 4095.0, ky = r.knee_point_y / 4095.0;
    const double t = std::min(m / a.sourcePeak, 1.0);
    double y;
    if (t < kx) {
        y = ky / kx * t;
    } else {
        std::vector<double> p{0.0};
        for (unsigned i = 0; i < r.num_bezier_curve_anchors; i++)
            p.push_back(r.bezier_curve_anchors[i] / 1023.0);
        p.push_back(1.0);
        const double u = (t - kx) / (1 - kx);
        for (size_t level = p.size() - 1; level > 0; level--)
            for (size_t i = 0; i < level; i++) p[i] = p[i] + u * (p[i + 1] - p[i]);
        y = ky + (1 - ky) * p[0];
    }
    return y * a.targetNits;
}

TEST(ToneStage, SyntheticPatchesThroughDecoderAndModelGiveTheExpectedLightToTheLastCode) {
    // Grey patches from black to above the 2000 cd/m² source peak (code 769
    // is about 2000 cd/m², 900 about 6000), and two colours, on 4:4:4 so that
    // every pixel is a patch's own; one picture per patch.
    struct Patch {
        uint16_t y, cb, cr;
    };
    const std::vector<Patch> patches = {{64, 512, 512},  {100, 512, 512}, {300, 512, 512},
                                        {500, 512, 512}, {650, 512, 512}, {750, 512, 512},
                                        {800, 512, 512}, {900, 512, 512}, {600, 450, 640},
                                        {700, 600, 420}};
    std::vector<test::YuvPicture> pictures;
    for (const Patch& p : patches) pictures.push_back(test::flatPicture(16, 16, p.y, p.cb, p.cr, true));
    std::string error;
    const std::vector<uint8_t> stream = test::encodeHevc(pictures, {}, error);
    ASSERT_FALSE(stream.empty()) << error;
    const std::string path = test::writeTemporary("patches.hevc", stream);
    auto decoder = picture::VideoDecoder::open(path);
    ASSERT_TRUE(decoder.ok()) << decoder.status().message();

    std::vector<Result<ToneStage>> stages;
    for (unsigned target : {300u, 600u, 1000u}) stages.push_back(makeToneStage(record(), target, 1000));
    for (auto& s : stages) {
        ASSERT_TRUE(s.ok()) << s.status().message();
        ASSERT_DOUBLE_EQ(s->lut.sourcePeak, 2000.0);
    }

    for (size_t k = 0; k < patches.size(); k++) {
        picture::YuvFrame frame;
        Result<bool> got = (*decoder)->next(frame);
        ASSERT_TRUE(got.ok() && *got);
        Result<picture::RgbImage> light = picture::toLinear(frame);
        ASSERT_TRUE(light.ok());
        // The patch's light by hand: limited range, BT.2020 matrix, EOTF.
        const double y = (patches[k].y - 64) / 876.0;
        const double cb = (patches[k].cb - 512) / 896.0, cr = (patches[k].cr - 512) / 896.0;
        const double rp = y + 1.4746 * cr, bp = y + 1.8814 * cb;
        const double gp = (y - 0.2627 * rp - 0.0593 * bp) / 0.678;
        const double rgb[3] = {pqNits(rp), pqNits(gp), pqNits(bp)};
        const double m = std::max({rgb[0], rgb[1], rgb[2]});
        for (auto& s : stages) {
            const unsigned target = s->lut.targetNits;
            SCOPED_TRACE("patch " + std::to_string(k) + ", " + std::to_string(target) + " cd/m²");
            const double outTable = expectedTable(s->lut, m);
            const double outCurve = expectedCurve(s->lut, m);
            for (TonePath path : {TonePath::Source, TonePath::Table, TonePath::Curve}) {
                const picture::RgbImage shown = applyToneStage(*s, path, *light, 1);
                const float* got3[3] = {&shown.r[37], &shown.g[37], &shown.b[37]};
                for (int c = 0; c < 3; c++) {
                    double expected = rgb[c];
                    if (path == TonePath::Table) expected = m > 0 ? rgb[c] * outTable / m : 0;
                    if (path == TonePath::Curve) expected = m > 0 ? rgb[c] * outCurve / m : 0;
                    expected = std::min(expected, static_cast<double>(target));
                    // The same 10-bit code, and far closer than that.
                    EXPECT_EQ(std::lround(pqCode(*got3[c])), std::lround(pqCode(expected)))
                        << tonePathName(path) << " component " << c;
                    EXPECT_NEAR(pqCode(*got3[c]), pqCode(expected), 0.01)
                        << tonePathName(path) << " component " << c;
                }
            }
        }
    }
    std::filesystem::remove(path);
}

TEST(ToneStage, InputsAboveTheSourcePeakAreTakenAtThePeakAndThePanelClips) {
    Result<ToneStage> s = makeToneStage(record(), 600, 1000);
    ASSERT_TRUE(s.ok());
    const double atPeak = tableOutput(*s, 2000);
    EXPECT_EQ(tableOutput(*s, 2000.5), atPeak);
    EXPECT_EQ(tableOutput(*s, 9000), atPeak);
    EXPECT_EQ(curveOutput(*s, 9000), curveOutput(*s, 2000));
    EXPECT_LT(tableOutput(*s, 1500), atPeak);
    // A pure red pixel of 5000 cd/m²: maxRGB at the peak's output, then
    // red scaled by out(5000) / 5000 and clipped at 600.
    picture::RgbImage one{1, 1, {5000.0f}, {0.0f}, {1000.0f}};
    const picture::RgbImage shown = applyToneStage(*s, TonePath::Table, one, 1);
    EXPECT_FLOAT_EQ(shown.r[0], std::min(600.0f, static_cast<float>(atPeak)));
    EXPECT_FLOAT_EQ(shown.b[0], static_cast<float>(1000.0 * atPeak / 5000.0));
    EXPECT_EQ(shown.g[0], 0.0f);
    // Black stays black on every path (the table's gain at 0 has nothing to scale).
    picture::RgbImage black{1, 1, {0.0f}, {0.0f}, {0.0f}};
    EXPECT_EQ(applyToneStage(*s, TonePath::Curve, black, 1).r[0], 0.0f);
}

TEST(ToneStage, UnknownSourcePeakIsRefusedUnlessOneIsGiven) {
    _VelmorHdrDynamicInfo r = record();
    r.maxscl[0] = r.maxscl[1] = r.maxscl[2] = 0;
    Result<ToneStage> refused = makeToneStage(r, 600, 1000);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.status().message(),
              "its metadata gives a source peak of 0 cd/m² (the brightest MaxScl component, "
              "capped by a last distribution entry at 99 %), so the table's input scale is "
              "unknown; give one with --source-peak");
    Result<ToneStage> given = makeToneStage(r, 600, 1000, 1500);
    ASSERT_TRUE(given.ok());
    EXPECT_TRUE(given->peakGiven);
    EXPECT_EQ(given->lut.sourcePeak, 1500.0);
    // 750 cd/m² is half the given peak: x = 2^26 on the table, not 2^26 * 2000 / 1500.
    EXPECT_NEAR(tableOutput(*given, 750), expectedTable(given->lut, 750), 1e-9);
}

TEST(ToneStage, ThreadsGiveTheSameLightAsOneThread) {
    Result<ToneStage> s = makeToneStage(record(), 600, 1000);
    ASSERT_TRUE(s.ok());
    picture::RgbImage ramp;
    ramp.width = 31;
    ramp.height = 29;
    for (unsigned i = 0; i < 31 * 29; i++) {
        ramp.r.push_back(static_cast<float>(i) * 3.1f);
        ramp.g.push_back(static_cast<float>(i % 97) * 20.0f);
        ramp.b.push_back(static_cast<float>(i % 13) * 300.0f);
    }
    for (TonePath path : {TonePath::Table, TonePath::Curve}) {
        const picture::RgbImage one = applyToneStage(*s, path, ramp, 1);
        const picture::RgbImage many = applyToneStage(*s, path, ramp, 5);
        EXPECT_EQ(many.r, one.r);
        EXPECT_EQ(many.g, one.g);
        EXPECT_EQ(many.b, one.b);
    }
}

// The largest |code(table output) - code(curve output)| over every input up
// to the source peak, sampled densely on each segment of the table: the
// table's own interpolation error, in PQ codes.
double interpolationErrorCodes(const ToneStage& s) {
    double worst = 0;
    const std::vector<TablePoint>& p = s.lut.points;
    for (size_t i = 1; i < p.size(); i++) {
        for (int k = 0; k <= 256; k++) {
            const double x = p[i - 1].x + (p[i].x - p[i - 1].x) * k / 256;
            const double m = x / 134217728.0 * s.lut.sourcePeak;
            const double t = std::min(tableOutput(s, m), static_cast<double>(s.lut.targetNits));
            const double c = std::min(curveOutput(s, m), static_cast<double>(s.lut.targetNits));
            worst = std::max(worst, std::fabs(pqCode(t) - pqCode(c)));
        }
    }
    return worst;
}

TEST(ToneStage, RealFramesStayWithinTheTablesOwnInterpolationErrorOfTheCurve) {
    if (std::string(KESTREL_HDR10PLUS_DIR).empty()) GTEST_SKIP() << "no sample streams";
    // ToS-s01 frame 0: a real picture; its metadata gives a 1444.5 cd/m² peak.
    const std::string path = std::string(KESTREL_HDR10PLUS_DIR) + "/streams/ToS-s01.h265";
    auto decoder = picture::VideoDecoder::open(path);
    ASSERT_TRUE(decoder.ok());
    Result<picture::YuvFrame> frame = (*decoder)->seekForward(0);
    ASSERT_TRUE(frame.ok());
    ASSERT_TRUE(frame->hdr10plus);
    Result<picture::RgbImage> light = picture::toLinear(*frame);
    ASSERT_TRUE(light.ok());
    _VelmorHdrDynamicInfo r{};
    const picture::DecodedHdr10Plus& d = *frame->hdr10plus;
    for (int c = 0; c < 3; c++) r.maxscl[c] = d.maxscl[c];
    r.num_distribution_maxrgb_percentiles = static_cast<uint8_t>(d.distribution.size());
    for (size_t i = 0; i < d.distribution.size(); i++) {
        r.distribution_maxrgb_percentages[i] = static_cast<uint8_t>(d.distribution[i].first);
        r.distribution_maxrgb_percentiles[i] = d.distribution[i].second;
    }
    r.targeted_system_display_maximum_luminance = d.targetedPeak;
    for (unsigned target : {300u, 600u, 1000u}) {
        SCOPED_TRACE(std::to_string(target) + " cd/m²");
        Result<ToneStage> s = makeToneStage(r, target, 1000);
        ASSERT_TRUE(s.ok()) << s.status().message();
        const double bound = interpolationErrorCodes(*s);
        const picture::RgbImage table = applyToneStage(*s, TonePath::Table, *light);
        const picture::RgbImage curve = applyToneStage(*s, TonePath::Curve, *light);
        double worst = 0;
        for (size_t i = 0; i < table.r.size(); i++) {
            const double t = std::max({table.r[i], table.g[i], table.b[i]});
            const double c = std::max({curve.r[i], curve.g[i], curve.b[i]});
            worst = std::max(worst, std::fabs(pqCode(t) - pqCode(c)));
        }
        // Sampling 257 places a segment finds the table's error to within
        // a hundredth of a code.
        EXPECT_LE(worst, bound + 0.01);
        EXPECT_GT(worst, 0.0);  // the picture does reach between the points
        RecordProperty("worst_codes_" + std::to_string(target), std::to_string(worst));
    }
}

}  // namespace
}  // namespace kestrel::tool
