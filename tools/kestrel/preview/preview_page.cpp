// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/preview/preview_page.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "picture/png_still.h"
#include "picture/pq.h"

namespace kestrel::tool {

namespace {

// Linear BT.2020 to linear BT.709 (ITU-R BT.2087).
constexpr double kToBt709[3][3] = {{1.6605, -0.5876, -0.0728},
                                   {-0.1246, 1.1329, -0.0083},
                                   {-0.0182, -0.1006, 1.1187}};

double srgbEncode(double v) {
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

// The 8-bit sRGB code of linear light v (0..1, clipped), rounded to nearest:
// the count of codes whose lower rounding threshold v reaches. The 255
// thresholds are the linear values where encode(v) * 255 crosses k - 0.5,
// found once by bisection; a coarse table of 4096 steps gives a code at or
// below the answer, and at most a few comparisons finish it. So the result
// is exactly that of encoding and rounding, without a pow per sample.
class SrgbCodes {
public:
    SrgbCodes() {
        for (int k = 1; k <= 255; k++) {
            double lo = 0, hi = 1;
            for (int i = 0; i < 60; i++) {
                const double mid = (lo + hi) / 2;
                (srgbEncode(mid) * 255 < k - 0.5 ? lo : hi) = mid;
            }
            mThresholds[k - 1] = hi;
        }
        mThresholds[255] = 2.0;  // above every clipped input: the search stops at 255
        for (int i = 0; i < kSteps; i++) {
            const double v = static_cast<double>(i) / kSteps;
            int code = 0;
            while (mThresholds[code] <= v) code++;
            mStart[i] = static_cast<uint8_t>(code);
        }
    }
    uint8_t operator()(double v) const {
        v = std::clamp(v, 0.0, 1.0);
        int code = mStart[std::min(kSteps - 1, static_cast<int>(v * kSteps))];
        while (mThresholds[code] <= v) code++;
        return static_cast<uint8_t>(code);
    }

private:
    static constexpr int kSteps = 4096;
    double mThresholds[256];
    uint8_t mStart[kSteps];
};

uint8_t srgbByte(double v) {
    static const SrgbCodes codes;
    return codes(v);
}

// Layout, in pixels of the image.
constexpr int kMargin = 16;
constexpr int kLabelWidth = 120;
constexpr int kGap = 8;
constexpr int kMinCell = 250;  // room for a column caption under a small picture
constexpr int kCaption = 22;
constexpr int kLineHeight = 18;
constexpr int kLegendHeight = 46;
constexpr int kMinRowHeight = 64;  // the row's label: target, and its largest difference

// The heat map's colours, from no difference to the scale's top: dark,
// through purple and orange, to pale yellow.
void heatColour(double t, uint8_t out[3]) {
    static const double stops[5][3] = {
        {0, 0, 4}, {87, 16, 110}, {188, 55, 84}, {249, 142, 9}, {252, 255, 164}};
    t = std::clamp(t, 0.0, 1.0) * 4;
    const int i = std::min(3, static_cast<int>(t));
    const double f = t - i;
    for (int k = 0; k < 3; k++)
        out[k] = static_cast<uint8_t>(std::lround(stops[i][k] + f * (stops[i + 1][k] - stops[i][k])));
}

struct SurfaceFree {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFree>;

// An image surface of w x h filled by `pixel(i, rgb)`.
template <class Fill>
Surface makeSurface(unsigned w, unsigned h, Fill pixel) {
    Surface s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(w),
                                         static_cast<int>(h)));
    cairo_surface_flush(s.get());
    unsigned char* data = cairo_image_surface_get_data(s.get());
    const int stride = cairo_image_surface_get_stride(s.get());
    for (unsigned y = 0; y < h; y++) {
        auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        for (unsigned x = 0; x < w; x++) {
            uint8_t rgb[3];
            pixel(static_cast<size_t>(y) * w + x, rgb);
            row[x] = (uint32_t{rgb[0]} << 16) | (uint32_t{rgb[1]} << 8) | rgb[2];
        }
    }
    cairo_surface_mark_dirty(s.get());
    return s;
}

Surface sdrSurface(const picture::RgbImage& light, double peak) {
    return makeSurface(light.width, light.height, [&](size_t i, uint8_t rgb[3]) {
        sdrPixel(light.r[i], light.g[i], light.b[i], peak, rgb);
    });
}

void text(cairo_t* cr, double x, double y, const std::string& s, double size, bool bold = false,
          double alignX = 0) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_move_to(cr, x - alignX * e.x_advance, y);
    cairo_show_text(cr, s.c_str());
}

std::string codes(double v) {
    char t[32];
    std::snprintf(t, sizeof t, v < 10 ? "%.2f" : "%.1f", v);
    return t;
}

}  // namespace

void sdrPixel(float r, float g, float b, double peakNits, uint8_t out[3]) {
    const double in[3] = {r / peakNits, g / peakNits, b / peakNits};
    for (int k = 0; k < 3; k++) {
        out[k] = srgbByte(kToBt709[k][0] * in[0] + kToBt709[k][1] * in[1] +
                          kToBt709[k][2] * in[2]);
    }
}

std::vector<double> pathDifferenceCodes(const picture::RgbImage& table,
                                        const picture::RgbImage& curve) {
    std::vector<double> d(table.r.size());
    for (size_t i = 0; i < d.size(); i++) {
        const double t = std::max({table.r[i], table.g[i], table.b[i]});
        const double c = std::max({curve.r[i], curve.g[i], curve.b[i]});
        d[i] = 1023 * std::fabs(picture::pqInverseEotf(t) - picture::pqInverseEotf(c));
    }
    return d;
}

