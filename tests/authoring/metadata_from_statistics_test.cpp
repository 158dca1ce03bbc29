// SPDX-License-Identifier: Apache-2.0
// Metadata written from measured statistics: the values go in unchanged,
// shots share one frame, and an asked-for curve is the plug-in's own.
#include "authoring/metadata_from_statistics.h"

#include <gtest/gtest.h>

#include "hdr10plus/payload.h"
#include "hdr10plus/record.h"
#include "metadata/tone_curve_adaptation.h"

namespace kestrel::authoring {
namespace {

measure::LuminanceStatistics statistics(uint32_t scale) {
    measure::LuminanceStatistics s;
    s.maxscl = {40000 * scale, 35000 * scale, 30000 * scale};
    s.averageMaxRgb = 800 * scale;
    s.percentiles = {5, 20, 50, 200, 1000 * scale, 3000 * scale, 8000 * scale, 12000 * scale,
                     25000 * scale};
    s.percentile98 = 21000 * scale;
    s.brightPercentile = 39000 * scale;
    s.pixels = 100;
    return s;
}

TEST(MetadataFromStatistics, ValuesGoInUnchangedWithoutACurve) {
    MetadataOptions options;
    options.targetedPeak = 600;
    hdr10plus::Frame f = frameFromStatistics(statistics(1), options);
    ASSERT_EQ(f.windows.size(), 1u);
    const hdr10plus::Window& w = f.windows[0];
    EXPECT_EQ(w.maxscl, (std::array<uint32_t, 3>{40000, 35000, 30000}));
    EXPECT_EQ(w.average_maxrgb, 800u);
    std::vector<hdr10plus::DistributionPoint> expected = {
        {1, 5},     {5, 20},    {10, 50},    {25, 200},  {50, 1000},
        {75, 3000}, {90, 8000}, {95, 12000}, {99, 25000}};
    EXPECT_EQ(w.distribution, expected);
    EXPECT_FALSE(w.tone_curve.has_value());
    // No curve, no display it is made for.
    EXPECT_EQ(f.targeted_system_display_maximum_luminance, 0u);
    EXPECT_EQ(f.application_version, 1);
    EXPECT_TRUE(hdr10plus::checkFrame(f).ok());
    // And through the payload and back, unchanged.
    Result<std::vector<uint8_t>> payload = hdr10plus::writePayload(f);
    ASSERT_TRUE(payload.ok());
    EXPECT_EQ(*hdr10plus::parsePayload(payload->data(), payload->size()), f);
}

TEST(MetadataFromStatistics, TheTenEntryFormAdds98PercentAndIsReadAsTheNineAre) {
    MetadataOptions nine, ten;
    nine.toneCurve = ten.toneCurve = true;
    ten.distributionEntries = 10;
    const hdr10plus::Frame f9 = frameFromStatistics(statistics(1), nine);
    const hdr10plus::Frame f10 = frameFromStatistics(statistics(1), ten);
    std::vector<hdr10plus::DistributionPoint> expected = {
        {1, 5},     {5, 20},    {10, 50},    {25, 200},   {50, 1000},
        {75, 3000}, {90, 8000}, {95, 12000}, {98, 21000}, {99, 25000}};
    EXPECT_EQ(f10.windows[0].distribution, expected);
    EXPECT_TRUE(hdr10plus::checkFrame(f10).ok());
    Result<std::vector<uint8_t>> payload = hdr10plus::writePayload(f10);
    ASSERT_TRUE(payload.ok());
    EXPECT_EQ(*hdr10plus::parsePayload(payload->data(), payload->size()), f10);
    // The plug-in reads both alike: the same source peak (capped by the
    // last, 99 % entry: 2500 cd/m², not the 4000 of maxscl) and the same
    // curve for the targeted display.
    for (const hdr10plus::Frame* f : {&f9, &f10}) {
        _VelmorHdrDynamicInfo record = hdr10plus::toRecord(*f);
        LuminanceParameters lp;
        fillLuminanceParameters(record, lp);
        EXPECT_FLOAT_EQ(getSourceMaxLuminance(lp), 2500.0f);
    }
    ASSERT_TRUE(f9.windows[0].tone_curve.has_value());
    EXPECT_EQ(f10.windows[0].tone_curve, f9.windows[0].tone_curve);
    EXPECT_EQ(f9.windows[0].fraction_bright_pixels, 0u);
    EXPECT_EQ(f10.windows[0].fraction_bright_pixels, 0u);
}

TEST(MetadataFromStatistics, TheCurveAskedForIsThePluginsOwnForTheTargetedDisplay) {
    MetadataOptions options;
    options.targetedPeak = 1000;
    options.toneCurve = true;
    hdr10plus::Frame f = frameFromStatistics(statistics(1), options);
    ASSERT_TRUE(f.windows[0].tone_curve.has_value());
    // The plug-in, given the same statistics without a curve, makes one for
    // a 1000 cd/m² display: the written curve must be that one.
    hdr10plus::Frame bare = f;
    bare.windows[0].tone_curve.reset();
    _VelmorHdrDynamicInfo record = hdr10plus::toRecord(bare);
    testing::internal::CaptureStdout();  // meta2meta reports the curve it makes
    meta2meta(1000, 1000, record);
    testing::internal::GetCapturedStdout();
    const hdr10plus::ToneCurve& c = *f.windows[0].tone_curve;
    EXPECT_EQ(c.knee_point_x, record.knee_point_x);
    EXPECT_EQ(c.knee_point_y, record.knee_point_y);
    ASSERT_EQ(c.bezier_curve_anchors.size(), record.num_bezier_curve_anchors);
    for (size_t i = 0; i < c.bezier_curve_anchors.size(); ++i)
        EXPECT_EQ(c.bezier_curve_anchors[i], record.bezier_curve_anchors[i]) << i;
    EXPECT_GT(c.bezier_curve_anchors.size(), 0u);
    EXPECT_TRUE(hdr10plus::checkFrame(f).ok());
}

TEST(MetadataFromStatistics, ShotsShareOneFrameAndNumberTheirPictures) {
    // Pictures 0-1 shot 0, 2-4 shot 1; each picture's own statistics differ.
    std::vector<MeasuredPicture> pictures;
    const unsigned shotOf[] = {0, 0, 1, 1, 1};
    for (unsigned i = 0; i < 5; ++i) pictures.push_back({statistics(i + 1), shotOf[i]});
    std::vector<measure::LuminanceStatistics> shots = {statistics(2), statistics(3)};
    shots[1].maxscl = {99999, 1, 2};

    MetadataOptions perShot;
    std::vector<hdr10plus::Frame> frames = metadataFrames(pictures, shots, perShot);
    ASSERT_EQ(frames.size(), 5u);
    const uint32_t sceneFrame[] = {0, 1, 0, 1, 2};
    for (unsigned i = 0; i < 5; ++i) {
        EXPECT_EQ(frames[i].scene_id, shotOf[i]);
        EXPECT_EQ(frames[i].scene_frame_index, sceneFrame[i]);
        EXPECT_EQ(frames[i].sequence_frame_index, i);
        EXPECT_EQ(frames[i].windows[0].maxscl, shots[shotOf[i]].maxscl);
    }

    MetadataOptions perFrame;
    perFrame.scope = MetadataScope::Frame;
    frames = metadataFrames(pictures, shots, perFrame);
    for (unsigned i = 0; i < 5; ++i) {
        EXPECT_EQ(frames[i].windows[0].average_maxrgb, 800u * (i + 1));
        EXPECT_EQ(frames[i].scene_frame_index, sceneFrame[i]);
    }
}

}  // namespace
}  // namespace kestrel::authoring
