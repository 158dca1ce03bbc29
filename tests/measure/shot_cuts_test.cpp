// SPDX-License-Identifier: Apache-2.0
// Shot cuts on picture sequences made in the test, where every cut is known:
// hard cuts between textured scenes, a fade through black, flashes of one and
// two pictures, and a pan that is no cut.
#include "measure/shot_cuts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "picture/pq.h"

namespace kestrel::measure {
namespace {

constexpr unsigned kW = 256, kH = 144;
constexpr float kBlack = 64, kWhite = 940;  // 10-bit limited range

// A scene: light in cd/m² at each position, so that a fade can scale it.
using Scene = std::function<double(unsigned x, unsigned y)>;

std::vector<uint16_t> lumaOf(const Scene& scene, double gain = 1.0, int shiftX = 0) {
    std::vector<uint16_t> y(size_t{kW} * kH);
    for (unsigned r = 0; r < kH; ++r)
        for (unsigned c = 0; c < kW; ++c) {
            double nits = gain * scene(static_cast<unsigned>(int(c) + shiftX + 1000) % 1000, r);
            double signal = picture::pqInverseEotf(nits);
            y[size_t{r} * kW + c] = static_cast<uint16_t>(std::lround(kBlack + signal * (kWhite - kBlack)));
        }
    return y;
}

// Blobs of light on a dark ground; `seed` moves them and sets their level.
Scene blobs(unsigned seed) {
    return [seed](unsigned x, unsigned y) {
        double v = 2.0 + 200.0 * (0.5 + 0.5 * std::sin(x * (0.03 + seed * 0.011) + seed)) *
                             (0.5 + 0.5 * std::cos(y * (0.05 + seed * 0.007) + 2.0 * seed));
        return v;
    };
}

// Cuts found in a sequence of luma planes: the pictures that start a shot.
std::vector<uint64_t> cuts(const std::vector<std::vector<uint16_t>>& pictures) {
    ShotCutDetector detector;
    std::vector<uint64_t> starts;
    auto take = [&](const std::vector<ShotCutDetector::Decision>& ds) {
        for (const auto& d : ds)
            if (d.cut) starts.push_back(d.picture);
    };
    uint64_t expected = 0;
    for (const auto& y : pictures) {
        auto ds = detector.push(lumaSignature(y.data(), kW, kH, kW, kBlack, kWhite));
        for (const auto& d : ds) EXPECT_EQ(d.picture, expected++);
        take(ds);
    }
    auto rest = detector.finish();
    for (const auto& d : rest) EXPECT_EQ(d.picture, expected++);
    take(rest);
    EXPECT_EQ(expected, pictures.size());
    return starts;
}

TEST(ShotCuts, HardCutsBetweenScenesAndNothingElse) {
    std::vector<std::vector<uint16_t>> pictures;
    for (unsigned scene : {1u, 2u, 3u})
        for (int i = 0; i < 5; ++i) pictures.push_back(lumaOf(blobs(scene), 1.0, i));
    EXPECT_EQ(cuts(pictures), (std::vector<uint64_t>{0, 5, 10}));
    // A cut in the last pictures of the stream is decided at its end.
    pictures.push_back(lumaOf(blobs(4)));
    EXPECT_EQ(cuts(pictures), (std::vector<uint64_t>{0, 5, 10, 15}));
}

TEST(ShotCuts, AFadeThroughBlackIsOneShot) {
    // Light scaled down by four decades over 24 pictures (one second), then
    // up again.
    std::vector<std::vector<uint16_t>> pictures;
    for (int i = 0; i <= 48; ++i) {
        double gain = std::pow(10.0, -4.0 * (24 - std::abs(24 - i)) / 24.0);
        pictures.push_back(lumaOf(blobs(1), gain));
    }
    EXPECT_EQ(cuts(pictures), (std::vector<uint64_t>{0}));
}

TEST(ShotCuts, FlashesOfOneAndTwoPicturesAreNoCuts) {
    Scene white = [](unsigned, unsigned) { return 4000.0; };
    std::vector<std::vector<uint16_t>> pictures;
    for (int i = 0; i < 4; ++i) pictures.push_back(lumaOf(blobs(1)));
    pictures.push_back(lumaOf(white));  // 4
    for (int i = 0; i < 4; ++i) pictures.push_back(lumaOf(blobs(1)));
    pictures.push_back(lumaOf(white));  // 9, 10
    pictures.push_back(lumaOf(white));
    for (int i = 0; i < 4; ++i) pictures.push_back(lumaOf(blobs(1)));
    EXPECT_EQ(cuts(pictures), (std::vector<uint64_t>{0}));
    // Three bright pictures are a shot of their own: a cut in, a cut out.
    pictures.insert(pictures.begin() + 11, lumaOf(white));
    EXPECT_EQ(cuts(pictures), (std::vector<uint64_t>{0, 9, 12}));
}

TEST(ShotCuts, APanIsNoCut) {
    // 8 pixels a picture: half a cell of the 16-pixel grid.
    std::vector<std::vector<uint16_t>> pictures;
    for (int i = 0; i < 20; ++i) pictures.push_back(lumaOf(blobs(2), 1.0, 8 * i));
    EXPECT_EQ(cuts(pictures), (std::vector<uint64_t>{0}));
}

TEST(ShotCuts, DistanceIsZeroForEqualAndOneForUnlikeGrids) {
    std::vector<uint16_t> a = lumaOf(blobs(1));
    ShotSignature s = lumaSignature(a.data(), kW, kH, kW, kBlack, kWhite);
    EXPECT_EQ(s.cols, kSignatureSide);
    EXPECT_EQ(signatureDistance(s, s), 0.0f);
    // A picture narrower than the grid gets a cell per column.
    ShotSignature narrow = lumaSignature(a.data(), 5, 3, kW, kBlack, kWhite);
    EXPECT_EQ(narrow.cols, 5u);
    EXPECT_EQ(narrow.rows, 3u);
    EXPECT_EQ(signatureDistance(s, narrow), 1.0f);
    // Flat pictures differ by their means alone: black to white is all of
    // the signal, a step of 0.1 a tenth of it.
    std::vector<uint16_t> black(size_t{kW} * kH, 64), white(size_t{kW} * kH, 940);
    std::vector<uint16_t> grey(size_t{kW} * kH, 500), lighter(size_t{kW} * kH, 500 + 88);
    auto sig = [](const std::vector<uint16_t>& y) {
        return lumaSignature(y.data(), kW, kH, kW, kBlack, kWhite);
    };
    EXPECT_EQ(signatureDistance(sig(black), sig(white)), 1.0f);
    EXPECT_NEAR(signatureDistance(sig(grey), sig(lighter)), 88.0 / 876, 1e-6);
}

TEST(ShotCuts, CellSumsStayExactOnBothSidesOfTheNarrowCellLimit) {
    // A row's part of a cell is summed in 32 bits up to 65537 samples: at
    // the largest code that is 2^32 - 1, one more sample would wrap. Cells
    // of 65537 and 65538 columns, two rows, one cell of each row at 65535
    // and one at 65534: every cell's mean exactly as given.
    for (unsigned cell : {65537u, 65538u}) {
        const unsigned width = cell * kSignatureSide, height = 2 * kSignatureSide;
        std::vector<uint16_t> luma(size_t{width} * height, 65535);
        for (unsigned y = 0; y < height; y += 2)
            std::fill_n(luma.begin() + size_t{y} * width, cell, uint16_t{65534});
        const ShotSignature s = lumaSignature(luma.data(), width, height, width, 0.0f, 65535.0f);
        ASSERT_EQ(s.cols, kSignatureSide);
        for (unsigned cy = 0; cy < s.rows; ++cy) {
            // The first cell of each row of cells: 65534 and 65535 in turn.
            EXPECT_EQ(s.cells[size_t{cy} * s.cols], static_cast<float>(65534.5 / 65535.0)) << cell;
            for (unsigned cx = 1; cx < s.cols; ++cx)
                ASSERT_EQ(s.cells[size_t{cy} * s.cols + cx], 1.0f) << cell << " " << cx;
        }
    }
}

}  // namespace
}  // namespace kestrel::measure