double heatScale(const std::vector<PreviewRow>& rows, std::vector<double>* largest) {
    double top = 0;
    for (const PreviewRow& row : rows) {
        const std::vector<double> d = pathDifferenceCodes(row.table, row.curve);
        const double m = d.empty() ? 0 : *std::max_element(d.begin(), d.end());
        if (largest) largest->push_back(m);
        top = std::max(top, m);
    }
    return std::max(1.0, std::ceil(top));
}

Status writePreviewPng(const std::string& path, const PreviewPage& page) {
    if (page.rows.empty()) return Status::failure(ErrorKind::Invalid, "no target to show");
    const unsigned w = page.rows.front().source.width;
    const unsigned h = page.rows.front().source.height;
    const int cell = std::max(static_cast<int>(w), kMinCell);
    const int headerHeight = kMargin + kLineHeight * static_cast<int>(page.header.size()) + 4;
    const int rowHeight = std::max(static_cast<int>(h), kMinRowHeight) + kGap;
    const int width = kMargin * 2 + kLabelWidth + 4 * cell + 3 * kGap;
    const int height = headerHeight + kCaption + rowHeight * static_cast<int>(page.rows.size()) +
                       kLegendHeight + kMargin;

    std::vector<std::vector<double>> diffs;
    std::vector<double> largest;
    double top = 0;
    for (const PreviewRow& row : page.rows) {
        diffs.push_back(pathDifferenceCodes(row.table, row.curve));
        const std::vector<double>& d = diffs.back();
        largest.push_back(d.empty() ? 0 : *std::max_element(d.begin(), d.end()));
        top = std::max(top, largest.back());
    }
    const double scale = std::max(1.0, std::ceil(top));

    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    cairo_t* cr = cairo_create(surface.get());
    cairo_set_source_rgb(cr, 0.12, 0.12, 0.12);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.93, 0.93, 0.93);
    for (size_t i = 0; i < page.header.size(); i++)
        text(cr, kMargin, kMargin + kLineHeight * (static_cast<double>(i) + 0.75), page.header[i],
             i == 0 ? 15 : 12, i == 0);

    const char* captions[4] = {"no tone mapping (clipped at the target)", "through the table",
                               "through the exact curve", "|table - curve|, 10-bit PQ codes"};
    const int left = kMargin + kLabelWidth;
    for (int c = 0; c < 4; c++)
        text(cr, left + c * (cell + kGap) + cell / 2.0, headerHeight + 15, captions[c], 12, false,
             0.5);

    for (size_t r = 0; r < page.rows.size(); r++) {
        const PreviewRow& row = page.rows[r];
        const int top = headerHeight + kCaption + static_cast<int>(r) * rowHeight;
        cairo_set_source_rgb(cr, 0.93, 0.93, 0.93);
        text(cr, kMargin, top + 18, std::to_string(row.targetNits) + " cd/m²", 15, true);
        text(cr, kMargin, top + 38, "largest difference", 11);
        text(cr, kMargin, top + 54, codes(largest[r]) + " codes", 11);
        const std::vector<double>& diff = diffs[r];
        Surface panels[4] = {sdrSurface(row.source, row.targetNits),
                             sdrSurface(row.table, row.targetNits),
                             sdrSurface(row.curve, row.targetNits),
                             makeSurface(w, h, [&](size_t i, uint8_t rgb[3]) {
                                 heatColour(diff[i] / scale, rgb);
                             })};
        for (int c = 0; c < 4; c++) {
            const double x = left + c * (cell + kGap) + (cell - static_cast<int>(w)) / 2.0;
            cairo_set_source_surface(cr, panels[c].get(), x, top);
            cairo_paint(cr);
        }
    }

    // The heat map's scale, under its column.
    const int legendTop = headerHeight + kCaption + rowHeight * static_cast<int>(page.rows.size()) + 6;
    const int legendLeft = left + 3 * (cell + kGap);
    Surface bar = makeSurface(static_cast<unsigned>(cell), 12, [&](size_t i, uint8_t rgb[3]) {
        heatColour(static_cast<double>(i % static_cast<size_t>(cell)) / (cell - 1), rgb);
    });
    cairo_set_source_surface(cr, bar.get(), legendLeft, legendTop);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.93, 0.93, 0.93);
    text(cr, legendLeft, legendTop + 28, "0", 11);
    text(cr, legendLeft + cell / 2.0, legendTop + 28, codes(scale / 2), 11, false, 0.5);
    text(cr, legendLeft + cell, legendTop + 28, codes(scale) + " codes", 11, false, 1);

    const cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface.get());
    Status written =
        status != CAIRO_STATUS_SUCCESS
            ? Status::failure(ErrorKind::Invalid,
                              std::string("cannot draw: ") + cairo_status_to_string(status))
            : picture::writeSrgbPng(path, static_cast<unsigned>(width),
                                    static_cast<unsigned>(height),
                                    cairo_image_surface_get_data(surface.get()),
                                    static_cast<size_t>(cairo_image_surface_get_stride(surface.get())));
    surface.reset();
    // cairo's and fontconfig's font caches go, so that leak checkers see a
    // clean exit.
    cairo_debug_reset_static_data();
    FcFini();
    return written;
}

}  // namespace kestrel::tool