// SPDX-License-Identifier: Apache-2.0
// 16-bit PQ stills: what is written reads back, and every file that is not
// a PQ still is refused with what it is instead. Test files are made here
// with libpng (any chunk, depth and colour type), so nothing large is kept.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "picture/png_still.h"
#include "picture/pq.h"
#include "support/synthetic_video.h"

namespace kestrel::picture {
namespace {

struct PngSpec {
    unsigned width = 4, height = 3;
    int depth = 16;
    int colourType = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::optional<Cicp> cicp = kPqBt2020Cicp;
    bool srgb = false;
    uint16_t sample = 32768;  // every sample (scaled down for 8 bits)
};

void collect(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

std::vector<uint8_t> makePng(const PngSpec& s) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the test file";
        return {};
    }
    png_set_write_fn(png, &out, collect, nullptr);
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.colourType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (s.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    if (s.cicp) {
        const png_byte name[5] = {'c', 'I', 'C', 'P', '\0'};
        const png_byte data[4] = {s.cicp->primaries, s.cicp->transfer, s.cicp->matrix,
                                  s.cicp->fullRange};
        png_write_chunk(png, name, data, 4);
    }
    const int channels = png_get_channels(png, info);
    const size_t bytesPerSample = static_cast<size_t>(s.depth) / 8;
    std::vector<uint8_t> row(s.width * static_cast<size_t>(channels) * bytesPerSample);
    for (size_t i = 0; i < row.size(); i += bytesPerSample) {
        if (bytesPerSample == 2) {
            row[i] = static_cast<uint8_t>(s.sample >> 8);  // big-endian, as PNG stores it
            row[i + 1] = static_cast<uint8_t>(s.sample & 0xff);
        } else {
            row[i] = static_cast<uint8_t>(s.sample >> 8);
        }
    }
    std::vector<png_bytep> rows(s.height, row.data());
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST(PngStill, WrittenLightReadsBackWithinTheSixteenBitPqStep) {
    RgbImage light;
    light.width = 3;
    light.height = 2;
    light.r = {0.0f, 0.005f, 100.0f, 1000.0f, 4000.0f, 10000.0f};
    light.g = {1.0f, 48.0f, 203.0f, 600.0f, 2249.0f, 9999.0f};
    light.b = {0.1f, 0.0f, 5.0f, 10.0f, 50.0f, 500.0f};
    const std::string path = test::writeTemporary("roundtrip.png", {});
    ASSERT_TRUE(writePqPng(path, light).ok());
    Result<Still> back = readPngStillFile(path);
    ASSERT_TRUE(back.ok()) << back.status().message();
    ASSERT_TRUE(back->cicp);
    EXPECT_EQ(back->cicp->primaries, 9);
    EXPECT_EQ(back->cicp->transfer, 16);
    EXPECT_EQ(back->cicp->matrix, 0);
    EXPECT_EQ(back->cicp->fullRange, 1);
    EXPECT_FALSE(back->alphaDropped);
    ASSERT_EQ(back->light.width, 3u);
    ASSERT_EQ(back->light.height, 2u);
    const std::vector<float>* in[3] = {&light.r, &light.g, &light.b};
    const std::vector<float>* out[3] = {&back->light.r, &back->light.g, &back->light.b};
    for (int c = 0; c < 3; c++)
        for (size_t i = 0; i < 6; i++) {
            // Half a 16-bit step of signal, in 10-bit codes: 1023 / 65535 / 2.
            EXPECT_NEAR(1023 * pqInverseEotf((*out[c])[i]), 1023 * pqInverseEotf((*in[c])[i]),
                        1023.0 / 65535 / 2 + 1e-9)
                << c << " " << i;
        }
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
    std::filesystem::remove(path);
}

TEST(PngStill, ColourTypesAndInterlacingGiveTheSameLight) {
    const float expected = pqEotf(32768 / 65535.0f);
    for (int type : {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA, PNG_COLOR_TYPE_GRAY,
                     PNG_COLOR_TYPE_GRAY_ALPHA}) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::to_string(type) + (interlaced ? " interlaced" : ""));
            PngSpec spec;
            spec.colourType = type;
            spec.interlaced = interlaced;
            spec.width = 9;  // every Adam7 pass has pixels
            spec.height = 9;
            const std::vector<uint8_t> file = makePng(spec);
            Result<Still> still = readPngStill(file.data(), file.size());
            ASSERT_TRUE(still.ok()) << still.status().message();
            ASSERT_EQ(still->light.r.size(), 81u);
            EXPECT_EQ(still->light.b[80], expected);
            EXPECT_EQ(still->alphaDropped, (type & PNG_COLOR_MASK_ALPHA) != 0);
        }
    }
}

