// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/preview/picture_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace kestrel::tool {

Result<Crop> parseCrop(const std::string& text) {
    Location where;
    where.key = "--crop";
    unsigned w = 0, h = 0, x = 0, y = 0;
    int used = 0;
    Crop c;
    if (std::sscanf(text.c_str(), "%ux%u+%u+%u%n", &w, &h, &x, &y, &used) == 4 &&
        static_cast<size_t>(used) == text.size()) {
        c = {w, h, x, y};
    } else if (std::sscanf(text.c_str(), "%ux%u%n", &w, &h, &used) == 2 &&
               static_cast<size_t>(used) == text.size()) {
        c = {w, h, 0, 0};
    } else {
        return Status::failure(
            ErrorKind::Invalid,
            "--crop takes WIDTHxHEIGHT+X+Y, e.g. 960x540+1440+810 (got \"" + text + "\")", where);
    }
    if (c.width == 0 || c.height == 0 || text.find('-') != std::string::npos) {
        return Status::failure(ErrorKind::Invalid,
                               "--crop needs a width and height above 0 and offsets of 0 or more "
                               "(got \"" + text + "\")",
                               where);
    }
    return c;
}

Result<picture::RgbImage> cropImage(const picture::RgbImage& in, const Crop& c) {
    if (static_cast<uint64_t>(c.x) + c.width > in.width ||
        static_cast<uint64_t>(c.y) + c.height > in.height) {
        return Status::failure(ErrorKind::OutOfRange,
                               "the crop " + std::to_string(c.width) + "x" +
                                   std::to_string(c.height) + "+" + std::to_string(c.x) + "+" +
                                   std::to_string(c.y) + " reaches outside the " +
                                   std::to_string(in.width) + "x" + std::to_string(in.height) +
                                   " picture");
    }
    picture::RgbImage out;
    out.width = c.width;
    out.height = c.height;
    const size_t n = static_cast<size_t>(c.width) * c.height;
    out.r.resize(n);
    out.g.resize(n);
    out.b.resize(n);
    for (unsigned row = 0; row < c.height; row++) {
        const size_t from = static_cast<size_t>(c.y + row) * in.width + c.x;
        const size_t to = static_cast<size_t>(row) * c.width;
        std::copy_n(in.r.begin() + from, c.width, out.r.begin() + to);
        std::copy_n(in.g.begin() + from, c.width, out.g.begin() + to);
        std::copy_n(in.b.begin() + from, c.width, out.b.begin() + to);
    }
    return out;
}

double fitFactor(unsigned width, unsigned maxWidth) {
    return width > maxWidth ? static_cast<double>(maxWidth) / width : 1.0;
}

picture::RgbImage scaleImage(const picture::RgbImage& in, double factor) {
    if (factor >= 1.0 || in.width == 0 || in.height == 0) return in;
    picture::RgbImage out;
    out.width = std::max(1u, static_cast<unsigned>(std::lround(in.width * factor)));
    out.height = std::max(1u, static_cast<unsigned>(std::lround(in.height * factor)));
    const size_t n = static_cast<size_t>(out.width) * out.height;
    out.r.assign(n, 0.0f);
    out.g.assign(n, 0.0f);
    out.b.assign(n, 0.0f);
    // Which output column and row each input pixel's centre falls in.
    auto bins = [](unsigned inSize, unsigned outSize) {
        std::vector<unsigned> bin(inSize);
        for (unsigned i = 0; i < inSize; i++)
            bin[i] = std::min(outSize - 1,
                              static_cast<unsigned>((i + 0.5) * outSize / inSize));
        return bin;
    };
    const std::vector<unsigned> col = bins(in.width, out.width);
    const std::vector<unsigned> row = bins(in.height, out.height);
    std::vector<double> r(n, 0.0), g(n, 0.0), b(n, 0.0);
    std::vector<unsigned> count(n, 0);
    for (unsigned y = 0; y < in.height; y++) {
        const size_t base = static_cast<size_t>(row[y]) * out.width;
        const size_t src = static_cast<size_t>(y) * in.width;
        for (unsigned x = 0; x < in.width; x++) {
            const size_t o = base + col[x];
            r[o] += in.r[src + x];
            g[o] += in.g[src + x];
            b[o] += in.b[src + x];
            count[o]++;
        }
    }
    for (size_t i = 0; i < n; i++) {
        const double k = count[i] > 0 ? 1.0 / count[i] : 0.0;
        out.r[i] = static_cast<float>(r[i] * k);
        out.g[i] = static_cast<float>(g[i] * k);
        out.b[i] = static_cast<float>(b[i] * k);
    }
    return out;
}

}  // namespace kestrel::tool
