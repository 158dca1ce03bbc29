// SPDX-License-Identifier: Apache-2.0
// Y'CbCr to light, checked three ways: against zimg (an independent exact
// conversion: same matrix, range and chroma siting, bilinear chroma) within
// one 10-bit code everywhere; against values worked out by hand from the
// standard's formulas; and at the refusals of what is not PQ.
#include <gtest/gtest.h>
#include <zimg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "picture/pq.h"
#include "picture/yuv_to_rgb.h"

namespace kestrel::picture {
namespace {

// ST 2084 in double precision, written out here so that the expected
// values do not come from the code under test.
double pqNits(double e) {
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 32;
    const double c1 = 3424.0 / 4096, c2 = 2413.0 / 128, c3 = 2392.0 / 128;
    const double p = std::pow(e, 1 / m2);
    return 10000 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
}

YuvFrame frame420(unsigned w, unsigned h, unsigned seed, bool fullRange, ChromaSiting siting) {
    YuvFrame f;
    f.width = w;
    f.height = h;
    f.bitDepth = 10;
    f.chromaShiftX = f.chromaShiftY = 1;
    f.colour.transfer = Transfer::Pq;
    f.colour.matrix = Matrix::Bt2020Ncl;
    f.colour.fullRange = fullRange;
    f.colour.siting = siting;
    std::srand(seed);
    // Luma over its whole range; chroma kept moderate so that R'G'B' stays
    // mostly inside 0..1, where both conversions are unclamped.
    f.y.resize(static_cast<size_t>(w) * h);
    for (auto& v : f.y) v = static_cast<uint16_t>(64 + std::rand() % 877);
    f.cb.resize(static_cast<size_t>(f.chromaWidth()) * f.chromaHeight());
    f.cr.resize(f.cb.size());
    for (auto& v : f.cb) v = static_cast<uint16_t>(412 + std::rand() % 201);
    for (auto& v : f.cr) v = static_cast<uint16_t>(412 + std::rand() % 201);
    return f;
}

// zimg's R'G'B' (PQ signal, 0..1, not clamped) of the frame.
RgbImage zimgSignal(const YuvFrame& f) {
    zimg_image_format src, dst;
    zimg_image_format_default(&src, ZIMG_API_VERSION);
    zimg_image_format_default(&dst, ZIMG_API_VERSION);
    src.width = dst.width = f.width;
    src.height = dst.height = f.height;
    src.pixel_type = ZIMG_PIXEL_WORD;
    src.subsample_w = static_cast<unsigned>(f.chromaShiftX);
    src.subsample_h = static_cast<unsigned>(f.chromaShiftY);
    src.color_family = ZIMG_COLOR_YUV;
    src.matrix_coefficients = ZIMG_MATRIX_BT2020_NCL;
    src.transfer_characteristics = dst.transfer_characteristics = ZIMG_TRANSFER_ST2084;
    src.color_primaries = dst.color_primaries = ZIMG_PRIMARIES_BT2020;
    src.depth = 10;
    src.pixel_range = f.colour.fullRange ? ZIMG_RANGE_FULL : ZIMG_RANGE_LIMITED;
    switch (f.colour.siting) {
        case ChromaSiting::Left: src.chroma_location = ZIMG_CHROMA_LEFT; break;
        case ChromaSiting::Center: src.chroma_location = ZIMG_CHROMA_CENTER; break;
        case ChromaSiting::TopLeft: src.chroma_location = ZIMG_CHROMA_TOP_LEFT; break;
        case ChromaSiting::Top: src.chroma_location = ZIMG_CHROMA_TOP; break;
        case ChromaSiting::BottomLeft: src.chroma_location = ZIMG_CHROMA_BOTTOM_LEFT; break;
        case ChromaSiting::Bottom: src.chroma_location = ZIMG_CHROMA_BOTTOM; break;
    }
    dst.pixel_type = ZIMG_PIXEL_FLOAT;
    dst.color_family = ZIMG_COLOR_RGB;
    dst.matrix_coefficients = ZIMG_MATRIX_RGB;
    dst.pixel_range = ZIMG_RANGE_FULL;
    zimg_graph_builder_params params;
    zimg_graph_builder_params_default(&params, ZIMG_API_VERSION);
    params.resample_filter_uv = ZIMG_RESIZE_BILINEAR;
    params.cpu_type = ZIMG_CPU_NONE;  // the plain C path: no approximations
    zimg_filter_graph* graph = zimg_filter_graph_build(&src, &dst, &params);
    EXPECT_NE(graph, nullptr) << [] {
        char text[256] = {};
        zimg_get_last_error(text, sizeof text);
        return std::string(text);
    }();
    RgbImage out;
    if (graph == nullptr) return out;
    size_t tmpSize = 0;
    zimg_filter_graph_get_tmp_size(graph, &tmpSize);

    // zimg wants 64-byte aligned rows.
    const auto stride = [](size_t bytes) { return (bytes + 63) / 64 * 64; };
    struct Free {
        void operator()(void* p) const { std::free(p); }
    };
    auto alloc = [](size_t bytes) {
        return std::unique_ptr<uint8_t, Free>(static_cast<uint8_t*>(std::aligned_alloc(64, bytes)));
    };
    const unsigned cw = f.chromaWidth(), ch = f.chromaHeight();
    const size_t ys = stride(f.width * 2), cs = stride(cw * 2), fs = stride(f.width * 4);
    auto yBuf = alloc(ys * f.height), cbBuf = alloc(cs * ch), crBuf = alloc(cs * ch);
    auto planeIn = [](uint8_t* to, size_t s, const std::vector<uint16_t>& from, unsigned w,
                      unsigned h) {
        for (unsigned r = 0; r < h; r++)
            std::copy_n(from.data() + static_cast<size_t>(r) * w, w,
                        reinterpret_cast<uint16_t*>(to + r * s));
    };
    planeIn(yBuf.get(), ys, f.y, f.width, f.height);
    planeIn(cbBuf.get(), cs, f.cb, cw, ch);
    planeIn(crBuf.get(), cs, f.cr, cw, ch);
    std::unique_ptr<uint8_t, Free> planes[3] = {alloc(fs * f.height), alloc(fs * f.height),
                                                alloc(fs * f.height)};
    auto tmp = alloc(stride(tmpSize));

    zimg_image_buffer_const in{};
    in.version = ZIMG_API_VERSION;
    in.plane[0] = {yBuf.get(), static_cast<ptrdiff_t>(ys), ZIMG_BUFFER_MAX};
    in.plane[1] = {cbBuf.get(), static_cast<ptrdiff_t>(cs), ZIMG_BUFFER_MAX};
    in.plane[2] = {crBuf.get(), static_cast<ptrdiff_t>(cs), ZIMG_BUFFER_MAX};
    zimg_image_buffer outBuf{};
    outBuf.version = ZIMG_API_VERSION;
    for (int p = 0; p < 3; p++)
        outBuf.plane[p] = {planes[p].get(), static_cast<ptrdiff_t>(fs), ZIMG_BUFFER_MAX};
    EXPECT_EQ(zimg_filter_graph_process(graph, &in, &outBuf, tmp.get(), nullptr, nullptr, nullptr,
                                        nullptr),
              ZIMG_ERROR_SUCCESS);
    zimg_filter_graph_free(graph);

    out.width = f.width;
    out.height = f.height;
    std::vector<float>* dstPlanes[3] = {&out.r, &out.g, &out.b};
    for (int p = 0; p < 3; p++) {
        dstPlanes[p]->resize(static_cast<size_t>(f.width) * f.height);
        for (unsigned r = 0; r < f.height; r++) {
            const float* row = reinterpret_cast<const float*>(planes[p].get() + r * fs);
            std::copy_n(row, f.width, dstPlanes[p]->data() + static_cast<size_t>(r) * f.width);
        }
    }
    return out;
}

struct Case {
    bool fullRange;
    ChromaSiting siting;
};

class AgainstZimg : public ::testing::TestWithParam<Case> {};

TEST_P(AgainstZimg, LightWithinOneTenBitCodeOfTheIndependentConversion) {
    const YuvFrame f = frame420(68, 42, 7, GetParam().fullRange, GetParam().siting);
    const RgbImage reference = zimgSignal(f);
    ASSERT_EQ(reference.r.size(), f.y.size());
    Result<RgbImage> light = toLinear(f, 2);
    ASSERT_TRUE(light.ok()) << light.status().message();
    const RgbImage signal = toSignal(f);
    double worstLight = 0, worstSignal = 0;
    const std::vector<float>* ours[3] = {&light->r, &light->g, &light->b};
    const std::vector<float>* raw[3] = {&signal.r, &signal.g, &signal.b};
    const std::vector<float>* theirs[3] = {&reference.r, &reference.g, &reference.b};
    for (int c = 0; c < 3; c++) {
        for (size_t i = 0; i < f.y.size(); i++) {
            const double z = (*theirs[c])[i];
            const double lightCode = 1023.0 * pqInverseEotf((*ours[c])[i]);
            worstLight = std::max(worstLight, std::fabs(lightCode - 1023.0 * std::clamp(z, 0.0, 1.0)));
            worstSignal = std::max(worstSignal, std::fabs(1023.0 * ((*raw[c])[i] - z)));
        }
    }
    EXPECT_LE(worstLight, 1.0);
    // The same filter and matrix: in fact far closer than a code.
    EXPECT_LE(worstSignal, 0.01);
    RecordProperty("worst_light_codes", std::to_string(worstLight));
}

INSTANTIATE_TEST_SUITE_P(
    RangesAndSitings, AgainstZimg,
    ::testing::Values(Case{false, ChromaSiting::Left}, Case{true, ChromaSiting::Left},
                      Case{false, ChromaSiting::Center}, Case{false, ChromaSiting::TopLeft},
                      Case{false, ChromaSiting::Top}, Case{false, ChromaSiting::BottomLeft},
                      Case{true, ChromaSiting::Bottom}));

TEST(YuvToLinear, ThreadsGiveTheSameLightAsOneThread) {
    // Row blocks of uneven size: 37 rows over 1, 2, 3 and 8 threads.
    const YuvFrame f = frame420(20, 37, 11, false, ChromaSiting::Left);
    Result<RgbImage> one = toLinear(f, 1);
    ASSERT_TRUE(one.ok());
    for (unsigned threads : {2u, 3u, 8u}) {
        Result<RgbImage> many = toLinear(f, threads);
        ASSERT_TRUE(many.ok());
        EXPECT_EQ(many->r, one->r) << threads;
        EXPECT_EQ(many->g, one->g) << threads;
        EXPECT_EQ(many->b, one->b) << threads;
    }
}

// The signal of left-sited 4:2:0 (chroma on the even columns, halfway
// between rows) restated from the definition: each chroma value the
// general two-tap interpolation, vertically then horizontally, then the
// matrix, in the same float operations.
TEST(SignalRows, LeftSitedRowsEqualTheGeneralTapsBitForBit) {
    // Odd widths end on a column of its own chroma sample; even ones on a
    // column halfway past the last (the sample repeated); 1 and 2 have one
    // chroma sample per row.
    for (unsigned w : {1u, 2u, 3u, 4u, 67u, 68u}) {
        const YuvFrame f = frame420(w, 5, w, w % 2 == 0, ChromaSiting::Left);
        const RgbImage got = toSignal(f);
        const unsigned cw = f.chromaWidth(), ch = f.chromaHeight();
        const double step = 4.0;  // 2^(10 - 8)
        const float yOff = f.colour.fullRange ? 0.0f : static_cast<float>(16 * step);
        const float yScale = f.colour.fullRange ? static_cast<float>(1 / 1023.0)
                                                : static_cast<float>(1 / (219 * step));
        const float cOff = static_cast<float>(128 * step);
        const float cScale = f.colour.fullRange ? static_cast<float>(1 / 1023.0)
                                                : static_cast<float>(1 / (224 * step));
        auto tap = [](float a, float b, float w) { return a + w * (b - a); };
        for (unsigned y = 0; y < f.height; ++y) {
            // Chroma rows sit halfway between luma rows 2k and 2k + 1.
            const float v = (static_cast<float>(y) - 0.5f) / 2;
            const long k = static_cast<long>(std::floor(v));
            const float wv = v - std::floor(v);
            const unsigned r0 = static_cast<unsigned>(std::clamp(k, 0L, long(ch) - 1));
            const unsigned r1 = static_cast<unsigned>(std::clamp(k + 1, 0L, long(ch) - 1));
            for (unsigned x = 0; x < w; ++x) {
                const unsigned c0 = x / 2, c1 = std::min(x / 2 + 1, cw - 1);
                const float wh = x % 2 == 0 ? 0.0f : 0.5f;
                auto chroma = [&](const std::vector<uint16_t>& p) {
                    const float a = tap(p[r0 * cw + c0], p[r1 * cw + c0], wv);
                    const float b = tap(p[r0 * cw + c1], p[r1 * cw + c1], wv);
                    return (tap(a, b, wh) - cOff) * cScale;
                };
                const float yy = (static_cast<float>(f.y[y * w + x]) - yOff) * yScale;
                const float red = yy + static_cast<float>(2 * (1 - 0.2627)) * chroma(f.cr);
                const float blue = yy + static_cast<float>(2 * (1 - 0.0593)) * chroma(f.cb);
                const float green = static_cast<float>(1 / (1 - 0.2627 - 0.0593)) * yy -
                                    static_cast<float>(0.2627 / (1 - 0.2627 - 0.0593)) * red -
                                    static_cast<float>(0.0593 / (1 - 0.2627 - 0.0593)) * blue;
                const size_t i = size_t{y} * w + x;
                ASSERT_EQ(got.r[i], red) << w << " wide, (" << x << ", " << y << ")";
                ASSERT_EQ(got.g[i], green) << w << " wide, (" << x << ", " << y << ")";
                ASSERT_EQ(got.b[i], blue) << w << " wide, (" << x << ", " << y << ")";
            }
        }
    }
}

YuvFrame grey444(uint16_t y, uint16_t cb, uint16_t cr, bool fullRange) {
    YuvFrame f;
    f.width = f.height = 2;
    f.bitDepth = 10;
    f.colour.transfer = Transfer::Pq;
    f.colour.matrix = Matrix::Bt2020Ncl;
    f.colour.fullRange = fullRange;
    f.y.assign(4, y);
    f.cb.assign(4, cb);
    f.cr.assign(4, cr);
    return f;
}

TEST(YuvToLinear, LimitedRangeGreyOfCode800IsTheStandardsLightNotTheScalersDefault) {
    // (800 - 64) / 876 through ST 2084: 2249 cd/m². A scaler that stretches
    // limited range to full in integers first lands near 2183 instead.
    Result<RgbImage> light = toLinear(grey444(800, 512, 512, false));
    ASSERT_TRUE(light.ok());
    const double expected = pqNits((800.0 - 64) / 876);
    EXPECT_NEAR(expected, 2249.0, 1.0);
    for (float v : {light->r[0], light->g[0], light->b[0]}) EXPECT_NEAR(v, expected, expected * 2e-6);
}

TEST(YuvToLinear, FullRangeAndTheMatrixGiveTheHandWorkedLight) {
    // Full range: Y = 600 / 1023; Cr = (700 - 512) / 1023 moves red by
    // 2 (1 - 0.2627) Cr and green by -2 (1 - 0.2627) 0.2627 / 0.678 Cr.
    Result<RgbImage> light = toLinear(grey444(600, 512, 700, true));
    ASSERT_TRUE(light.ok());
    const double y = 600.0 / 1023, cr = 188.0 / 1023;
    const double r = y + 1.4746 * cr;
    const double g = y - 1.4746 * 0.2627 / 0.678 * cr;
    EXPECT_NEAR(light->r[3], pqNits(r), pqNits(r) * 1e-5);
    EXPECT_NEAR(light->g[3], pqNits(g), pqNits(g) * 1e-5);
    EXPECT_NEAR(light->b[3], pqNits(y), pqNits(y) * 1e-5);
}

TEST(YuvToLinear, SignalsOutsideZeroToOneAreClampedBeforeTheEotf) {
    // Limited-range code 1019 is above peak white (940) and code 4 below black.
    Result<RgbImage> bright = toLinear(grey444(1019, 512, 512, false));
    Result<RgbImage> dark = toLinear(grey444(4, 512, 512, false));
    ASSERT_TRUE(bright.ok() && dark.ok());
    EXPECT_EQ(bright->r[0], 10000.0f);
    EXPECT_EQ(dark->g[0], 0.0f);
}

TEST(YuvToLinear, PicturesThatAreNotPqAreRefusedNamingWhatTheyAre) {
    YuvFrame f = grey444(500, 512, 512, false);
    f.colour.transfer = Transfer::Hlg;
    Result<RgbImage> hlg = toLinear(f);
    ASSERT_FALSE(hlg.ok());
    EXPECT_EQ(hlg.status().message(),
              "its pictures are HLG (ARIB STD-B67), not PQ: only PQ (HDR10, HDR10+) video is shown");
    f.colour.transfer = Transfer::Sdr;
    EXPECT_EQ(checkPq(f.colour).message(),
              "its pictures are SDR (a BT.709/BT.1886-style gamma), not PQ: only PQ (HDR10, "
              "HDR10+) video is shown");
    f.colour.transfer = Transfer::Pq;
    f.colour.matrix = Matrix::Bt709;
    EXPECT_EQ(checkPq(f.colour).message(),
              "its pictures use the BT.709 matrix; only BT.2020 non-constant luminance is read");
    f.colour.matrix = Matrix::Unspecified;  // what PQ video means when it says nothing
    EXPECT_TRUE(checkPq(f.colour).ok());
}

}  // namespace
}  // namespace kestrel::picture