TEST(PngStill, WithoutCicpItIsTakenAsPqAndSaysSo) {
    PngSpec spec;
    spec.cicp.reset();
    const std::vector<uint8_t> file = makePng(spec);
    Result<Still> still = readPngStill(file.data(), file.size());
    ASSERT_TRUE(still.ok()) << still.status().message();
    EXPECT_FALSE(still->cicp);
    EXPECT_EQ(still->light.g[0], pqEotf(32768 / 65535.0f));
}

TEST(PngStill, WhatIsNotAPqStillIsRefusedWithWhatItIs) {
    struct Case {
        PngSpec spec;
        std::string message;
    };
    PngSpec hlg;
    hlg.cicp = Cicp{9, 18, 0, 1};
    PngSpec sdr;
    sdr.cicp = Cicp{1, 13, 0, 1};
    PngSpec narrow;
    narrow.cicp = Cicp{9, 16, 0, 0};
    PngSpec eight;
    eight.depth = 8;
    PngSpec tagged;
    tagged.cicp.reset();
    tagged.srgb = true;
    const std::vector<Case> cases = {
        {hlg, "its cICP chunk says the picture is HLG (transfer 18), not PQ: only PQ stills are "
              "shown"},
        {sdr, "its cICP chunk says the picture is SDR (transfer 13), not PQ: only PQ stills are "
              "shown"},
        {narrow, "its cICP chunk gives primaries 9, matrix 0, full range 0; only BT.2020 RGB in "
                 "full range (9, 0, 1) is read"},
        {eight, "cannot be read as a PQ still: it has 8 bits a sample; an HDR still needs 16"},
        {tagged, "it has an sRGB or gAMA chunk and no cICP chunk: an SDR picture, not PQ"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> file = makePng(c.spec);
        Result<Still> still = readPngStill(file.data(), file.size());
        ASSERT_FALSE(still.ok());
        EXPECT_EQ(still.status().message(), c.message);
    }
}

TEST(PngStill, DamagedCutAndOversizedFilesAreRefusedWithoutReadingPastThem) {
    PngSpec spec;
    spec.width = 40;
    spec.height = 30;
    const std::vector<uint8_t> whole = makePng(spec);
    const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(readPngStill(text.data(), text.size()).status().message(), "not a PNG file");
    // Cut at every length: never read outside the bytes, always an error.
    for (size_t cut = 0; cut < whole.size(); cut++) {
        std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<long>(cut));
        Result<Still> still = readPngStill(part.data(), part.size());
        ASSERT_FALSE(still.ok()) << "cut at " << cut;
    }
    // The IHDR declares 16000 x 16000 (within libpng's side limit, above the
    // pixel limit): refused before any row is read. Its CRC is fixed up.
    std::vector<uint8_t> huge = whole;
    const uint8_t size[8] = {0, 0, 0x3e, 0x80, 0, 0, 0x3e, 0x80};
    std::copy(size, size + 8, huge.begin() + 16);
    const uLong crc = crc32(crc32(0L, nullptr, 0), huge.data() + 12, 17);
    for (int i = 0; i < 4; i++) huge[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    Result<Still> big = readPngStill(huge.data(), huge.size());
    ASSERT_FALSE(big.ok());
    EXPECT_EQ(big.status().message(),
              "cannot be read as a PQ still: 16000x16000 is larger than the 8192x4320 pixels "
              "that are read");
}

}  // namespace
}  // namespace kestrel::picture
