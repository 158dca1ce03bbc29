// SPDX-License-Identifier: Apache-2.0
#include "measure/shot_cuts.h"

#include <algorithm>
#include <cmath>

namespace kestrel::measure {

namespace {
// A cell at most this wide sums a row's samples in 32 bits: 65537 x 65535
// is 2^32 - 1.
constexpr unsigned kNarrowCell = 65537;
}  // namespace

ShotSignature lumaSignature(const uint16_t* luma, unsigned width, unsigned height, size_t stride,
                            float black, float white) {
    ShotSignature s;
    s.cols = std::min(kSignatureSide, width);
    s.rows = std::min(kSignatureSide, height);
    s.cells.assign(size_t{s.cols} * s.rows, 0.0f);
    if (s.cols == 0 || s.rows == 0) return s;
    const double scale = 1.0 / (static_cast<double>(white) - black);
    double total = 0.0;
    for (unsigned cy = 0; cy < s.rows; ++cy) {
        const unsigned y0 = static_cast<unsigned>(uint64_t{cy} * height / s.rows);
        const unsigned y1 = static_cast<unsigned>(uint64_t{cy + 1} * height / s.rows);
        for (unsigned cx = 0; cx < s.cols; ++cx) {
            const unsigned x0 = static_cast<unsigned>(uint64_t{cx} * width / s.cols);
            const unsigned x1 = static_cast<unsigned>(uint64_t{cx + 1} * width / s.cols);
            uint64_t sum = 0;
            for (unsigned y = y0; y < y1; ++y) {
                const uint16_t* row = luma + y * stride;
                if (x1 - x0 <= kNarrowCell) {
                    // 32-bit lanes hold the row's part of the cell: the
                    // loop runs eight or sixteen samples at a time.
                    uint32_t part = 0;
                    for (unsigned x = x0; x < x1; ++x) part += row[x];
                    sum += part;
                } else {
                    for (unsigned x = x0; x < x1; ++x) sum += row[x];
                }
            }
            const double mean = static_cast<double>(sum) / (double{1} * (y1 - y0) * (x1 - x0));
            const double signal = std::clamp((mean - black) * scale, 0.0, 1.0);
            s.cells[size_t{cy} * s.cols + cx] = static_cast<float>(signal);
            total += signal;
        }
    }
    s.mean = static_cast<float>(total / static_cast<double>(s.cells.size()));
    return s;
}

float signatureDistance(const ShotSignature& a, const ShotSignature& b) {
    if (a.cols != b.cols || a.rows != b.rows || a.cells.empty()) return 1.0f;
    const double offset = static_cast<double>(a.mean) - b.mean;
    double best = 1.0;
    const int cols = static_cast<int>(a.cols), rows = static_cast<int>(a.rows);
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            // Only cells that overlap after the move count; a move needs
            // room, so a grid of one cell in a direction does not move in it.
            if ((dx != 0 && cols < 2) || (dy != 0 && rows < 2)) continue;
            double sum = 0.0;
            unsigned n = 0;
            for (int y = std::max(0, -dy); y < std::min(rows, rows - dy); ++y) {
                for (int x = std::max(0, -dx); x < std::min(cols, cols - dx); ++x) {
                    const double d = static_cast<double>(a.cells[size_t(y) * cols + x]) -
                                     b.cells[size_t(y + dy) * cols + (x + dx)] - offset;
                    sum += std::fabs(d);
                    ++n;
                }
            }
            if (n > 0) best = std::min(best, sum / n);
        }
    }
    return static_cast<float>(std::min(1.0, best + std::fabs(offset)));
}

std::vector<ShotCutDetector::Decision> ShotCutDetector::push(ShotSignature signature) {
    mWindow.push_back(std::move(signature));
    ++mPushed;
    return decide(false);
}

std::vector<ShotCutDetector::Decision> ShotCutDetector::finish() { return decide(true); }

std::vector<ShotCutDetector::Decision> ShotCutDetector::decide(bool ending) {
    std::vector<Decision> decided;
    while (mNext < mPushed) {
        const uint64_t first = mPushed - mWindow.size();  // picture of mWindow[0]
        auto at = [&](uint64_t picture) -> const ShotSignature& { return mWindow[picture - first]; };
        const uint64_t i = mNext;
        if (i + kFlashPictures >= mPushed && !ending) break;
        Decision d{i, i == 0, 0.0f};
        if (i > 0) {
            d.distance = signatureDistance(at(i - 1), at(i));
            d.cut = d.distance > kCutThreshold;
            // The change must last: a picture soon after that is back near
            // the one before makes it a flash.
            for (uint64_t j = i + 1; d.cut && j <= i + kFlashPictures && j < mPushed; ++j)
                if (signatureDistance(at(i - 1), at(j)) <= kCutThreshold) d.cut = false;
            // Nor is the end of a flash a cut: the picture is back near one
            // shortly before the change.
            for (uint64_t j = i >= 2 + kFlashPictures ? i - 1 - kFlashPictures : 0;
                 d.cut && j + 2 <= i; ++j)
                if (signatureDistance(at(j), at(i)) <= kCutThreshold) d.cut = false;
        }
        decided.push_back(d);
        ++mNext;
        // Keep the pictures the next decisions look back to.
        while (mWindow.size() > 0 && mPushed - mWindow.size() + 2 + kFlashPictures <= mNext)
            mWindow.pop_front();
    }
    return decided;
}

}  // namespace kestrel::measure
