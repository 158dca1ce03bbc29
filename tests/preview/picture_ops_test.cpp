// SPDX-License-Identifier: Apache-2.0
// What the preview does to a picture besides the tone stage: crop, scale
// (mean of light), the SDR mapping of its panels, and its file names.
#include <gtest/gtest.h>

#include <cmath>

#include "tools/kestrel/preview/cmd_preview.h"
#include "tools/kestrel/preview/picture_ops.h"
#include "tools/kestrel/preview/preview_page.h"

namespace kestrel::tool {
namespace {

picture::RgbImage ramp(unsigned w, unsigned h) {
    picture::RgbImage im;
    im.width = w;
    im.height = h;
    for (unsigned y = 0; y < h; y++)
        for (unsigned x = 0; x < w; x++) {
            im.r.push_back(static_cast<float>(x));
            im.g.push_back(static_cast<float>(y));
            im.b.push_back(static_cast<float>(x * 100 + y));
        }
    return im;
}

TEST(PreviewCrop, GeometryIsReadWithItsOffsetsAndBadTextNamesTheForm) {
    Result<Crop> c = parseCrop("960x540+1440+810");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c->width, 960u);
    EXPECT_EQ(c->height, 540u);
    EXPECT_EQ(c->x, 1440u);
    EXPECT_EQ(c->y, 810u);
    c = parseCrop("64x32");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c->x, 0u);
    EXPECT_EQ(c->y, 0u);
    const std::string form = "--crop takes WIDTHxHEIGHT+X+Y, e.g. 960x540+1440+810 (got \"";
    const std::string sizes =
        "--crop needs a width and height above 0 and offsets of 0 or more (got \"";
    const struct {
        const char* text;
        std::string message;
    } refused[] = {
        {"64x32+1", form + "64x32+1\")"},
        {"64x32+0+0junk", form + "64x32+0+0junk\")"},
        {"0x32+0+0", sizes + "0x32+0+0\")"},
        {"64x0", sizes + "64x0\")"},
        {"64x-32", sizes + "64x-32\")"},
    };
    for (const auto& r : refused) {
        c = parseCrop(r.text);
        EXPECT_FALSE(c.ok()) << r.text;
        EXPECT_EQ(c.status().message(), r.message);
        EXPECT_EQ(c.status().kind(), ErrorKind::Invalid) << r.text;
        EXPECT_EQ(c.status().where().key, "--crop") << r.text;
    }
}

TEST(PreviewCrop, TakesThePixelsAtItsOffsetAndRefusesOneReachingOutside) {
    const picture::RgbImage im = ramp(10, 6);
    Result<picture::RgbImage> c = cropImage(im, {3, 2, 7, 4});  // the bottom right corner exactly
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c->r[0], 7.0f);  // column 7
    EXPECT_EQ(c->g[0], 4.0f);  // row 4
    EXPECT_EQ(c->b[5], 905.0f);
    Result<picture::RgbImage> out = cropImage(im, {3, 2, 8, 4});
    ASSERT_FALSE(out.ok());
    EXPECT_EQ(out.status().message(), "the crop 3x2+8+4 reaches outside the 10x6 picture");
}

TEST(PreviewScale, EachPixelIsTheMeanLightOfThoseItCovers) {
    const picture::RgbImage im = ramp(4, 4);
    const picture::RgbImage half = scaleImage(im, 0.5);
    ASSERT_EQ(half.width, 2u);
    ASSERT_EQ(half.height, 2u);
    EXPECT_FLOAT_EQ(half.r[1], 2.5f);   // columns 2 and 3
    EXPECT_FLOAT_EQ(half.g[2], 2.5f);   // rows 2 and 3
    EXPECT_FLOAT_EQ(half.b[3], 252.5f);  // (202 + 203 + 302 + 303) / 4
    // Never enlarged; a factor that rounds to nothing still leaves a pixel.
    EXPECT_EQ(scaleImage(im, 1.0).width, 4u);
    EXPECT_EQ(scaleImage(im, 0.01).width, 1u);
    EXPECT_DOUBLE_EQ(fitFactor(1920, 640), 1.0 / 3);
    EXPECT_DOUBLE_EQ(fitFactor(640, 640), 1.0);
}

TEST(PreviewSdr, TargetPeakIsWhiteAndLightIsSrgbEncodedAfterTheGamutMatrix) {
    uint8_t out[3];
    sdrPixel(600, 600, 600, 600, out);  // white at the peak
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 255);
    EXPECT_EQ(out[2], 255);
    // A fifth of the peak: sRGB(0.2) = 0.4845 -> 124 (rounded, not 123 truncated).
    sdrPixel(120, 120, 120, 600, out);
    EXPECT_EQ(out[0], 124);
    // 0.001 of the peak is on the straight part: 12.92 * 0.001 * 255 = 3.29 -> 3.
    sdrPixel(0.6f, 0.6f, 0.6f, 600, out);
    EXPECT_EQ(out[1], 3);
    // Pure BT.2020 green at half the peak is outside BT.709: red and blue
    // go negative and clip at 0; green becomes 1.1329 * 0.5, sRGB 0.7775 -> 198.
    sdrPixel(0, 300, 0, 600, out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[1], 198);
}

TEST(PreviewFiles, HdrImagesAreNamedAfterTheOutputTargetAndPath) {
    EXPECT_EQ(hdrFileName("out/preview.png", 600, "table"), "out/preview-600-table.png");
    EXPECT_EQ(hdrFileName("dir.v2/preview", 300, "curve"), "dir.v2/preview-300-curve.png");
}

}  // namespace
}  // namespace kestrel::tool
